-- Draws its sprite as a line between the two anchors of the joint named by its "joint" property.
function onUpdate()
  local rope = joint(self:property("joint"))
  if not rope then return self:hide() end
  local x1, y1, x2, y2 = rope:anchors()
  if not x1 then return end
  local dx, dy = x2 - x1, y2 - y1
  self:moveTo((x1 + x2) / 2, (y1 + y2) / 2)
  self:setAngle(math.deg(math.atan2(dy, dx)))
  self:setSize(math.sqrt(dx * dx + dy * dy), 2)
end
