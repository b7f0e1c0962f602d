-- Misuse of the physics library: each case is a Lua error and the world stays usable.
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
  pw.fixture(body, {radius = 5})
  pw.steps(w, 2)
  local _, y = body:position()
  check.truthy(y > 0, "a new body falls")
end

check.test("destroying a body twice raises", function()
  local w, _, box = scene()
  w:destroyBody(box)
  check.raises("destroyed", w.destroyBody, w, box)
  stillWorks(w)
end)

check.test("a body of another world cannot be destroyed through this one", function()
  local w = pw.new(0, 0)
  local other = pw.new(0, 0)
  local body = pw.body(other, {})
  check.raises("another world", w.destroyBody, w, body)
  other:destroyBody(body)
end)

check.test("Body and Fixture objects of destroyed bodies and fixtures raise", function()
  local w, floor, box, fixture = scene()
  local sameBody = fixture:body()
  local spare = pw.fixture(floor, {radius = 3, fixtureID = 7})
  floor:destroyFixture(spare)
  check.raises("destroyed", spare.fixtureID, spare)
  check.raises("destroyed", floor.destroyFixture, floor, spare)
  w:destroyBody(box)
  for _, call in ipairs({
    function() return box:position() end,
    function() return sameBody:actorID() end,
    function() return box:createFixture(physics.FixtureDefinition.new()) end,
    function() return box:applyForce(1, 1, 0, 0) end,
    function() return fixture:fixtureID() end,
    function() return fixture:testPoint(0, 0) end,
    function() return fixture:body() end,
    function() return physics.FixtureDefinition.new(fixture) end,
  }) do
    check.raises("destroyed", call)
  end
  stillWorks(w)
end)

check.test("Body and Fixture objects raise once their world was collected", function()
  local body, fixture
  do
    local w = pw.new(0, 0)
    body = pw.body(w, {})
    fixture = pw.fixture(body, {box = {10, 10}})
  end
  collectgarbage()
  collectgarbage()
  check.raises("destroyed", body.position, body)
  check.raises("destroyed", fixture.fixtureID, fixture)
end)

check.test("finalisers called by hand free once and leave objects that raise", function()
  local w, _, box, fixture = scene()
  local gc = getmetatable(w).__gc
  gc(w)
  gc(w)
  check.raises("world was already destroyed", w.step, w, 1 / 60, 8, 3)
  check.raises("destroyed", box.position, box)
  check.raises("destroyed", fixture.fixtureID, fixture)
  local def = physics.BodyDefinition.new()
  getmetatable(def).__gc(def)
  getmetatable(def).__gc(def)
  check.raises("already freed", def.setActorID, def, 1)
  local shape = physics.PolygonShape.new()
  getmetatable(shape).__gc(shape)
  check.raises("already freed", shape.setAsBox, shape, 1, 1)
  check.raises("physics.WorldMT expected", gc, shape)
end)

check.test("a polygon holds at most 8 vertices", function()
  local shape = physics.PolygonShape.new()
  for i = 0, 7 do
    local angle = i * math.pi / 4
    shape:addVertex(50 * math.cos(angle), 50 * math.sin(angle))
  end
  check.raises("at most 8 vertices", shape.addVertex, shape, 0, 60)
  local w = pw.new(0, 0)
  local body = pw.body(w, {})
  pw.fixture(body, {shape = shape})
  check.near(body:mass(), 2 * math.sqrt(2), 1e-3, "regular octagon of radius 1 m")
end)

check.test("polygons that cannot be set up are refused when the fixture is made", function()
  local w = pw.new(0, 0)
  local body = pw.body(w, {})
  local cases = {
    {"at least 3 vertices", {}},
    {"at least 3 vertices", {{0, 0}, {10, 0}}},
    {"on one line", {{0, 0}, {10, 10}, {20, 20}, {-30, -30}}},
    {"duplicate vertices", {{0, 0}, {10, 0}, {10, 0}, {0, 10}}},
    {"duplicate vertices", {{0, 0}, {0.05, 0}, {20, 20}}},
    {"on one line", {{0, 0}, {100, 0}, {50, 0.0001}}},
  }
  for _, case in ipairs(cases) do
    local shape = physics.PolygonShape.new()
    for _, v in ipairs(case[2]) do shape:addVertex(v[1], v[2]) end
    local def = physics.FixtureDefinition.new()
    def:setShape(shape)
    def:setDensity(1)
    check.raises(case[1], body.createFixture, body, def)
  end
  check.equal(body:mass(), 1, "no fixture was added")
  local noShape = physics.FixtureDefinition.new()
  check.raises("no shape", body.createFixture, body, noShape)
  pw.fixture(body, {box = {10, 10}})
  check.near(body:mass(), 0.16, 1e-5, "a good fixture still works")
end)

