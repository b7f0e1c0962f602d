-- Object lifetimes under the garbage collector: any collection order frees each object once.
local check = require("check")
local pw = require("physics_world")

-- Builds a small world with every kind of object and returns them in a table.
local function build()
  local o = {world = pw.new(0, 500), bodyDef = physics.BodyDefinition.new(), polygon = physics.PolygonShape.new(),
             circle = physics.CircleShape.new(10), polygonDef = physics.FixtureDefinition.new(),
             circleDef = physics.FixtureDefinition.new()}
  o.bodyDef:setType(2)
  o.bodyDef:addCollisionCategory(1)
  for _, v in ipairs({{0, 0}, {20, 0}, {0, 20}}) do o.polygon:addVertex(v[1], v[2]) end
  for _, def in ipairs({o.polygonDef, o.circleDef}) do
    def:setShape(def == o.polygonDef and o.polygon or o.circle)
    def:setDensity(1)
    def:addCollisionMaskCategory(1)
    def:setFixtureID(2)
  end
  o.body, o.other = o.world:createBody(o.bodyDef), o.world:createBody(o.bodyDef)
  o.fixture, o.circleFixture = o.body:createFixture(o.polygonDef), o.other:createFixture(o.circleDef)
  o.world:step(1 / 60, 8, 3)
  return o
end

local names = {"world", "bodyDef", "polygon", "circle", "polygonDef", "circleDef", "body", "other",
               "fixture", "circleFixture"}

check.test("objects collected in any order, one at a time, in pairs or all at once", function()
  math.randomseed(7)
  for round = 1, 22 do
    local objects = build()
    local order = {}
    -- Round 1 collects forward, round 2 in reverse, the others in shuffled orders.
    for i in ipairs(names) do order[i] = names[round == 2 and #names + 1 - i or i] end
    for i = #order, 2, -1 do
      local j = round <= 2 and i or math.random(i)
      order[i], order[j] = order[j], order[i]
    end
    local batch = round <= 2 and 1 or round % 2 + 1
    for i, name in ipairs(order) do
      objects[name] = nil
      if i % batch == 0 then collectgarbage() end
    end
    collectgarbage()
  end
end)

check.test("a definition keeps its shape; objects outlive destroyed bodies and their collected world", function()
  local w = pw.new(0, 0)
  local def = physics.FixtureDefinition.new()
  do
    local shape = physics.PolygonShape.new()
    shape:setAsBox(50, 50)
    def:setShape(shape)
  end
  local bodies, fixtures = {}, {}
  for i = 1, 50 do
    bodies[i] = pw.body(w, {x = i * 30})
    fixtures[i] = pw.fixture(bodies[i], {radius = 10})
  end
  for i = 1, 50, 2 do w:destroyBody(bodies[i]) end
  collectgarbage()
  collectgarbage()
  def:setDensity(1)
  bodies[2]:createFixture(def)
  check.near(bodies[2]:mass(), 4 + math.pi * 0.04, 1e-4, "a fixture made from the retained shape")
  w = nil
  collectgarbage()
  for i = 1, 50 do
    check.raises("destroyed", fixtures[i].fixtureID, fixtures[i])
    check.raises("destroyed", bodies[i].position, bodies[i])
  end
end)

check.test("a fixture cannot be destroyed once the collector has condemned its world", function()
  local box, fixture
  local probe = setmetatable({}, {__mode = "v"})
  do
    local w = pw.new(0, 500)
    local floor = pw.body(w, {type = 0, y = 300, categories = {1}})
    pw.fixture(floor, {box = {400, 20}, masks = {1}})
    box = pw.body(w, {y = 254, categories = {1}})
    fixture = pw.fixture(box, {box = {25, 25}, masks = {1}})
    pw.steps(w, 30)
    probe.world = w
  end
  fixtureCollisionBegan = nil
  fixtureCollisionEnded = function() collectgarbage() end
  -- Step the collector until the world is condemned (gone from weak tables) but its
  -- finaliser has not run yet; the touching pair's ended callback would then run it.
  collectgarbage("stop")
  for _ = 1, 100000 do
    if probe.world == nil then break end
    collectgarbage("step", 0)
  end
  collectgarbage("restart")
  check.falsy(probe.world, "the world was condemned")
  check.raises("world was collected", box.destroyFixture, box, fixture)
  fixtureCollisionEnded = nil
  collectgarbage()
  check.raises("destroyed", box.position, box)
end)

-- Left for the interpreter's shutdown, which collects them in its own order.
leftForShutdown = build()
leftForShutdown.extraBody = leftForShutdown.body:createFixture(leftForShutdown.circleDef)

check.finish()
