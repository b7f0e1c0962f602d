-- Runs one unit right and half a unit up every update.
function onUpdate()
  self:move(1, 0.5)
end
