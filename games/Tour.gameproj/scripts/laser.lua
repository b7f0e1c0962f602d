-- Casts a ray to the left every frame and draws the beam up to the first body it meets.
function onUpdate()
  local fromX, y = self.x - 6, self.y
  local hit = rayCast(fromX, y, 0, y)
  local toX = hit and hit.x or 0
  actor("beam"):moveTo((fromX + toX) / 2, y)
  actor("beam"):setSize(fromX - toX, 2)
  actor("spot"):moveTo(toX, y)
end
