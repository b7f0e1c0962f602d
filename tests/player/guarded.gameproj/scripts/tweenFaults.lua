-- Callbacks that fail, next to ones that work, and one misuse of the API each update.
local updates = 0
local box

function onStart()
  box = actor("box")
  after(0.1, function() error("timer boom") end)
  every(0.1, function() local broken = nil; return broken.field end)
  tween(box, {x = 3}, 0.1, {onComplete = function() error("complete boom") end})
  after(0.2, function() log("the next timer still fires") end)
  tween(box, {y = 3}, 0.2, {onComplete = function() log("the next tween still ends") end})
end

local misuses = {
  function() tween(box, {x = 1}, 1, "quadout") end,
  function() tween(box, {width = 1}, 1) end,
  function() tween("box", {x = 1}, 1) end,
  function() tween(box, {x = "far"}, 1) end,
  function() tween(actor("label"), {scale = 2}, 1) end,
  function() after(-1, function() end) end,
  function() every(0, function() end) end,
  function() after(1) end,
  function() sequence({tween(box, {x = 1}, 1), "wait"}) end,
  function() local t = after(1, function() end) t.cancel() end,
}

function onUpdate()
  updates = updates + 1
  if misuses[updates] then misuses[updates]() end
end
