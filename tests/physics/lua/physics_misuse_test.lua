-- Misuse of the physics library: each case is a Lua error (or a reported assertion) and the
-- world stays usable.
local check = require("check")
local pw = require("physics_world")

-- A resting box on a floor, both reporting contacts, with the callbacks cleared.
local function scene()
  fixtureCollisionBegan, fixtureCollisionEnded = nil, nil
  local w = pw.new(0, 500)
  local floor = pw.body(w, {type = 0, y = 300, actorID = 1, categories = {1}})
  pw.fixture(floor, {box = {400, 20}, masks = {1}})
  local box = pw.body(w, {actorID = 2, categories = {1}})
  local fixture = pw.fixture(box, {box = {25, 25}, masks = {1}})
  return w, floor, box, fixture
end

local function stillWorks(w)
  local body = pw.body(w, {x = 1000, y = 0})
  pw.steps(w, 2)
  check.truthy(select(2, body:position()) > 0, "a new body falls")
end

-- One case per checker (and per refusal made before Box2D is called), not one per function.
check.test("each checker refuses bad, destroyed and freed arguments with a clear error", function()
  local w, _, box, fixture = scene()
  local other = pw.new(0, 0)
  local def, fixtureDef = physics.BodyDefinition.new(), physics.FixtureDefinition.new()
  local dead = pw.body(w, {})
  local deadFixture = pw.fixture(dead, {radius = 3})
  local alias = deadFixture:body()  -- a second object for the same body
  local spare = pw.fixture(box, {radius = 3})
  box:destroyFixture(spare)
  w:destroyBody(dead)
  -- Finalisers called by hand free once and leave objects that raise.
  local gone, freedDef, freedShape = pw.new(0, 0), physics.BodyDefinition.new(), physics.PolygonShape.new()
  local goneBody = pw.body(gone, {})
  for _, object in ipairs({gone, gone, freedDef, freedDef, freedShape}) do getmetatable(object).__gc(object) end
  local cases = {
    {"world was already destroyed", gone.step, gone, 1 / 60, 8, 3},
    {"destroyed", goneBody.position, goneBody},
    {"already freed", freedDef.setActorID, freedDef, 1},
    {"already freed", freedShape.setAsBox, freedShape, 1, 1},
    {"physics.WorldMT expected", getmetatable(w).__gc, freedShape},
    {"finite number expected", w.setGravity, w, 0, math.huge},
    {"finite number expected", fixtureDef.setRestitution, fixtureDef, 0 / 0},
    {">= 0", fixtureDef.setFriction, fixtureDef, -1},
    {"32-bit range", def.setActorID, def, 1e12},
    {"value expected", def.setFixedRotation, def},
    {"number expected", def.setType, def, "dynamic"},
    {"physics.WorldMT expected", w.createBody, 5, def},
    {"physics.BodyDefMT expected", w.createBody, w, fixtureDef},
    {"physics.BodyMT expected", box.position, fixture},
    {"physics.FixtureDefMT expected", box.createFixture, box, def},
    {"physics.FixtureMT expected", fixture.fixtureID, box},
    {"PolygonShape or CircleShape expected", fixtureDef.setShape, fixtureDef, def},
    {"greater than 0", physics.CircleShape.new, 0},
    {"time step", w.step, w, 1e-10, 8, 3},
    {"time step", w.step, w, 1e10, 8, 3},
    {"destroyed", w.destroyBody, w, dead},
    {"destroyed", alias.position, alias},
    {"destroyed", deadFixture.body, deadFixture},
    {"destroyed", box.destroyFixture, box, spare},
    {"destroyed", physics.FixtureDefinition.new, deadFixture},
    {"another world", other.destroyBody, other, box},
    {"another body", box.destroyFixture, box, pw.fixture(pw.body(w, {}), {radius = 3})},
  }
  for _, case in ipairs(cases) do check.raises(unpack(case)) end
  -- Non-userdata arguments (a nil from a failed createFixture) make destroyFixture do nothing.
  box:destroyFixture(nil)
  box.destroyFixture(nil, fixture)
  check.equal(fixture:fixtureID(), 2, "fixture untouched")
  -- Box2D's impulses scale by the ratio of successive steps: the bounds keep it finite.
  for _, dt in ipairs({1e-9, 1e9, 0, -1, 1e-9}) do w:step(dt, 8, 3) end
  box:setPositionAndAngle(0, 254, 0)
  box:setLinearVelocity(0, 0)
  stillWorks(w)
  check.near(select(2, box:position()), 255, 2, "box resting")
end)

