-- A sequence of a tween, a wait, a call and a group; a cancelled tween; a tween whose actor
-- is destroyed. Logs each step as it ends, with the update it ends in.
local updates = 0
local a, b
local function say(what) return function() log(what, "at", updates) end end

function onStart()
  a, b = actor("a"), actor("b")
  sequence({
    tween(a, {x = 10}, 0.25, {easing = "quadOut", onComplete = say("first")}),
    0.25,
    say("call"),
    group({tween(a, {y = 5}, 0.25), tween(b, {alpha = 0.5}, 0.5, {onComplete = say("alpha")})},
      {onComplete = say("group")}),
  }, {onComplete = say("sequence")})
  local turning = tween(b, {angle = 90}, 1, {onComplete = say("turning ended")})
  after(0.5, function() turning:cancel() log("cancelled at", b:angle(), turning:isRunning()) end)
  tween(actor("doomed"), {x = 50}, 1, {onComplete = say("doomed ended")})
  after(0.25, function() actor("doomed"):destroy() end)
end

function onUpdate()
  updates = updates + 1
  if updates == 90 then log("finally", a.x, a.y, b:angle(), select(4, b:getColor())) end
end