check.test("a Box2D assertion while making a fixture is reported and leaves no fixture", function()
  local w = pw.new(0, 500)
  local body = pw.body(w, {})
  pw.fixture(body, {box = {10, 10}, density = 0})
  -- A triangle 20 km from its body's origin: the inertia about the centre of mass cancels
  -- to zero in 32-bit floats and Box2D's mass update asserts.
  local shape = physics.PolygonShape.new()
  shape:addVertex(1000000, 1000000)
  shape:addVertex(1000100, 1000000)
  shape:addVertex(1000000, 1000100)
  local def = physics.FixtureDefinition.new()
  def:setShape(shape)
  def:setDensity(1)
  check.equal(select("#", body:createFixture(def)), 0, "no result")
  check.equal(body:mass(), 1, "the mass of a body without density, not the triangle's")
  local cx, cy = body:worldCenter()
  check.near(cx, 0, 1e-6, "centre x")
  check.near(cy, 0, 1e-6, "centre y")
  pw.steps(w, 60)
  local x, y = body:position()
  check.near(x, 0, 1e-3, "falls straight down")
  check.near(y, 500 * (1 / 3600) * 60 * 61 / 2, 0.05, "free fall")
  w:destroyBody(body)
  stillWorks(w)
end)

check.test("setAsBox after added vertices replaces them with the box", function()
  local shape = physics.PolygonShape.new()
  shape:addVertex(0, 0)
  shape:addVertex(1, 1)
  shape:setAsBox(50, 50)
  local w = pw.new(0, 0)
  local body = pw.body(w, {})
  pw.fixture(body, {shape = shape})
  check.near(body:mass(), 4, 1e-4, "2 m x 2 m box")
end)

check.test("circles need a positive finite radius", function()
  check.raises("greater than 0", physics.CircleShape.new, 0)
  check.raises("greater than 0", physics.CircleShape.new, -5)
  check.raises("finite number expected", physics.CircleShape.new, 0 / 0)
  check.raises("finite number expected", physics.CircleShape.new, math.huge)
  check.raises("number expected", physics.CircleShape.new)
end)

check.test("NaN and infinite numbers are refused before they reach Box2D", function()
  local nan, inf = 0 / 0, math.huge
  local w, _, box = scene()
  local def = physics.BodyDefinition.new()
  local fixtureDef = physics.FixtureDefinition.new()
  local shape = physics.PolygonShape.new()
  local calls = {
    function() physics.World.new(nan, 0, true) end,
    function() w:setGravity(0, inf) end,
    function() w:step(nan, 8, 3) end,
    function() w:step(1 / 60, inf, 3) end,
    function() def:setPosition(nan, 0) end,
    function() def:setAngle(-inf) end,
    function() box:setPositionAndAngle(inf, 0, 0) end,
    function() box:setPositionAndAngle(0, 0, nan) end,
    function() box:setLinearVelocity(0, nan) end,
    function() box:setAngularVelocity(inf) end,
    function() box:setAngularDamping(nan) end,
    function() box:applyForce(inf, 0, 0, 0) end,
    function() box:applyForce(0, 0, nan, 0) end,
    function() fixtureDef:setDensity(nan) end,
    function() fixtureDef:setFriction(inf) end,
    function() fixtureDef:setRestitution(nan) end,
    function() shape:setAsBox(nan, 10) end,
    function() shape:addVertex(0, inf) end,
  }
  for i, call in ipairs(calls) do
    local ok, err = pcall(call)
    check.falsy(ok, "call " .. i)
    check.truthy(string.find(err, "finite number expected", 1, true), "call " .. i .. ": " .. tostring(err))
  end
  pw.steps(w, 60)
  local x, y = box:position()
  check.near(x, 0, 1, "box x unchanged")
  check.near(y, 255, 2, "box still resting")
end)

