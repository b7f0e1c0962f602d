-- Collisions stepped from Lua: sensors, callbacks during destruction and coroutines. (The rules and the callback bookkeeping themselves are pinned natively.)
local check = require("check")
local pw = require("physics_world")

local events  -- one entry per callback: {kind, fixture A, fixture B}

local function listen()
  events = {}
  fixtureCollisionBegan = function(a, b) events[#events + 1] = {"began", a, b} end
  fixtureCollisionEnded = function(a, b) events[#events + 1] = {"ended", a, b} end
end

-- A box (actor 2) resting on a static floor (actor 1), both with reporting fixtures.
local function restingBox()
  local w = pw.new(0, 500)
  local floor = pw.body(w, {type = 0, y = 300, actorID = 1, categories = {1}})
  pw.fixture(floor, {box = {400, 20}})
  local box = pw.body(w, {actorID = 2})
  pw.fixture(box, {box = {25, 25}, masks = {1}})
  pw.steps(w, 120)
  check.near(select(2, box:position()), 255, 2, "the box rests on the floor")
  return w, floor, box
end

check.test("sensor fixtures report overlaps without stopping the body", function()
  listen()
  local w = pw.new(0, 500)
  local zone = pw.body(w, {type = 0, y = 300, actorID = 1, categories = {1}})
  pw.fixture(zone, {box = {400, 20}, sensor = true})
  local box = pw.body(w, {actorID = 2})
  pw.fixture(box, {box = {25, 25}, masks = {1}})
  pw.steps(w, 120)
  check.truthy(select(2, box:position()) > 400, "passed through the sensor")
  check.equal(#events, 2, "began and ended once each")
  check.truthy(events[1][1] == "began" and events[2][1] == "ended", "in that order")
end)

check.test("destroying a touching body reports the end while the dying body has actor ID -1", function()
  local w, _, box = restingBox()
  local seen
  fixtureCollisionEnded = function(a, b)
    local ids = {a:body():actorID(), b:body():actorID()}
    table.sort(ids)
    seen = {ids = ids, own = box:actorID(), y = select(2, box:position())}
    box:addCollisionCategory(5)
  end
  w:destroyBody(box)
  check.truthy(seen, "ended on destruction")
  check.truthy(seen.ids[1] == -1 and seen.ids[2] == 1, "the dying body's record is freed; the floor's not")
  check.equal(seen.own, -1, "the caller's own Body object sees the same")
  check.near(seen.y, 255, 2, "the dying body can still be read")
  check.raises("destroyed", box.actorID, box)
  seen = nil
  pw.steps(w, 10)
  check.falsy(seen, "no second end")
end)

check.test("destroying a touching fixture reports the end of its contacts", function()
  listen()
  local w, _, box = restingBox()
  local spare = pw.fixture(box, {radius = 1, fixtureID = 5})
  local boxFixture = events[1][1] == "began" and events[1][3]
  -- Drop every reference to the world during the callback: it must stay alive meanwhile.
  fixtureCollisionEnded = function()
    events[#events + 1] = {"ended"}
    w = nil
    collectgarbage()
  end
  box:destroyFixture(boxFixture)
  check.equal(#events, 2, "ended on destruction")
  check.raises("destroyed", boxFixture.fixtureID, boxFixture)
  check.equal(spare:fixtureID(), 5, "the other fixture lives on")
end)

check.test("callbacks run on the coroutine that steps, even for a world made in a finished one", function()
  local made = coroutine.wrap(function() return {restingBox()} end)()
  collectgarbage()
  local w, box = made[1], made[3]
  local threads = {}
  fixtureCollisionBegan = function() threads[#threads + 1] = coroutine.running() or "main" end
  fixtureCollisionEnded = function() coroutine.yield("not allowed here") end
  box:setPositionAndAngle(0, -500, 0)
  w:step(1 / 60, 8, 3)
  box:setPositionAndAngle(0, 0, 0)
  local stepper = coroutine.create(function() pw.steps(w, 120) return "done" end)
  local ok, result = coroutine.resume(stepper)
  check.truthy(ok and result == "done", "the step finished: " .. tostring(result))
  check.equal(#threads, 1, "one began")
  check.equal(threads[1], stepper, "ran on the stepping coroutine")
end)

check.finish()
