-- Joints between the bodies of actors, from <joint> elements and from behaviours, and the
-- questions behaviours ask the physics world: ray casts and area queries.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Joints = {}
Engine.Joints = Joints
local api = Engine.Behaviours.api

local kindNames = "revolute, distance, prismatic, weld, rope or mouse"

-- What each kind reads besides name, type, a, b and collideConnected.
local uses = {
  revolute = {x = true, y = true, lower = true, upper = true, motorSpeed = true, maxTorque = true},
  prismatic = {x = true, y = true, axis = true, lower = true, upper = true, motorSpeed = true, maxForce = true},
  weld = {x = true, y = true, frequency = true, damping = true},
  distance = {anchorA = true, anchorB = true, length = true, frequency = true, damping = true},
  rope = {anchorA = true, anchorB = true, length = true},
  mouse = {x = true, y = true, maxForce = true, frequency = true, damping = true},
}
local common = {name = true, type = true, a = true, b = true, collideConnected = true}
local pairOptions = {anchorA = true, anchorB = true, axis = true}

-- Motors are strong unless told otherwise: a motor with no strength would not turn at all.
local kDefaultMaxTorque, kDefaultMaxForce = 1000000, 100000
-- A mouse joint pulls with up to this many times its body's mass (units per second squared).
local kMouseAcceleration = 5000

Joints.messages = {
  noActor = function(where, name)
    return string.format("%s<joint>: no actor named '%s' in the scene (templates are not there yet)", where, name)
  end,
  noA = function(where) return where .. "<joint>: give the actor it holds with a=\"name\"" end,
  notForKind = function(where, key, kind)
    return string.format("%s<joint>: attribute '%s' does not apply to a %s joint; ignored", where, key, kind)
  end,
}
local messages = Joints.messages

-- The problems of one <joint> element that need no running scene, reported; `hasActor(name)`
-- says whether the scene starts with an actor of that name. True when the joint can be made.
function Joints.checkElement(where, node, values, hasActor)
  local fine = true
  if not values.a then
    Engine.report(messages.noA(where))
    fine = false
  end
  for _, key in ipairs({"a", "b"}) do
    if values[key] and not hasActor(values[key]) then
      Engine.report(messages.noActor(where, values[key]))
      fine = false
    end
  end
  for key in pairs(node) do
    if type(key) == "string" and not common[key] and not uses[values.type][key] and
        Engine.Format.elements.joint.attributes[key] then
      Engine.report(messages.notForKind(where, key, values.type))
    end
  end
  return fine
end

-- --- Handles ---

local Joint = Engine.class()
Joints.Joint = Joint

local function physicsOf(scene)
  if not scene.physics then scene.physics = Engine.Physics.new(scene, scene.gravity) end
  return scene.physics
end

local function checkNumber(value, what, level)
  if type(value) ~= "number" or value ~= value or value == math.huge or value == -math.huge then
    error(string.format("%s must be a finite number, got %s", what, tostring(value)), level + 1)
  end
  return value
end

-- The option as a finite number (or nil), or an {x, y} pair for the pair options.
local function checkOption(key, value, level)
  if value == nil or key == "name" or key == "collideConnected" then return value end
  if pairOptions[key] then
    if type(value) ~= "table" then
      error(string.format("makeJoint: option '%s' must be a table {x, y}", key), level + 1)
    end
    return {checkNumber(value[1], "makeJoint: option " .. key .. "[1]", level + 1),
      checkNumber(value[2], "makeJoint: option " .. key .. "[2]", level + 1)}
  end
  return checkNumber(value, "makeJoint: option '" .. key .. "'", level + 1)
end

