-- Logs where the camera is as its target runs: inside the dead zone, pushing it, against the
-- bounds, zoomed in, after the target has gone, once put somewhere by hand, and turned while
-- following an actor below the bounds (it must stay where it is).
local updates = 0

local function report()
  local x, y = camera:getPosition()
  local runner = actor("runner")
  log(string.format("update %d runner %s camera %.1f %.1f zoom %g", updates,
    runner and string.format("%.1f", runner.x) or "gone", x, y, camera:getZoom()))
end

function onUpdate()
  updates = updates + 1
  if updates == 160 then camera:setZoom(2) end
  if updates == 200 then actor("runner"):destroy() end
  if updates == 205 then camera:setPosition(-500, 30) end
  if updates == 206 then
    camera:setRotation(30)
    camera:follow("post")
  end
  for _, at in ipairs({5, 30, 150, 170, 200, 204, 205, 210, 240}) do
    if updates == at then report() end
  end
end
