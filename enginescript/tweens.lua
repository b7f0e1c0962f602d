-- Tweens and timers of a scene: tween(), sequence{}, group{}, after() and every() for
-- behaviours. They advance with the scene's clock (so they stop while the game is paused),
-- end with the scene, and call back through the same protected call as behaviours.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Behaviours = Engine.Behaviours
local api = Behaviours.api

local Tweens = {}
Engine.Tweens = Tweens

-- Easing curves: progress 0..1 to eased progress, 0 at 0 and 1 at 1.
local pi = math.pi
local function bounceOut(t)
  if t < 1 / 2.75 then return 7.5625 * t * t end
  if t < 2 / 2.75 then t = t - 1.5 / 2.75 return 7.5625 * t * t + 0.75 end
  if t < 2.5 / 2.75 then t = t - 2.25 / 2.75 return 7.5625 * t * t + 0.9375 end
  t = t - 2.625 / 2.75
  return 7.5625 * t * t + 0.984375
end
local kBack = 1.70158
local ins = {
  quad = function(t) return t * t end,
  cubic = function(t) return t * t * t end,
  sine = function(t) return 1 - math.cos(t * pi / 2) end,
  back = function(t) return t * t * ((kBack + 1) * t - kBack) end,
  elastic = function(t)
    if t == 0 or t == 1 then return t end
    return -(2 ^ (10 * (t - 1))) * math.sin((t - 1.075) * 2 * pi / 0.3)
  end,
  bounce = function(t) return 1 - bounceOut(1 - t) end,
}
local easings = {linear = function(t) return t end}
Tweens.easings = easings
for name, easeIn in pairs(ins) do
  local function easeOut(t) return 1 - easeIn(1 - t) end
  easings[name .. "In"] = easeIn
  easings[name .. "Out"] = easeOut
  easings[name .. "InOut"] = function(t)
    if t < 0.5 then return easeIn(2 * t) / 2 end
    return 0.5 + easeOut(2 * t - 1) / 2
  end
