-- One misuse of joints and queries each update; the game goes on.
local updates = 0
local box, crate
local misuses = {
  function() makeJoint("spring", box, crate) end,
  function() makeJoint("revolute", box, box) end,
  function() makeJoint("revolute", box, actor("label")) end,
  function() makeJoint("revolute", box, crate, {lower = 0 / 0, upper = 1}) end,
  function() makeJoint("revolute", box, crate, {lower = 10, upper = 1}) end,
  function() makeJoint("weld", box, crate, {motorSpeed = 1}) end,
  function() makeJoint("prismatic", box, crate, {axis = {0, 0}}) end,
  function() makeJoint("weld", box, crate):setMotor(1) end,
  function() local j = makeJoint("revolute", box, crate) j:destroy() j:angle() end,
  function() rayCast(0, 0, 1 / 0, 0) end,
  function() queryCircle(0, 0, -1) end,
  function() makeJoint("weld", "nobody", crate) end,
}

function onStart()
  box, crate = actor("box"), actor("crate")
end

function onUpdate()
  updates = updates + 1
  if misuses[updates] then misuses[updates]() end
  if updates == #misuses + 1 then log("still playing", rayCast(0, 10, 30, 10).actor.name) end
end
