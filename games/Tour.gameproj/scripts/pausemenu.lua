-- The pause menu pushed over the overlays scene: Return ends it and the game below goes on
-- where it stopped; the arrow keys and a click go on with the tour (ending both scenes).
local order = require "tourorder"

function onKeyDown(key)
  if key == "return" then
    popScene()
  elseif key == "right" then
    order.go("overlays", 1)
  elseif key == "left" then
    order.go("overlays", -1)
  end
end

function onMouseDown()
  order.go("overlays", 1)
end
