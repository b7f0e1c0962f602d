-- A behaviour that calls the API wrongly on its first frames, and spells a callback wrongly.
local frame = 0

function onUpdate(dt)
  frame = frame + 1
  if frame == 1 then self:moveTo("left") end
  if frame == 2 then changeScene("elsewhere") end
end

function onclick() end
