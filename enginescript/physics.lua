-- The physics of a scene: one world, a body per actor with a <body>, collision callbacks
-- handed to behaviours, and destruction deferred until the world has finished its step.
local Physics = Engine.class()
Engine.Physics = Physics

-- Every actor fixture carries this ID: fixtures collide only with equal IDs, and contacts are
-- reported only for bodies that have a fixture with ID 2.
local kFixtureID = 2
local kVelocityIterations, kPositionIterations = 8, 3
local kMaxStep = 1 / 20

function Physics.new(scene, gravity)
  local world = physics.World.new(gravity[1], gravity[2], true)
  if not world then error("the physics world could not be made") end
  return setmetatable({scene = scene, world = world, actors = {}, nextID = 1, stepping = false,
    pending = {}}, Physics)
end

local function makeShape(actor, values)
  local width, height = values.width or actor.width or 32, values.height or actor.height or 32
  if values.shape == "circle" then
    return physics.CircleShape.new(values.radius or math.min(width, height) / 2)
  end
  local shape = physics.PolygonShape.new()
  if values.shape == "polygon" then
    local points = values.points or {}
    if #points < 6 or #points % 2 ~= 0 or #points > 16 then
      error("a polygon body needs 3 to 8 points as \"x1 y1 x2 y2 ...\"")
    end
    for index = 1, #points, 2 do shape:addVertex(points[index], points[index + 1]) end
  else
    shape:setAsBox(width / 2, height / 2)
  end
  return shape
end

function Physics:addBody(actor, values)
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
  if not body then error("the body could not be made") end
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
  if not body:createFixture(fixtureDefinition) then
    self.world:destroyBody(body)
    error("the body's shape is not valid")
  end
  actor.body, actor.bodyID = body, id
  self.actors[id] = actor
end

function Physics:moveBody(actor, x, y)
  actor.body:setPositionAndAngle(x, y, math.rad(actor:angle()))
  actor.body:setAwake(true)
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
    actor:showAt(x, y)
    local degrees = math.deg(actor.body:angle())
    if degrees ~= actor.angleValue then
      actor.angleValue = degrees
      if actor.renderNode then actor.anglePort:setValue(degrees, true) end
    end
  end
  local pending = self.pending
  if #pending == 0 then return end  -- no new list, so a quiet step makes no garbage
  self.pending = {}
  for _, actor in ipairs(pending) do self.scene:destroyActor(actor) end
end

-- Whether destroying now must wait: Box2D must not lose a body during its step.
function Physics:mustDefer(actor)
  if self.stepping then
    self.pending[#self.pending + 1] = actor
    return true
  end
  return false
end

function Physics:removeBody(actor)
  self.actors[actor.bodyID] = nil
  self.world:destroyBody(actor.body)
  actor.body = nil
end

function Physics:actorForFixture(fixture)
  local id = fixture:body():actorID()
  return self.actors[id]
end

function Physics:collision(callbackName, fixtureA, fixtureB)
  local a, b = self:actorForFixture(fixtureA), self:actorForFixture(fixtureB)
  if not a or not b then return end
  self.scene:dispatchTo(a, callbackName, b)
  self.scene:dispatchTo(b, callbackName, a)
end

function Physics:destroy()
  self.actors = {}
  self.world = nil
end

function fixtureCollisionBegan(fixtureA, fixtureB)
  local scene = Engine.game.scene
  if scene and scene.physics then scene.physics:collision("onCollision", fixtureA, fixtureB) end
end

function fixtureCollisionEnded(fixtureA, fixtureB)
  local scene = Engine.game.scene
  if scene and scene.physics then scene.physics:collision("onCollisionEnd", fixtureA, fixtureB) end
end
