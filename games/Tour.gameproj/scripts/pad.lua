-- The tour's game controller: a button of the drawn pad lights while any pad holds it, the
-- sticks' knobs follow the sticks, the triggers fill as they are pulled, and the line at the
-- bottom names the pads plugged in.
local litColours = {a = {0.3, 1, 0.3}, b = {1, 0.3, 0.3}, x = {0.35, 0.6, 1}, y = {1, 0.9, 0.2}}
local otherLit = {1, 0.8, 0.3}
local buttons = {"a", "b", "x", "y", "back", "guide", "start", "leftshoulder", "rightshoulder", "dpup", "dpdown",
  "dpleft", "dpright", "leftstick", "rightstick"}
local resting = {}   -- the drawn colour of each button, for when it is let go
local wells = {}     -- where each stick's knob rests
local kStickReach = 14
local kTriggerLength = 30
local triggerBottoms = {}  -- triggers grow upwards from there

local function light(button)
  local colour = resting[button]
  if not colour then return end
  if isGamepadDown(button) then colour = litColours[button] or otherLit end
  actor(button):setColor(unpack(colour))
end

local function showPads()
  local names = {}
  for _, pad in ipairs(gamepads()) do names[#names + 1] = pad .. ": " .. gamepadName(pad) end
  actor("pads"):setText(#names == 0 and "Plug in a game controller" or table.concat(names, "   "))
end

function onStart()
  for _, button in ipairs(buttons) do resting[button] = {actor(button):getColor()} end
  for _, stick in ipairs({"leftstick", "rightstick"}) do wells[stick] = {actor(stick):position()} end
  for _, trigger in ipairs({"lefttrigger", "righttrigger"}) do
    resting[trigger] = {actor(trigger):getColor()}
    local x, y = actor(trigger):position()
    local _, height = actor(trigger):size()
    triggerBottoms[trigger] = {x, y - height / 2}
  end
  for _, button in ipairs(buttons) do light(button) end
  showPads()
end

function onGamepadDown(button) light(button) end
function onGamepadUp(button) light(button) end
function onGamepadAdded() showPads() end
function onGamepadRemoved() showPads() end

function onUpdate()
  for stick, axes in pairs({leftstick = {"leftx", "lefty"}, rightstick = {"rightx", "righty"}}) do
    local well = wells[stick]
    -- A stick pushed up reads below 0; the scene's y grows upwards.
    actor(stick):moveTo(well[1] + kStickReach * gamepadAxis(axes[1]), well[2] - kStickReach * gamepadAxis(axes[2]))
  end
  for _, trigger in ipairs({"lefttrigger", "righttrigger"}) do
    local pulled = gamepadAxis(trigger)
    local height = 4 + kTriggerLength * pulled
    local bottom = triggerBottoms[trigger]
    actor(trigger):setSize(60, height)
    actor(trigger):moveTo(bottom[1], bottom[2] + height / 2)
    actor(trigger):setColor(unpack(pulled > 0 and otherLit or resting[trigger]))
  end
end
