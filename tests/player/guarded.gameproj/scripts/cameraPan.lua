-- The documented pan: the camera follows a hidden marker that a tween moves, then the hero.
local updates = 0

local function report(what)
  log(string.format("%s %.1f %.1f", what, camera:getPosition()))
end

function onStart()
  local marker = actor("marker")
  camera:follow(marker)
  sequence({tween(marker, {x = 132}, 0.25), 0.1, function() report("panned") end},
    {onComplete = function() camera:follow("hero") end})
end

function onUpdate()
  updates = updates + 1
  if updates == 40 then report("back") end
end
