-- The physics of a scene: one world, a body of one or several shapes per actor with a <body>,
-- collision callbacks (with where and how hard the bodies touched) handed to behaviours, and
-- every body change asked for during the world's step (making, moving, pushing, resizing or
-- destroying a body; making, changing or destroying a joint) deferred until the step has finished.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Physics = Engine.class()
Engine.Physics = Physics

-- Every actor fixture carries this ID: fixtures collide only with equal IDs, and contacts are
-- reported only for bodies that have a fixture with ID 2.
local kFixtureID = 2
local kVelocityIterations, kPositionIterations = 8, 3
local kMaxStep = 1 / 20

function Physics.new(scene, gravity)
  local world = physics.World.new(gravity[1], gravity[2], true)
  if not world then error("the physics world could not be made", 0) end
  return setmetatable({scene = scene, world = world, actors = {}, nextID = 1, stepping = false,
    deferred = {}, touching = {}}, Physics)
end

-- A polygon shape with the points (x1, y1, x2, y2, ...) turned by `turn` radians and moved by
-- the offset: a shape's place on a body made of several.
local function polygonShape(points, ox, oy, turn)
  local shape = physics.PolygonShape.new()
  local c, s = math.cos(turn), math.sin(turn)
  for index = 1, #points, 2 do
    local x, y = points[index], points[index + 1]
    shape:addVertex(x * c - y * s + ox, x * s + y * c + oy)
  end
  return shape
end

local function makeShape(actor, values)
  local width, height = values.width or actor.width or 32, values.height or actor.height or 32
  local ox, oy, turn = values.x or 0, values.y or 0, math.rad(values.angle or 0)
  if values.shape == "circle" then
    local circle = physics.CircleShape.new(values.radius or math.min(width, height) / 2)
    if ox ~= 0 or oy ~= 0 then circle:setPosition(ox, oy) end
    return circle
  end
  if values.shape == "polygon" then
    local points = values.points or {}
    if #points < 6 or #points % 2 ~= 0 or #points > 16 then
      error("a polygon body needs 3 to 8 points as \"x1 y1 x2 y2 ...\"", 0)
    end
    return polygonShape(points, ox, oy, turn)
  end
  if ox == 0 and oy == 0 and turn == 0 then
    local shape = physics.PolygonShape.new()
    shape:setAsBox(width / 2, height / 2)
    return shape
  end
  local w, h = width / 2, height / 2
  return polygonShape({-w, -h, w, -h, w, h, -w, h}, ox, oy, turn)
end

-- Gives the body the fixture one shape describes, at the actor's present size; nil when the
-- shape is not valid.
local function makeFixture(body, actor, values)
  local fixtureDefinition = physics.FixtureDefinition.new()
  fixtureDefinition:setShape(makeShape(actor, values))
  fixtureDefinition:setDensity(values.density)
  fixtureDefinition:setFriction(values.friction / 0.02)
  fixtureDefinition:setRestitution(values.restitution)
  fixtureDefinition:setIsSensor(values.sensor)
  fixtureDefinition:setFixtureID(kFixtureID)
  for _, category in ipairs(values.collidesWith) do
    fixtureDefinition:addCollisionMaskCategory(category)
  end
  return body:createFixture(fixtureDefinition)
end

-- The shapes of a body: its <shape> children, or the <body> itself as its one shape.
local function shapesOf(values)
  return values.shapes or {values}
end

