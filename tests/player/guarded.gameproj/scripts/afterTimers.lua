-- The scene after the timers' one: says how far it got.
local updates = 0

function onUpdate()
  updates = updates + 1
  if updates == 90 then log("next scene at update", updates) end
end