end
local easingNames = {}
for name in pairs(easings) do easingNames[#easingNames + 1] = name end
table.sort(easingNames)

-- A handle: a running tween, sequence, group, wait, call or timer. `advance` moves it on by
-- dt and returns the time left over once it has ended, or nil while it runs.
local Handle = {}
Handle.__index = Handle

local function needHandle(self, method)
  if getmetatable(self) ~= Handle then
    error(string.format("call %s with a colon: handle:%s()", method, method), 3)
  end
end

-- Stops it where it is; its onComplete is not called. Cancelling twice, or after it ended, does nothing.
function Handle.cancel(self)
  needHandle(self, "cancel")
  self.ended = true
end

function Handle.isRunning(self)
  needHandle(self, "isRunning")
  return not self.ended
end

-- The scene of the behaviour `level` calls above: its `self` is an actor or the scene (a
-- behaviour's file runs before its scene becomes the game's). A call from elsewhere (through
-- pcall) uses the running scene.
local function callerScene(level)
  local environment = getfenv(level + 1)
  local owner = type(environment) == "table" and rawget(environment, "self")
  if type(owner) == "table" then
    if getmetatable(owner) == Engine.Scene then return owner end
    if owner.scene then return owner.scene end
  end
  return Engine.game and Engine.game.scene
end

local function newHandle(scene, advance, where)
  return setmetatable({scene = scene, advance = advance, where = where, elapsed = 0}, Handle)
end

-- Adds a handle to its scene's running list; one taken into a sequence or group later is
-- dropped from the list at the next advance (Tweens.advance).
local function run(handle)
  local scene = handle.scene
  local running = scene.running
  if not running then
    running = {}
    scene.running = running
  end
  running[#running + 1] = handle
  return handle
end

-- Calls fn protected; a failure is reported as a behaviour's, with the line of the call that
-- set it up when the message has no place of its own.
local function callBack(handle, fn, ...)
  local ok, message = Behaviours.protectedCall()(fn, ...)
  if not ok then
    message = tostring(message)
    if not string.find(message, "^[^:]+%.lua:%d+:") then message = handle.where .. message end
    Engine.report("behaviour " .. message)
  end
end

local function finish(handle)
  handle.ended = true
  if handle.onComplete then callBack(handle, handle.onComplete, handle) end
end

-- --- Tweens ---

-- The channels a tween can move, each read from the actor when the tween starts.
local function readChannels(actor, values, moves)
  values.x, values.y = actor:position()
  values.angle = actor:angle()
  if moves.scale then values.scale = actor.width / actor.values.width end
  if actor.color then values.r, values.g, values.b, values.a = actor:getColor() end
end

local kChannels = {"x", "y", "angle", "scale", "r", "g", "b", "a"}

-- Applies the values through the actor's own setters, so a body follows and angles wrap.
local function applyChannels(tween, values)
  local actor, moves = tween.actor, tween.moves
  -- A coordinate the tween leaves alone stays where physics or a behaviour puts it.
  if moves.x or moves.y then actor:moveTo(moves.x and values.x or actor.x, moves.y and values.y or actor.y) end
  if moves.angle then actor:setAngle(values.angle) end
  if moves.scale then actor:setSize(actor.values.width * values.scale, actor.values.height * values.scale) end
  if moves.r or moves.g or moves.b or moves.a then actor:setColor(values.r, values.g, values.b, values.a) end
end

local function advanceTween(tween, dt)
  local actor = tween.actor
  if actor.destroyed then
    tween.ended = true  -- nothing to move: ends without its onComplete
    return dt
  end
  local from, to, now = tween.from, tween.to, tween.now
  if not tween.started then
    tween.started = true
    readChannels(actor, from, tween.moves)
    for _, channel in ipairs(kChannels) do
      now[channel] = from[channel]
      if to[channel] == nil then to[channel] = from[channel] end
    end
  end
  local elapsed = tween.elapsed + dt
  tween.elapsed = elapsed
  if elapsed >= tween.seconds then
    applyChannels(tween, to)
    finish(tween)
    return elapsed - tween.seconds
  end
  local eased = tween.ease(elapsed / tween.seconds)
  local moves = tween.moves
  for index = 1, #kChannels do
    local channel = kChannels[index]
    if moves[channel] then now[channel] = from[channel] + (to[channel] - from[channel]) * eased end
  end
  applyChannels(tween, now)
  return nil
end

local kTweenKeys = "x, y, angle, scale, alpha and color"

local function needNumber(value, what)
  if type(value) ~= "number" or value ~= value then
    error(string.format("%s must be a number, got %s", what, type(value)), 4)
  end
  return value
end

-- The targets as channels; raises (blaming the behaviour's line) on what the actor cannot do.
local function readTargets(actor, targets, to, moves)
  for key, value in pairs(targets) do
    if key == "color" then
      if type(value) ~= "table" then error("tween: color must be a table {r, g, b} or {r, g, b, a}", 3) end
      to.r, to.g, to.b = needNumber(value[1], "tween: color[1]"), needNumber(value[2], "tween: color[2]"),
        needNumber(value[3], "tween: color[3]")
      if value[4] ~= nil then to.a = needNumber(value[4], "tween: color[4]") end
      moves.r, moves.g, moves.b, moves.a = true, true, true, value[4] ~= nil
    elseif key == "alpha" then
      to.a, moves.a = needNumber(value, "tween: alpha"), true
    elseif key == "x" or key == "y" or key == "angle" or key == "scale" then
      to[key], moves[key] = needNumber(value, "tween: " .. key), true
    else
      error(string.format("tween: unknown property '%s'; a tween moves %s", tostring(key), kTweenKeys), 3)
    end
  end
  if (moves.r or moves.a) and not actor.color then
    error(string.format("tween: actor '%s' has no colour to change", actor.name), 3)
  end
  if moves.angle and actor.kind == "sound" then
    error(string.format("tween: '%s' is a sound actor: it has a position but no angle", actor.name), 3)
  end
  if moves.scale and (actor.kind ~= "sprite" or not actor.values.width or actor.values.width == 0) then
    error(string.format("tween: scale works on sprites with a size; '%s' is a %s", actor.name, actor.kind), 3)
  end
end

local function readEasing(name)
  local ease = easings[name]
  if not ease then
    error(string.format("tween: unknown easing '%s'; use one of %s", tostring(name),
      table.concat(easingNames, ", ")), 3)
  end
  return ease
end

-- tween(actor, {x =, y =, angle =, scale =, alpha =, color =}, seconds, easing or options)
function api.tween(actor, targets, seconds, options)
  if getmetatable(actor) ~= Engine.Actor then
    error("tween: the first argument must be an actor, got " .. type(actor), 2)
  end
  if actor.destroyed then error(string.format("tween: actor '%s' was destroyed", actor.name), 2) end
  if type(targets) ~= "table" then error("tween: the second argument must be a table such as {x = 100}", 2) end
  if type(seconds) ~= "number" or not (seconds >= 0) then
    error("tween: the seconds must be a number of 0 or more, got " .. tostring(seconds), 2)
  end
  local easing, onComplete = "linear", nil
  if type(options) == "table" then
    easing, onComplete = options.easing or easing, options.onComplete
    if onComplete ~= nil and type(onComplete) ~= "function" then error("tween: onComplete must be a function", 2) end
  elseif options ~= nil then
    easing = options
  end
  local tween = newHandle(actor.scene, advanceTween, Engine.where(2))
  tween.actor, tween.seconds, tween.ease = actor, seconds, readEasing(easing)
  tween.onComplete, tween.from, tween.to, tween.now, tween.moves = onComplete, {}, {}, {}, {}
  readTargets(actor, targets, tween.to, tween.moves)
  return run(tween)
end

-- --- Sequences, groups and the steps inside them ---

local function advanceWait(wait, dt)
  local elapsed = wait.elapsed + dt
  wait.elapsed = elapsed
  if elapsed < wait.seconds then return nil end
  wait.ended = true
  return elapsed - wait.seconds
end

local function advanceCall(call, dt)
  call.ended = true
  callBack(call, call.fn)
  return dt
end

local function advanceSequence(sequence, dt)
  local steps = sequence.steps
  while sequence.index <= #steps do
    local step = steps[sequence.index]
    local left = step.ended and dt or step:advance(dt)
    if left == nil then return nil end
    if sequence.ended then return nil end  -- cancelled by a step's onComplete
    sequence.index, dt = sequence.index + 1, left
  end
  finish(sequence)
  return dt
end

local function advanceGroup(group, dt)
  local left, running = dt, false
  for _, step in ipairs(group.steps) do
    if not step.ended then
      local stepLeft = step:advance(dt)
      if stepLeft == nil then running = true elseif stepLeft < left then left = stepLeft end
    end
  end
  if running or group.ended then return nil end
  finish(group)
  return left
end

-- The steps of a sequence or group: handles made by tween, sequence or group that have not
-- run yet (they leave the scene's list), numbers (waits, in seconds) and functions (called).
local function takeSteps(what, list, scene, where)
  if type(list) ~= "table" then error(what .. " needs a table of steps: " .. what .. "{tween(...), ...}", 4) end
  local steps = {}
  for index, step in ipairs(list) do
    if type(step) == "number" and step >= 0 then
      local wait = newHandle(scene, advanceWait, where)
      wait.seconds = step
      step = wait
    elseif type(step) == "function" then
      local call = newHandle(scene, advanceCall, where)
      call.fn = step
      step = call
    elseif getmetatable(step) ~= Handle or step.timer then
      error(string.format("%s: step %d must be a tween, sequence, group, number of seconds or function, got %s",
        what, index, type(step)), 4)
    elseif step.taken or step.started or step.elapsed > 0 or step.ended then
      error(string.format("%s: step %d has already run or belongs to another sequence or group", what, index), 4)
    end
    step.taken = true
    steps[index] = step
  end
  return steps
end

local function newComposite(what, advance, list, options)
  local scene, where = callerScene(3), Engine.where(3)
  if not scene then error(what .. ": no scene is running", 3) end
  if options ~= nil and (type(options) ~= "table" or (options.onComplete ~= nil and type(options.onComplete) ~= "function")) then
    error(what .. ": the options must be a table such as {onComplete = function() ... end}", 3)
  end
  local handle = newHandle(scene, advance, where)
  handle.steps, handle.index = takeSteps(what, list, scene, where), 1
  handle.onComplete = options and options.onComplete
  return run(handle)
end

-- Makes api[name](first, second) call maker(name, kind, first, second). Not as a tail call: a
-- maker finds the behaviour's line and scene by counting the calls above it.
local function define(name, maker, kind)
  api[name] = function(first, second)
    local handle = maker(name, kind, first, second)
    return handle
  end
end

define("sequence", newComposite, advanceSequence)
define("group", newComposite, advanceGroup)

-- --- Timers ---

local function advanceTimer(timer, dt)
  local elapsed = timer.elapsed + dt
  while elapsed >= timer.seconds and not timer.ended do
    elapsed = elapsed - timer.seconds
    if not timer.repeats then timer.ended = true end
    callBack(timer, timer.fn, timer)
  end
  timer.elapsed = elapsed
  if timer.ended then return 0 end
  return nil
end

local function newTimer(what, repeats, seconds, fn)
  local scene = callerScene(3)
  if not scene then error(what .. ": no scene is running", 3) end
  if type(seconds) ~= "number" or not (seconds >= 0) or (repeats and seconds == 0) then
    error(string.format("%s: the seconds must be a number %s, got %s", what, repeats and "above 0" or "of 0 or more",
      tostring(seconds)), 3)
  end
  if type(fn) ~= "function" then error(what .. ": the second argument must be a function", 3) end
  local timer = newHandle(scene, advanceTimer, Engine.where(3))
  timer.seconds, timer.fn, timer.repeats, timer.timer = seconds, fn, repeats, true
  return run(timer)
end

define("after", newTimer, false)
define("every", newTimer, true)

-- --- The scene's clock ---

-- Advances what was running when the frame began (what starts now waits for the next frame)
-- and drops, in place, what has ended or was taken into a sequence or group.
function Tweens.advance(scene, dt)
  local running = scene.running
  local count = #running
  for index = 1, count do
    local handle = running[index]
    if not handle.ended and not handle.taken then handle:advance(dt) end
  end
  local kept = 0
  for index = 1, #running do
    local handle = running[index]
    if not handle.ended and not handle.taken then
      kept = kept + 1
      running[kept] = handle
    end
  end
  for index = #running, kept + 1, -1 do running[index] = nil end
end

-- Ends everything of the scene, without calling an onComplete: the scene itself ends.
function Tweens.stopAll(scene)
  for _, handle in ipairs(scene.running or {}) do handle.ended = true end
  scene.running = nil
end
