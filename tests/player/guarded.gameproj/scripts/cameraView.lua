-- First the camera moved sideways (a screenshot shows the layers), then turned a quarter and
-- zoomed in on a (the timeline clicks and takes another); every mouse event is logged.
local updates = 0

function onUpdate()
  updates = updates + 1
  if updates == 2 then camera:setPosition(48, 32) end
  if updates == 10 then
    camera:setPosition(32, 32)
    camera:setZoom(2)
    camera:setRotation(90)
    local sx, sy = camera:worldToScreen(42, 32)
    local wx, wy = camera:screenToWorld(sx, sy)
    local hx, hy = camera:screenToWorld(sx, sy, 0)
    log(string.format("b on screen %.1f %.1f back %.1f %.1f parallax 0 %.1f %.1f", sx, sy, wx, wy, hx, hy))
  end
end

function onMouseDown(x, y)
  log(string.format("down %.1f %.1f screen %.1f %.1f", x, y, camera:worldToScreen(x, y)))
end

function onMouseMoved(x, y)
  log(string.format("moved %.1f %.1f screen %.1f %.1f", x, y, camera:worldToScreen(x, y)))
end
