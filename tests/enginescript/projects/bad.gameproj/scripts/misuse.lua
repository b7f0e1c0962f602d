-- A behaviour that calls the API wrongly on its first frame.
local done = false

function onUpdate(dt)
  if done then return end
  done = true
  self:moveTo("left")
end
