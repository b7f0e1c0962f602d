-- Helpers shared by the physics tests: worlds, bodies and fixtures in a few calls.
local world = {}

-- A world with the given gravity (screen units per second squared) that never sleeps.
function world.new(gx, gy)
  return physics.World.new(gx or 0, gy or 0, false)
end

-- Options: type (0 static, 1 kinematic, 2 dynamic), x, y, angle, actorID, categories.
function world.body(w, options)
  local def = physics.BodyDefinition.new()
  def:setType(options.type or 2)
  def:setPosition(options.x or 0, options.y or 0)
  if options.angle then def:setAngle(options.angle) end
  if options.actorID then def:setActorID(options.actorID) end
  for _, category in ipairs(options.categories or {}) do def:addCollisionCategory(category) end
  return w:createBody(def)
end

-- Options: shape (a shape object), or box = {width, height} or radius; density, fixtureID,
-- masks, sensor, friction.
function world.fixture(body, options)
  local shape = options.shape
  if options.box then
    shape = physics.PolygonShape.new()
    shape:setAsBox(options.box[1], options.box[2])
  elseif options.radius then
    shape = physics.CircleShape.new(options.radius)
  end
  local def = physics.FixtureDefinition.new()
  def:setShape(shape)
  def:setDensity(options.density or 1)
  if options.friction then def:setFriction(options.friction) end
  if options.sensor then def:setIsSensor(true) end
  def:setFixtureID(options.fixtureID or 2)
  for _, category in ipairs(options.masks or {}) do def:addCollisionMaskCategory(category) end
  return body:createFixture(def)
end

function world.steps(w, count, dt)
  for _ = 1, count do w:step(dt or 1 / 60, 8, 3) end
end

return world
