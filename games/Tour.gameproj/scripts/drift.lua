-- Moves its actor at a steady speed given by the properties "dx" and "dy" (units a second).
local dx, dy = self:property("dx") or 0, self:property("dy") or 0

function onUpdate(dt)
  self:move(dx * dt, dy * dt)
end