-- The options of the native createJoint for the description, with Box2D's body pair: joints
-- to the world (no b) and mouse joints hold the scene's ground body as their first body.
local function nativeJoint(physics, joint)
  local d, a, b = joint.description, joint.a, joint.b
  local ax, ay = a:position()
  local bx, by = ax, ay
  if b then bx, by = b:position() end
  local options = {collideConnected = d.collideConnected == true}
  local bodyA, bodyB = a.body, b and b.body
  if not b then bodyA, bodyB = physics:groundBody(), a.body end
  local kind = joint.kind
  if kind == "distance" or kind == "rope" then
    local onA, onB = d.anchorA or {ax, ay}, d.anchorB
    if not onB then
      if not b then error("a " .. kind .. " to the world needs anchorB, the world point it hangs from", 0) end
      onB = {bx, by}
    end
    if not b then onA, onB = onB, onA end
    options.anchorAX, options.anchorAY, options.anchorBX, options.anchorBY = onA[1], onA[2], onB[1], onB[2]
    options.length = d.length
  else
    options.anchorAX, options.anchorAY = d.x or bx, d.y or by
  end
  if kind == "revolute" then
    options.lower, options.upper = d.lower and math.rad(d.lower), d.upper and math.rad(d.upper)
    options.motorSpeed = d.motorSpeed and math.rad(d.motorSpeed)
    options.maxMotor = d.maxTorque or kDefaultMaxTorque
  elseif kind == "prismatic" then
    options.lower, options.upper, options.motorSpeed = d.lower, d.upper, d.motorSpeed
    options.maxMotor = d.maxForce or kDefaultMaxForce
    if d.axis then options.axisX, options.axisY = d.axis[1], d.axis[2] end
  elseif kind == "mouse" then
    if b then error("a mouse joint drags one actor: give a, not b", 0) end
    options.targetX, options.targetY = options.anchorAX, options.anchorAY
    options.maxForce = d.maxForce or kMouseAcceleration * a.body:mass()
  end
  options.frequency = d.frequency or (kind == "mouse" and 5 or 0)
  options.dampingRatio = d.damping or (kind == "mouse" and 0.7 or 0)
  return physics.world:createJoint(kind, bodyA, bodyB, options)
end

local function actorName(actor) return actor and ("'" .. actor.name .. "'") or "the world" end

