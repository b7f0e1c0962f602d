-- Game controllers for behaviours: the player's calls for pads plugged in and removed, buttons
-- and axes; the callbacks onGamepadDown, onGamepadUp, onGamepadAdded and onGamepadRemoved; and
-- isGamepadDown, gamepadAxis, gamepadConnected, gamepads and gamepadName.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Behaviours = Engine.Behaviours
local api = Behaviours.api

local Gamepad = {}
Engine.Gamepad = Gamepad

-- SDL's game-controller names, which the player hands on.
local buttonList = {"a", "b", "x", "y", "back", "guide", "start", "leftstick", "rightstick", "leftshoulder",
  "rightshoulder", "dpup", "dpdown", "dpleft", "dpright", "misc1", "paddle1", "paddle2", "paddle3", "paddle4",
  "touchpad"}
local axisList = {"leftx", "lefty", "rightx", "righty", "lefttrigger", "righttrigger"}
local buttons, axes = {}, {triggerleft = "lefttrigger", triggerright = "righttrigger"}
for _, name in ipairs(buttonList) do buttons[name] = name end
for _, name in ipairs(axisList) do axes[name] = name end

-- Pads are numbered from 1 to this by the player (kQzMaxGamepads).
local kMaxPads = 8
-- A stick at rest seldom reads exactly 0: positions nearer than this read 0.
Gamepad.deadZone = 0.1

for _, name in ipairs({"onGamepadDown", "onGamepadUp", "onGamepadAdded", "onGamepadRemoved"}) do
  table.insert(Behaviours.callbacks, name)
end

-- The problem with a button or axis name a behaviour gives (what, "button" or "axis"), or nil.
-- The project check (check.lua) reports literal names with the same text.
function Gamepad.problemWithName(call, what, name)
  local known = what == "button" and buttons or axes
  if type(name) == "string" and known[name] then return nil end
  local plural, list = "buttons", buttonList
  if what == "axis" then plural, list = "axes", axisList end
  return string.format("%s: unknown gamepad %s '%s'; the %s are %s", call, what, tostring(name), plural,
    table.concat(list, ", "))
end

-- The pads plugged in, by number: {name = , buttons = {held names = true}, axes = {name = position}}.
-- They outlive scenes and restarts of the game, as the pads in the player's hands do.
local pads = {}

local function dispatch(name, ...)
  local game = Engine.game
  if game then game:dispatch(name, ...) end
end

local function plug(pad, name)
  pad = tonumber(pad)
  if not pad or pads[pad] then return end
  pads[pad] = {name = tostring(name or ""), buttons = {}, axes = {}}
  dispatch("onGamepadAdded", pad, pads[pad].name)
end

-- The number of the pad an event comes from, plugged in first if the player never said so.
local function knownPad(pad)
  pad = tonumber(pad)
  if pad and not pads[pad] then plug(pad, "") end
  return pad
end

-- --- The player's calls ---

gamepadAdded = plug

-- Buttons still held are released first, so that a game sees every press end.
function gamepadRemoved(pad)
  pad = tonumber(pad)
  local state = pad and pads[pad]
  if not state then return end
  local held = table.keys(state.buttons)
  table.sort(held)
  state.buttons = {}
  for _, button in ipairs(held) do dispatch("onGamepadUp", button, pad) end
  pads[pad] = nil
  dispatch("onGamepadRemoved", pad)
end

-- A button pressed (held true) or released, and the callback that hears of it.
local function press(button, pad, held, callback)
  pad = knownPad(pad)
  if not (pad and buttons[button]) then return end
  pads[pad].buttons[button] = held or nil
  dispatch(callback, button, pad)
end

function gamepadDown(button, pad) press(button, pad, true, "onGamepadDown") end
function gamepadUp(button, pad) press(button, pad, false, "onGamepadUp") end

function gamepadAxisMoved(axis, position, pad)
  pad = knownPad(pad)
  position = tonumber(position)
  if not (pad and axes[axis] and position) then return end
  pads[pad].axes[axes[axis]] = math.max(-1, math.min(1, position))
end

-- --- For behaviours ---

-- A pad number a behaviour gives: a whole number from 1 to kMaxPads, or nil when optional.
local function checkPad(call, pad, optional)
  if pad == nil and optional then return nil end
  if type(pad) ~= "number" or pad ~= math.floor(pad) or pad < 1 or pad > kMaxPads then
    error(string.format("%s: the pad must be a whole number from 1 to %d, got %s", call, kMaxPads, tostring(pad)), 3)
  end
  return pad
end

local function checkName(call, what, name)
  local problem = Gamepad.problemWithName(call, what, name)
  if problem then error(problem, 3) end
  return what == "button" and name or axes[name]
end

-- Without a pad, any pad: a button held on one of them.
function api.isGamepadDown(button, pad)
  button = checkName("isGamepadDown", "button", button)
  pad = checkPad("isGamepadDown", pad, true)
  for number, state in pairs(pads) do
    if (pad == nil or pad == number) and state.buttons[button] then return true end
  end
  return false
end

-- From -1 to 1 (triggers from 0 to 1); 0 for a pad that is not plugged in and inside the dead
-- zone. Without a pad, the position farthest from rest among the pads.
function api.gamepadAxis(name, pad)
  name = checkName("gamepadAxis", "axis", name)
  pad = checkPad("gamepadAxis", pad, true)
  local position = 0
  for number, state in pairs(pads) do
    local value = state.axes[name] or 0
    if (pad == nil or pad == number) and math.abs(value) > math.abs(position) then position = value end
  end
  if math.abs(position) < Gamepad.deadZone then return 0 end
  return position
end

-- Without a pad, whether any pad is plugged in.
function api.gamepadConnected(pad)
  pad = checkPad("gamepadConnected", pad, true)
  if pad then return pads[pad] ~= nil end
  return next(pads) ~= nil
end

-- The numbers of the pads plugged in, smallest first.
function api.gamepads()
  local numbers = table.keys(pads)
  table.sort(numbers)
  return numbers
end

-- The name the system gives a pad, or nil when it is not plugged in.
function api.gamepadName(pad)
  pad = checkPad("gamepadName", pad, false)
  return pads[pad] and pads[pad].name
end
