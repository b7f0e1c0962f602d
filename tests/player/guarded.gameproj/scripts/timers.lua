-- Ticks every quarter second and logs the update each tick comes in; after 40 updates goes
-- to the next scene, leaving a timer and a tween behind that must never fire.
local updates, ticks = 0, 0

function onStart()
  every(0.25, function() ticks = ticks + 1 log("tick", ticks, "at update", updates) end)
  after(2, function() log("a timer of the ended scene fired") end)
  local dropped = after(0.1, function() log("a cancelled timer fired") end)
  dropped:cancel()
end

function onUpdate()
  updates = updates + 1
  if updates == 40 then changeScene("afterTimers") end
end
