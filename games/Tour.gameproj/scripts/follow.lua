-- Keeps its sprite on a point of another actor, turning with it: it draws the second shape of
-- a body made of two.
function onUpdate()
  local base = actor(self:property("on"))
  if not base then return self:hide() end
  local dx, dy = self:property("dx"), self:property("dy")
  local turn = math.rad(base:angle())
  local c, s = math.cos(turn), math.sin(turn)
  self:moveTo(base.x + dx * c - dy * s, base.y + dx * s + dy * c)
  self:setAngle(base:angle())
end
