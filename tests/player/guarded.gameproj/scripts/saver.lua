-- Saves a large value each frame and says whether it was kept; once values are there (the
-- next run), says which of them can be read.
local reading = loadValue("value1") ~= nil
local frame = 0

function onUpdate()
  frame = frame + 1
  if frame > 40 then return end
  if reading then
    log("read", frame, loadValue("value" .. frame) ~= nil)
  else
    log("saved", frame, saveValue("value" .. frame, string.rep("x", 20000)))
  end
end