-- A constructor called with a colon gets the class table first; that and other extra leading
-- values shift nothing. Errors name the argument where the script wrote it.
check.test("arguments are counted back from the last one", function()
  local w = physics.World:new(0, 500, true)
  local def = physics.BodyDefinition:new()
  def:setType(2)
  def:setPosition(100, 50)
  local body = w:createBody(def)
  local fd = physics.FixtureDefinition:new()
  fd:setShape(physics.CircleShape:new(10))
  fd:setFixtureID(4)
  local copy = physics.FixtureDefinition:new(body:createFixture(fd))
  copy:setShape(physics.CircleShape:new(10))
  check.equal(body:createFixture(copy):fixtureID(), 4, "the copied record")
  check.near(body:mass(), 1, 1e-6, "no density: mass 1")
  physics.Body.setLinearVelocity("extra", body, 0, -250)
  w.step("extra", w, 0.1, 8, 3)
  local x, y = body:position()
  check.equal(x, 100, "x")
  check.near(y, 50 + (500 * 0.1 - 250) * 0.1, 0.01, "y")
  check.raises("#2 to '?' (number expected", physics.World.new, 0, "down")
  check.raises("#1 to 'new' (number expected", function() physics.CircleShape:new("wide") end)
  check.raises("#2 to 'setLinearVelocity' (number expected, got no value", function() body:setLinearVelocity(0) end)
  check.raises("#4 to 'applyForce' (number expected, got table", function() body:applyForce(1, 2, 3, {}) end)
  check.raises("#1 to 'createBody' (physics.WorldMT expected", function() w:createBody(def, def) end)
end)

-- Polygons our checks refuse, and one that makes Box2D's mass update assert (a triangle 20 km
-- from its body's origin: its inertia about the centre of mass cancels in 32-bit floats).
check.test("fixtures that cannot be made leave no fixture behind", function()
  local w = pw.new(0, 500)
  local body = pw.body(w, {})
  for _, case in ipairs({
    {"at least 3 vertices", {{0, 0}, {10, 0}}},
    {"on one line", {{0, 0}, {10, 10}, {20, 20}, {-30, -30}}},
    {"on one line", {{0, 0}, {100, 0}, {50, 0.0001}}},
    {"duplicate vertices", {{0, 0}, {0.05, 0}, {20, 20}}},
    {nil, {{1000000, 1000000}, {1000100, 1000000}, {1000000, 1000100}}},
  }) do
    local shape = physics.PolygonShape.new()
    for _, v in ipairs(case[2]) do shape:addVertex(v[1], v[2]) end
    if case[1] then
      check.raises(case[1], pw.fixture, body, {shape = shape})
    else
      check.equal(select("#", pw.fixture(body, {shape = shape})), 0, "the assertion gives no result")
    end
  end
  check.raises("no shape", body.createFixture, body, physics.FixtureDefinition.new())
  check.equal(body:mass(), 1, "the mass of a body without fixtures")
  check.truthy(select(1, body:worldCenter()) == 0 and select(2, body:worldCenter()) == 0, "centre at the origin")
  pw.steps(w, 60)
  local x, y = body:position()
  check.truthy(math.abs(x) < 1e-3 and math.abs(y - 500 * (1 / 3600) * 60 * 61 / 2) < 0.05, "free fall")
  pw.fixture(body, {box = {10, 10}})
  check.near(body:mass(), 0.16, 1e-5, "a good fixture still works")
  w:destroyBody(body)
  stillWorks(w)
end)

check.test("definitions: a body definition used twice, a fixture definition copied from a fixture", function()
  local w = pw.new(0, 500)
  local def = physics.BodyDefinition.new()
  def:setActorID(42)
  def:addCollisionCategory(1)
  local floor, second = w:createBody(def), w:createBody(def)
  second:removeCollisionCategory(1)
  check.truthy(floor:actorID() == 42 and second:actorID() == 42, "each body has its own record")
  w:destroyBody(second)
  local floorFixture = pw.fixture(floor, {box = {400, 20}, fixtureID = 4, masks = {1}})
  floor:setPositionAndAngle(0, 300, 0)
  local copy = physics.FixtureDefinition.new(floorFixture)
  floorFixture:removeCollisionMaskCategory(1)
  copy:setShape(physics.CircleShape.new(25))
  local box = pw.body(w, {categories = {1}})
  check.equal(box:createFixture(copy):fixtureID(), 4, "copied ID")
  pw.steps(w, 120)
  check.near(select(2, box:position()), 255, 2, "the copied mask 1 makes the box rest on the floor")
  local fresh = physics.FixtureDefinition.new(nil)
  fresh:setShape(physics.CircleShape.new(5))
  check.equal(box:createFixture(fresh):fixtureID(), 0, "nil gives a fresh record")
end)

check.finish()