-- The values of a <body> element, with its <shape> children (when it has any) in `shapes`:
-- each shape takes the body's density, friction, restitution, sensor and collidesWith unless
-- it sets its own.
function Physics.readBody(node, file)
  local Format = Engine.Format
  local values = Format.attributes(node, file, "body")
  for _, child in ipairs(Format.children(node, file, "body")) do
    local shape = Format.attributes(child.node, file, "shape")
    for _, key in ipairs({"density", "friction", "restitution", "sensor", "collidesWith"}) do
      if shape[key] == nil then shape[key] = values[key] end
    end
    values.shapes = values.shapes or {}
    values.shapes[#values.shapes + 1] = shape
  end
  return values
end

-- Runs change(...) now, or just after the step when the world is stepping: Box2D refuses
-- changes to its bodies while it steps. Deferred changes run in the order they were asked.
function Physics:whenUnlocked(change, ...)
  if not self.stepping then return change(...) end
  local arguments = {n = select("#", ...), ...}
  self.deferred[#self.deferred + 1] = function() change(unpack(arguments, 1, arguments.n)) end
end

-- Gives the actor a body (now, or after the step); a body that cannot be made is reported
-- with `what`, the element it was asked for.
function Physics:addBody(actor, values, what)
  actor.bodyPending = true
  self:whenUnlocked(function()
    actor.bodyPending = nil
    if not actor.destroyed then Engine.protect(what, self.makeBody, self, actor, values) end
  end)
end

function Physics:makeBody(actor, values)
  local definition = physics.BodyDefinition.new()
  definition:setType(values.type)
  local x, y = actor:position()
  definition:setPosition(x, y)
  definition:setAngle(math.rad(actor:angle()))
  definition:setFixedRotation(values.fixedRotation)
  local id = self.nextID
  self.nextID = id + 1
  definition:setActorID(id)
  for _, category in ipairs(values.categories) do definition:addCollisionCategory(category) end
  local body = self.world:createBody(definition)
  if not body then error("the body could not be made", 0) end
  -- A shape that cannot be made takes the whole body with it: no half-made body stays.
  local fixtures = {}
  for index, shape in ipairs(shapesOf(values)) do
    local made, fixture = pcall(makeFixture, body, actor, shape)
    fixtures[index] = made and fixture or nil
    if not fixtures[index] then
      self.world:destroyBody(body)
      local problem = made and "the shape is not valid" or tostring(fixture)
      error(values.shapes and string.format("<shape> %d: %s", index, problem) or
        (made and "the body's shape is not valid" or problem), 0)
    end
  end
  actor.body, actor.bodyID, actor.fixtures, actor.bodyValues = body, id, fixtures, values
  self.actors[id] = actor
end

-- Gives the body the actor's new size: a box or circle whose <body> does not set its own size
-- follows the actor's (bodies of several shapes keep theirs). The new shape replaces the old
-- one only once it is made, so a shape that cannot be made leaves the body as it was.
function Physics:resizeBody(actor)
  self:whenUnlocked(function()
    local values = actor.bodyValues
    if not actor.body or values.shape == "polygon" or values.shapes then return end
    local fixture = makeFixture(actor.body, actor, values)
    if not fixture then error("the body's shape is not valid", 0) end
    actor.body:destroyFixture(actor.fixtures[1])
    actor.fixtures[1] = fixture
    actor.body:setAwake(true)
  end)
end

-- Puts the body where the actor was put. After a step the actor shows the body's place, so a
-- deferred move puts the actor back where it was asked to go.
function Physics:moveBody(actor, x, y)
  self:whenUnlocked(function()
    if not actor.body then return end
    actor:showAt(x, y)
    actor.body:setPositionAndAngle(x, y, math.rad(actor:angle()))
    actor.body:setAwake(true)
  end)
end

function Physics:setVelocity(actor, vx, vy)
  self:whenUnlocked(function()
    if actor.body then actor.body:setLinearVelocity(vx, vy) end
  end)
end

function Physics:applyForce(actor, fx, fy)
  self:whenUnlocked(function()
    if not actor.body then return end
    local cx, cy = actor.body:worldCenter()
    actor.body:applyForce(fx, fy, cx, cy)
  end)
end

-- Steps the world (collision callbacks run inside), then copies body positions to actors and
-- carries out the destructions that the callbacks asked for.
function Physics:step(dt)
  self.stepping = true
  local ok, message = pcall(self.world.step, self.world, math.min(dt, kMaxStep),
    kVelocityIterations, kPositionIterations)
  self.stepping = false
  if not ok then Engine.report("physics step: " .. tostring(message)) end
  for _, actor in pairs(self.actors) do
    local x, y = actor.body:position()
    if actor.wrapArea then x, y = self:wrapBody(actor, x, y) end
    actor:showAt(x, y)
    local degrees = math.deg(actor.body:angle()) % 360
    if degrees ~= actor.angleValue then actor:showAngle(degrees) end
  end
  local deferred = self.deferred
  if #deferred == 0 then return end  -- no new list, so a quiet step makes no garbage
  self.deferred = {}
  for _, change in ipairs(deferred) do
    local done, message = pcall(change)
    if not done then Engine.report("physics: " .. tostring(message)) end
  end
end

-- Brings a body that left its wrap area back in at the other side; returns where it is.
function Physics:wrapBody(actor, x, y)
  local wrappedX, wrappedY = actor.wrapArea:wrapPosition(x, y)
  if wrappedX ~= x or wrappedY ~= y then
    actor.body:setPositionAndAngle(wrappedX, wrappedY, actor.body:angle())
  end
  return wrappedX, wrappedY
end

-- Whether destroying now must wait: Box2D must not lose a body during its step.
function Physics:mustDefer(actor)
  if self.stepping then
    self.deferred[#self.deferred + 1] = function() self.scene:destroyActor(actor) end
    return true
  end
  return false
end

-- A static body without shapes: what joints to the world and mouse joints hold their actor to.
function Physics:groundBody()
  if not self.ground then
    local definition = physics.BodyDefinition.new()
    definition:setType(0)
    self.ground = self.world:createBody(definition)
  end
  return self.ground
end

-- Destroying the body also destroys its joints (their handles then say so) and ends its
-- touches without callbacks: the actor is gone.
function Physics:removeBody(actor)
  self.actors[actor.bodyID] = nil
  for other in pairs(self.touching[actor] or {}) do
    if self.touching[other] then self.touching[other][actor] = nil end
  end
  self.touching[actor] = nil
  self.world:destroyBody(actor.body)
  actor.body, actor.fixtures = nil, nil
end

function Physics:actorForFixture(fixture)
  local id = fixture:body():actorID()
  return self.actors[id]
end

-- Counts the touching shapes of two actors; returns the count after the change.
function Physics:countTouch(a, b, change)
  local ofA = self.touching[a] or {}
  local ofB = self.touching[b] or {}
  self.touching[a], self.touching[b] = ofA, ofB
  local count = (ofA[b] or 0) + change
  if count <= 0 then count = nil end
  ofA[b], ofB[a] = count, count
  return count or 0
end

-- The contact as the actor sees it: the normal points from the actor towards the other one.
-- Sensors touch without points: then only `points` (empty) and impulse 0 are there.
local function contactFor(sign, nx, ny, impulse, ...)
  local contact = {impulse = impulse, points = {}}
  local count, sumX, sumY = select("#", ...) / 2, 0, 0
  for index = 1, count do
    local x, y = select(2 * index - 1, ...)
    contact.points[index] = {x = x, y = y}
    sumX, sumY = sumX + x, sumY + y
  end
  if count > 0 then
    contact.x, contact.y = sumX / count, sumY / count
    contact.normalX, contact.normalY = sign * nx + 0, sign * ny + 0  -- + 0: no negative zero
  end
  return contact
end

-- Two actors begin touching when their first shapes meet (onCollision, with the contact of
-- those shapes) and stop when their last shapes part (onCollisionEnd).
function Physics:collision(callbackName, fixtureA, fixtureB, nx, ny, impulse, ...)
  local a, b = self:actorForFixture(fixtureA), self:actorForFixture(fixtureB)
  if not a or not b then return end
  if callbackName == "onCollision" then
    if self:countTouch(a, b, 1) ~= 1 then return end
    self.scene:dispatchTo(a, callbackName, b, contactFor(1, nx, ny, impulse, ...))
    self.scene:dispatchTo(b, callbackName, a, contactFor(-1, nx, ny, impulse, ...))
  else
    if self:countTouch(a, b, -1) ~= 0 then return end
    self.scene:dispatchTo(a, callbackName, b)
    self.scene:dispatchTo(b, callbackName, a)
  end
end

function Physics:destroy()
  self.actors, self.touching = {}, {}
  self.world = nil
end

function fixtureCollisionBegan(fixtureA, fixtureB, ...)
  local scene = Engine.game.scene
  if scene and scene.physics then scene.physics:collision("onCollision", fixtureA, fixtureB, ...) end
end

function fixtureCollisionEnded(fixtureA, fixtureB)
  local scene = Engine.game.scene
  if scene and scene.physics then scene.physics:collision("onCollisionEnd", fixtureA, fixtureB) end
end