-- Box2D scales the impulses it carries between steps by the ratio of the two time steps; a
-- ratio that overflows turns them into NaN, and its solver then fails in a way that cannot be
-- recovered from (the process aborts).
check.test("positive time steps outside 1e-9 .. 1e9 seconds are refused", function()
  local w, _, box = scene()
  pw.steps(w, 60)
  check.raises("time step", w.step, w, 1e-45, 8, 3)
  check.raises("time step", w.step, w, 1e-10, 8, 3)
  check.raises("time step", w.step, w, 1e10, 8, 3)
  w:step(1e-9, 8, 3)
  w:step(1e9, 8, 3)
  w:step(0, 8, 3)
  w:step(-1, 8, 3)
  box:setPositionAndAngle(0, 254, 0)
  box:setLinearVelocity(0, 0)
  w:step(1e-9, 8, 3)
  pw.steps(w, 60)
  local _, y = box:position()
  check.near(y, 255, 2, "box resting again")
  stillWorks(w)
end)

check.test("negative density, friction and damping are refused", function()
  local w, _, box = scene()
  local fixtureDef = physics.FixtureDefinition.new()
  check.raises(">= 0", fixtureDef.setDensity, fixtureDef, -1)
  check.raises(">= 0", fixtureDef.setFriction, fixtureDef, -1)
  check.raises(">= 0", box.setAngularDamping, box, -0.5)
  stillWorks(w)
end)

check.test("wrong argument types raise clear errors", function()
  local w, _, box, fixture = scene()
  local def = physics.BodyDefinition.new()
  local fixtureDef = physics.FixtureDefinition.new()
  check.raises("physics.BodyDefMT expected", w.createBody, w, nil)
  check.raises("physics.BodyDefMT expected", w.createBody, w, fixtureDef)
  check.raises("physics.WorldMT expected", w.createBody, 5, def)
  check.raises("physics.BodyMT expected", w.destroyBody, w, fixture)
  check.raises("physics.BodyMT expected", box.position, fixture)
  check.raises("physics.FixtureDefMT expected", box.createFixture, box, def)
  check.raises("PolygonShape or CircleShape expected", fixtureDef.setShape, fixtureDef, def)
  check.raises("number expected", def.setType, def, "dynamic")
  check.raises("number expected", w.step, w, 1 / 60)
  check.raises("value expected", def.setFixedRotation, def)
  check.raises("32-bit range", def.setActorID, def, 1e12)
  check.raises("physics.FixtureMT expected", fixture.fixtureID, box)
  check.raises("another body", box.destroyFixture, box, pw.fixture(pw.body(w, {}), {radius = 3}))
  -- Non-userdata arguments make destroyFixture do nothing.
  box:destroyFixture(nil)
  box.destroyFixture(nil, fixture)
  check.equal(fixture:fixtureID(), 2, "fixture untouched")
  stillWorks(w)
end)

check.test("a body definition used twice gives each body its own record", function()
  local w = pw.new(0, 0)
  local def = physics.BodyDefinition.new()
  def:setType(2)
  def:setActorID(42)
  def:addCollisionCategory(1)
  local first = w:createBody(def)
  local second = w:createBody(def)
  first:removeCollisionCategory(1)
  check.equal(first:actorID(), 42, "first")
  check.equal(second:actorID(), 42, "second")
  w:destroyBody(first)
  w:destroyBody(second)
  def = nil
  collectgarbage()
end)

check.test("a fixture definition made from a fixture copies its ID and masks", function()
  local w = pw.new(0, 500)
  local floor = pw.body(w, {type = 0, y = 300, categories = {1}})
  local floorFixture = pw.fixture(floor, {box = {400, 20}, fixtureID = 4, masks = {1}})
  local def = physics.FixtureDefinition.new(floorFixture)
  floorFixture:removeCollisionMaskCategory(1)
  local shape = physics.PolygonShape.new()
  shape:setAsBox(25, 25)
  def:setShape(shape)
  def:setDensity(1)
  local box = pw.body(w, {categories = {1}})
  local copy = box:createFixture(def)
  check.equal(copy:fixtureID(), 4, "copied ID")
  pw.steps(w, 120)
  local _, y = box:position()
  check.near(y, 255, 2, "the copied mask 1 makes the box rest on the floor")
  local fresh = physics.FixtureDefinition.new(nil)
  fresh:setShape(shape)
  check.equal(pw.body(w, {}):createFixture(fresh):fixtureID(), 0, "nil gives a fresh record")
end)

check.finish()
