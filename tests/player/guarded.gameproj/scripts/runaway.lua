-- Loops for ever at frame 10, catching the error that stops it.
local frame = 0

function onUpdate()
  frame = frame + 1
  if frame == 10 then
    log("looping")
    while true do pcall(function() while true do end end) end
  end
end
