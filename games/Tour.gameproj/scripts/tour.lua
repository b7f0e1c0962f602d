-- Feature tour navigation: the arrow keys and clicks step through the scenes listed in the
-- table "tour"; each scene's title comes from the same table.
local order = require "tourorder"

function onStart()
  saveValue("lastScene", sceneName())
  local title = actor("title")
  if title then title:setText(order.title(sceneName())) end
end

function onKeyDown(key)
  if key == "right" then order.go(sceneName(), 1) elseif key == "left" then order.go(sceneName(), -1) end
end

function onMouseDown()
  order.go(sceneName(), 1)
end