-- Makes the joint now, or after the physics step when one is running (with the body of an
-- actor spawned during that step). Raises for what is wrong with the actors or options;
-- what Box2D refuses raises at once, or is reported after `where` (the element or the
-- behaviour's line that asked) when the making waited.
function Joints.make(scene, kind, a, b, description, where)
  if not uses[kind] then error(string.format("unknown joint type '%s'; use %s", tostring(kind), kindNames), 0) end
  for _, actor in ipairs({a, b}) do
    if actor.destroyed then error(string.format("actor '%s' was destroyed", actor.name), 0) end
    if not actor:hasBody() then error(string.format("actor '%s' has no <body>", actor.name), 0) end
  end
  if a == b then error(string.format("a joint needs two different actors, not '%s' twice", a.name), 0) end
  local physics = physicsOf(scene)
  local joint = setmetatable({kind = kind, name = description.name, a = a, b = b, description = description,
    physics = physics, where = where}, Joint)
  local function create()
    joint.pending = nil
    if joint.destroyed or a.destroyed or not a.body or (b and (b.destroyed or not b.body)) then return end
    local made, native = pcall(nativeJoint, physics, joint)
    if not made or not native then
      error(string.format("cannot join %s and %s: %s", actorName(a), actorName(b),
        (string.gsub(tostring(native or "Box2D refused it"), "^.-cannot make the joint: ", ""))), 0)
    end
    joint.native = native
  end
  if physics.stepping then
    joint.pending = true
    physics:whenUnlocked(function() Engine.protect(where, create) end)
  else
    create()
  end
  scene.joints = scene.joints or {}
  scene.joints[#scene.joints + 1] = joint
  scene.jointsByName = scene.jointsByName or {}
  if joint.name then
    local list = scene.jointsByName[joint.name] or {}
    list[#list + 1] = joint
    scene.jointsByName[joint.name] = list
  end
  return joint
end

-- True while the joint holds (or waits for the step's end to be made); false once it was
-- destroyed, either of its actors was, or its scene ended.
function Joint:isAlive()
  if self.destroyed or not self.physics.world then return false end
  if not self.native then return self.pending == true end
  return self.native:isAlive()
end

local function checkAlive(joint, level)
  if not joint:isAlive() then
    error(string.format("the %s joint is gone (destroyed, or one of its actors was)", joint.kind), level + 1)
  end
end

local function checkKind(joint, method, wanted, level)
  if not wanted[joint.kind] then
    local names = table.keys(wanted)
    table.sort(names)
    error(string.format("%s works on %s joints; this one is a %s joint", method, table.concat(names, " and "),
      joint.kind), level + 1)
  end
end

-- Runs change(native) now, or after the step when one is running; nothing once the joint is
-- gone by then.
local function change(joint, fn)
  joint.physics:whenUnlocked(function()
    if joint.native and joint.native:isAlive() then fn(joint.native) end
  end)
end

function Joint:destroy()
  if self.destroyed then return end
  self.destroyed = true
  local physics = self.physics
  change(self, function(native) physics.world:destroyJoint(native) end)
end

local motorKinds = {revolute = true, prismatic = true}
local limitKinds = {revolute = true, prismatic = true, distance = true, rope = true}

-- setMotor(speed, strength): degrees (revolute) or units (prismatic) per second, with at most
-- the strength (torque or force; it keeps the last one when left out); setMotor(nil) stops it.
function Joint:setMotor(speed, strength)
  checkKind(self, "setMotor", motorKinds, 2)
  checkAlive(self, 2)
  if speed ~= nil and speed ~= false then checkNumber(speed, "the motor speed", 2) end
  if strength ~= nil then
    if checkNumber(strength, "the motor strength", 2) < 0 then error("the motor strength must be 0 or more", 2) end
    self.strength = strength
  end
  local d = self.description
  local default = self.kind == "revolute" and (d.maxTorque or kDefaultMaxTorque) or (d.maxForce or kDefaultMaxForce)
  local on, rate = speed ~= nil and speed ~= false, tonumber(speed) or 0
  if self.kind == "revolute" then rate = math.rad(rate) end
  local most = self.strength or default
  change(self, function(native) native:setMotor(on, rate, most) end)
end

-- setLimits(lower, upper): degrees (revolute), units along the axis (prismatic), the shortest
-- and longest length (distance, rope); setLimits() frees a revolute or prismatic joint.
function Joint:setLimits(lower, upper)
  checkKind(self, "setLimits", limitKinds, 2)
  checkAlive(self, 2)
  local on = lower ~= nil or upper ~= nil
  if not on and not motorKinds[self.kind] then error("a " .. self.kind .. " joint always keeps a length", 2) end
  lower, upper = on and checkNumber(lower, "the lower limit", 2) or 0, on and checkNumber(upper, "the upper limit", 2) or 0
  if lower > upper then error(string.format("the lower limit %g lies above the upper limit %g", lower, upper), 2) end
  if self.kind == "revolute" then lower, upper = math.rad(lower), math.rad(upper) end
  change(self, function(native) native:setLimits(on, lower, upper) end)
end

function Joint:setTarget(x, y)
  checkKind(self, "setTarget", {mouse = true}, 2)
  checkAlive(self, 2)
  x, y = checkNumber(x, "x", 2), checkNumber(y, "y", 2)
  change(self, function(native) native:setTarget(x, y) end)
end

-- Readings: nil while the joint waits for the step's end to be made.
local function reading(joint, method, kinds, read)
  checkKind(joint, method, kinds, 3)
  checkAlive(joint, 3)
  if joint.native then return read(joint.native) end
end

function Joint:angle()
  return reading(self, "angle", {revolute = true}, function(native) return math.deg(native:position()) end)
end

function Joint:translation()
  return reading(self, "translation", {prismatic = true}, function(native) return native:position() end)
end

function Joint:length()
  return reading(self, "length", {distance = true, rope = true, mouse = true},
    function(native) return native:position() end)
end

function Joint:speed()
  return reading(self, "speed", motorKinds, function(native)
    local speed = native:speed()
    return self.kind == "revolute" and math.deg(speed) or speed
  end)
end

-- The two points the joint holds, x1, y1, x2, y2 (on a, and on b or the world).
function Joint:anchors()
  checkAlive(self, 2)
  if not self.native then return nil end
  local x1, y1, x2, y2 = self.native:anchors()
  if not self.b then return x2, y2, x1, y1 end  -- the world's point is Box2D's first
  return x1, y1, x2, y2
end

-- --- Joints of the scene document ---

-- Makes the scene's <joint> elements once its actors are built.
function Joints.build(scene, nodes)
  for _, node in ipairs(nodes) do
    local where = Engine.Format.where(scene.file, node) .. ": "
    local values = Engine.Format.attributes(node, scene.file, "joint")
    local function hasActor(name) return scene:actorNamed(name) ~= nil end
    if Joints.checkElement(where, node, values, hasActor) then
      local description = {}
      for key, value in pairs(values) do
        if common[key] or uses[values.type][key] then description[key] = value end
      end
      local b = values.b and scene:actorNamed(values.b)
      Engine.protect(where .. "<joint>", Joints.make, scene, values.type, scene:actorNamed(values.a), b,
        description, where .. "<joint>")
    end
  end
end

-- --- The behaviour API ---

local function currentScene() return Engine.game and Engine.game.scene end

-- An actor given as itself or by name.
local function actorArgument(value, what, level)
  if value == nil then return nil end
  if getmetatable(value) == Engine.Actor then return value end
  if type(value) == "string" then
    local found = currentScene():actorNamed(value)
    if not found then error(string.format("makeJoint: no actor named '%s' in the scene", value), level + 1) end
    return found
  end
  error(string.format("makeJoint: %s must be an actor or an actor's name, got %s", what, type(value)), level + 1)
end

-- makeJoint(type, a, b, options): a joint between two actors (b nil: between a and the world).
function api.makeJoint(kind, a, b, options)
  local scene = currentScene()
  if not scene then return nil end
  if not uses[kind] then error(string.format("makeJoint: unknown joint type '%s'; use %s", tostring(kind), kindNames), 2) end
  a = actorArgument(a, "the first actor", 2)
  if not a then error("makeJoint: give the actor the joint holds", 2) end
  b = actorArgument(b, "the second actor", 2)
  if options ~= nil and type(options) ~= "table" then error("makeJoint: the options must be a table", 2) end
  local description = {}
  for key, value in pairs(options or {}) do
    if not (common[key] or uses[kind][key]) or key == "type" or key == "a" or key == "b" then
      error(string.format("makeJoint: option '%s' does not apply to a %s joint", tostring(key), tostring(kind)), 2)
    end
    description[key] = checkOption(key, value, 2)
  end
  local made, joint = pcall(Joints.make, scene, kind, a, b, description, "behaviour " .. Engine.where(2) .. "makeJoint")
  if not made then error("makeJoint: " .. tostring(joint), 2) end
  return joint
end

-- The first joint of that name that still holds; an error for a name no joint ever had.
function api.joint(name)
  local scene = currentScene()
  if not scene then return nil end
  local list = scene.jointsByName and scene.jointsByName[name]
  if not list then error(string.format("no joint named '%s' in %s", tostring(name), scene.file), 2) end
  for _, joint in ipairs(list) do
    if joint:isAlive() then return joint end
  end
  return nil
end

local function checkPoints(where, ...)
  for index = 1, select("#", ...) do checkNumber((select(index, ...)), where .. ": argument " .. index, 3) end
end

-- Every actor the ray from (x1, y1) to (x2, y2) enters, nearest first, each with where it
-- entered, the surface's normal there and the fraction of the way.
function api.rayCastAll(x1, y1, x2, y2)
  checkPoints("rayCastAll", x1, y1, x2, y2)
  local scene = currentScene()
  local physics = scene and scene.physics
  if not physics then return {} end
  local hits = {}
  for _, hit in ipairs(physics.world:rayCast(x1, y1, x2, y2)) do
    local actor = physics:actorForFixture(hit.fixture)
    if actor then
      hits[#hits + 1] = {actor = actor, x = hit.x, y = hit.y, normalX = hit.normalX, normalY = hit.normalY,
        fraction = hit.fraction}
    end
  end
  return hits
end

function api.rayCast(x1, y1, x2, y2)
  checkPoints("rayCast", x1, y1, x2, y2)
  return api.rayCastAll(x1, y1, x2, y2)[1]
end

-- The actors of the fixtures, each once, in the order found.
local function actorsOf(physics, fixtures)
  local actors, seen = {}, {}
  for _, fixture in ipairs(fixtures) do
    local actor = physics:actorForFixture(fixture)
    if actor and not seen[actor] then
      seen[actor] = true
      actors[#actors + 1] = actor
    end
  end
  return actors
end

-- The actors whose bodies overlap the rectangle with corners (x1, y1) and (x2, y2).
function api.queryArea(x1, y1, x2, y2)
  checkPoints("queryArea", x1, y1, x2, y2)
  local scene = currentScene()
  if not (scene and scene.physics) then return {} end
  return actorsOf(scene.physics, scene.physics.world:queryBox(x1, y1, x2, y2))
end

function api.queryCircle(x, y, radius)
  checkPoints("queryCircle", x, y, radius)
  if radius < 0 then error("queryCircle: the radius must be 0 or more", 2) end
  local scene = currentScene()
  if not (scene and scene.physics) then return {} end
  return actorsOf(scene.physics, scene.physics.world:queryCircle(x, y, radius))
end
