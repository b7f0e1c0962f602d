-- Says it is still called, at frames 20 and 100.
local frame = 0

function onUpdate()
  frame = frame + 1
  if frame == 20 or frame == 100 then log("ticker at frame", frame) end
end
