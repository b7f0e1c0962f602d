-- One misuse of the camera each update; the camera keeps what it had.
local updates = 0

local misuses = {
  function() camera:setZoom(-1) end,
  function() camera.setZoom(2) end,
  function() camera:follow("nobody") end,
  function() camera:follow(42) end,
  function() camera:setBounds(0, 0, -5, 10) end,
  function() camera:setPosition("a", 1) end,
  function() camera:screenToWorld(1, 2, -1) end,
  function() camera:setDeadzone(-1, 0) end,
  function() local box = actor("box") box:destroy() camera:follow(box) end,
  function() camera:setDeadzone(4, "wide") end,
  function() camera.setZoom = nil end,
  function() log("camera kept", camera:getZoom(), camera:getPosition()) end,
}

function onUpdate()
  updates = updates + 1
  if misuses[updates] then misuses[updates]() end
end
