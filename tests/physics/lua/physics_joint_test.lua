-- Joints, ray casts, area queries and contact reports of the physics library, stepped from Lua.
local check = require("check")
local pw = require("physics_world")

-- A static anchor at (0, 0) and a dynamic 50 x 50 box (mass 1) at (x, y), in a world with
-- the gravity given (y grows downwards in these worlds).
local function anchorAndBox(gy, x, y)
  fixtureCollisionBegan, fixtureCollisionEnded = nil, nil
  local w = pw.new(0, gy)
  local anchor = pw.body(w, {type = 0})
  local box = pw.body(w, {x = x, y = y})
  pw.fixture(box, {box = {25, 25}})
  return w, anchor, box
end

local function distance(ax, ay, bx, by) return math.sqrt((bx - ax) ^ 2 + (by - ay) ^ 2) end

check.test("a revolute motor turns its body at the motor's speed", function()
  local w, anchor, box = anchorAndBox(0, 0, 0)
  local joint = w:createJoint("revolute", anchor, box, {motorSpeed = 2, maxMotor = 1e6})
  pw.steps(w, 60)
  check.equal(joint:kind(), "revolute", "kind")
  check.near(joint:speed(), 2, 1e-3, "radians per second")
  check.near(joint:position(), 2, 0.05, "turned for one second")
  check.near(box:angle(), joint:position(), 1e-4, "the body turned")
  joint:setMotor(true, -1, 1e6)
  pw.steps(w, 60)
  check.near(joint:position(), 1, 0.05, "turned back at the new speed")
end)

check.test("revolute and prismatic limits hold against gravity", function()
  -- A pendulum arm pivoting at its left end: gravity swings it down to the upper limit.
  local w, anchor, arm = anchorAndBox(500, 100, 0)
  local hinge = w:createJoint("revolute", anchor, arm, {anchorAX = 60, anchorAY = 0, lower = -0.3, upper = 0.4})
  local most = 0
  for _ = 1, 120 do
    w:step(1 / 60, 8, 3)
    most = math.max(most, hinge:position())
  end
  check.near(hinge:position(), 0.4, 0.02, "rests at the upper limit")
  check.truthy(most < 0.45, "never far past it")
  -- A slider on a vertical axis, falling onto its upper translation limit.
  local slider = pw.body(w, {x = 300, y = 0})
  pw.fixture(slider, {box = {10, 10}})
  local rail = w:createJoint("prismatic", anchor, slider, {anchorAX = 300, anchorAY = 0, axisX = 0, axisY = 1,
    lower = 0, upper = 80})
  pw.steps(w, 120)
  check.near(rail:position(), 80, 1, "translation stops at the limit")
  check.near(select(1, slider:position()), 300, 0.01, "no move across the axis")
  rail:setLimits(true, 0, 40)
  rail:setMotor(true, -100, 1e6)
  pw.steps(w, 60)
  check.near(rail:position(), 0, 1, "the motor drives it back to the lower limit")
end)

check.test("a rope keeps at most its length; a distance joint keeps exactly its length", function()
  local w, anchor, ball = anchorAndBox(500, 100, 0)
  local rope = w:createJoint("rope", anchor, ball, {anchorAX = 0, anchorAY = 0, anchorBX = 100, anchorBY = 0})
  local longest = 0
  for _ = 1, 180 do
    w:step(1 / 60, 8, 3)
    longest = math.max(longest, rope:position())
  end
  check.truthy(longest < 101, "never stretched past 100: " .. longest)
  check.near(rope:position(), 100, 1, "taut while it swings")
  -- Thrown towards the anchor the rope goes slack.
  local x, y = ball:position()
  local toAnchor = 2000 / distance(0, 0, x, y)
  ball:setLinearVelocity(-x * toAnchor, -y * toAnchor)
  w:step(1 / 60, 8, 3)
  check.truthy(rope:position() < 90, "slack")
  local rodBody = pw.body(w, {x = -100, y = 0})
  pw.fixture(rodBody, {box = {10, 10}})
  local rod = w:createJoint("distance", anchor, rodBody, {anchorBX = -100, anchorBY = 0, length = 60})
  rodBody:setLinearVelocity(0, -2000)
  pw.steps(w, 60)
  check.near(rod:position(), 60, 1, "the rod pulled it to 60 and holds it there")
  rod:setLimits(true, 0, 150)
  pw.steps(w, 120)
  check.near(rod:position(), 150, 1, "a rod with a range hangs at its longest")
end)

check.test("weld and mouse joints", function()
  local w, anchor, box = anchorAndBox(500, 0, 0)
  local other = pw.body(w, {x = 100, y = 0})
  pw.fixture(other, {box = {25, 25}})
  w:createJoint("weld", box, other, {anchorAX = 50, anchorAY = 0})
  local drag = w:createJoint("mouse", anchor, box, {targetX = 0, targetY = 0, maxForce = 1e6, frequency = 5,
    dampingRatio = 0.7})
  drag:setTarget(-200, -100)
  pw.steps(w, 180)
  local x, y = box:position()
  check.truthy(distance(x, y, -200, -100) < 15, "dragged near the target")
  check.near(drag:position(), distance(x, y, -200, -100), 0.5, "reads the distance left")
  local ox, oy = other:position()
  check.near(distance(x, y, ox, oy), 100, 3, "the welded body kept its distance")
end)

check.test("a joint is gone with either body and with its world, and destroying it twice is harmless", function()
  local w, anchor, box = anchorAndBox(0, 0, 0)
  local joint = w:createJoint("revolute", anchor, box, {})
  local second = w:createJoint("distance", anchor, box, {})
  check.truthy(joint:isAlive(), "alive")
  w:destroyBody(box)
  for _, gone in ipairs({joint, second}) do
    check.falsy(gone:isAlive(), "gone with the body")
    check.raises("joint was destroyed", gone.position, gone)
    check.equal(w:destroyJoint(gone), false, "nothing left to destroy")
  end
  local fresh = pw.body(w, {x = 10})
  local third = w:createJoint("weld", anchor, fresh, {})
  check.equal(w:destroyJoint(third), true, "destroyed")
  check.equal(w:destroyJoint(third), false, "once")
  local last = w:createJoint("weld", anchor, fresh, {})
  getmetatable(w).__gc(w)
  check.falsy(last:isAlive(), "gone with the world")
end)

check.test("misused joints are refused with a reason and the world goes on", function()
  local w, anchor, box = anchorAndBox(500, 0, 0)
  local other = pw.new(0, 0)
  local stranger = pw.body(other, {})
  local dead = pw.body(w, {})
  w:destroyBody(dead)
  local weld = w:createJoint("weld", anchor, box, {})
  local cases = {
    {"two different bodies", w.createJoint, w, "weld", box, box, {}},
    {"another world", w.createJoint, w, "weld", stranger, box, {}},
    {"different worlds", w.createJoint, w, "weld", box, stranger, {}},
    {"body was destroyed", w.createJoint, w, "weld", anchor, dead, {}},
    {"revolute, distance", w.createJoint, w, "spring", anchor, box, {}},
    {"'lower': finite number expected", w.createJoint, w, "revolute", anchor, box, {lower = 0 / 0, upper = 1}},
    {"'length': number expected", w.createJoint, w, "rope", anchor, box, {length = "long"}},
    {"both a lower and an upper", w.createJoint, w, "revolute", anchor, box, {lower = 0}},
    {"lies above", w.createJoint, w, "prismatic", anchor, box, {lower = 2, upper = 1}},
    {"no direction", w.createJoint, w, "prismatic", anchor, box, {axisX = 0, axisY = 0}},
    {"must not be negative", w.createJoint, w, "revolute", anchor, box, {motorSpeed = 1, maxMotor = -1}},
    {"at most 1000", w.createJoint, w, "mouse", anchor, box, {frequency = 1e30}},
    {"table expected", w.createJoint, w, "weld", anchor, box},
    {"only revolute and prismatic", weld.setMotor, weld, true, 1, 1},
    {"only mouse joints", weld.setTarget, weld, 1, 2},
    {"have limits", weld.setLimits, weld, true, 0, 1},
    {"finite number expected", weld.setTarget, weld, 0 / 0, 1},
    {"physics.JointMT expected", weld.position, box},
  }
  for _, case in ipairs(cases) do check.raises(unpack(case)) end
  -- Inside a step's callback the world is locked: the request is reported and gives nothing.
  -- A floor overlapping the (welded) box, so that their contact begins in the first step.
  local floor = pw.body(w, {type = 0, y = 30, actorID = 1, categories = {1}})
  pw.fixture(floor, {box = {400, 10}, masks = {1}})
  pw.fixture(box, {box = {25, 25}, masks = {1}})
  local results
  fixtureCollisionBegan = function() results = select("#", w:createJoint("weld", floor, box, {})) end
  pw.steps(w, 60)
  check.equal(results, 0, "no joint made during the step")
  check.truthy(weld:isAlive(), "the existing joint is untouched")
end)

check.test("a ray cast lists the fixtures it enters, nearest first, and skips sensors", function()
  local w = pw.new(0, 0)
  local bodies = {}
  for index, x in ipairs({300, 100, 200}) do
    bodies[index] = pw.body(w, {x = x, y = 0, type = 0, actorID = index})
    pw.fixture(bodies[index], {box = {10, 10}})
  end
  local zone = pw.body(w, {x = 50, type = 0, actorID = 9})
  pw.fixture(zone, {box = {10, 10}, sensor = true})
  local hits = w:rayCast(0, 0, 400, 0)
  check.equal(#hits, 3, "three solid boxes")
  local ids = {}
  for index, hit in ipairs(hits) do ids[index] = hit.fixture:body():actorID() end
  check.equal(table.concat(ids, " "), "2 3 1", "nearest first")
  check.near(hits[1].x, 90, 0.5, "entered at the near face")
  check.near(hits[1].y, 0, 1e-3, "on the ray")
  check.near(hits[1].normalX, -1, 1e-4, "the face looks back at the ray")
  check.near(hits[1].fraction, 90 / 400, 1e-3, "fraction of the way")
  check.equal(#w:rayCast(0, 50, 400, 50), 0, "a ray that passes by hits nothing")
  check.equal(#w:rayCast(5, 5, 5, 5), 0, "a ray of length 0 hits nothing")
  check.raises("finite number expected", w.rayCast, w, 0, 0, 1 / 0, 0)
end)

check.test("area queries find the fixtures that overlap a box or a circle, sensors too", function()
  local w = pw.new(0, 0)
  local function at(x, y, id, options)
    local body = pw.body(w, {x = x, y = y, type = 0, actorID = id})
    options.box = {10, 10}
    pw.fixture(body, options)
  end
  at(0, 0, 1, {})
  at(100, 0, 2, {sensor = true})
  at(100, 100, 3, {})
  local function ids(fixtures)
    local list = {}
    for index, fixture in ipairs(fixtures) do list[index] = fixture:body():actorID() end
    table.sort(list)
    return table.concat(list, " ")
  end
  check.equal(ids(w:queryBox(-5, -5, 95, 5)), "1 2", "reaches the sensor's edge")
  check.equal(ids(w:queryBox(95, 5, -5, -5)), "1 2", "corners in any order")
  check.equal(ids(w:queryBox(20, 20, 80, 80)), "", "the gap between them")
  check.equal(ids(w:queryCircle(100, 50, 45)), "2 3", "a circle between two")
  -- The circle's box around (0, 0) reaches the corner region of a box it does not touch.
  check.equal(ids(w:queryCircle(75, 75, 18)), "", "exact shapes, not bounding boxes")
  check.equal(ids(w:queryCircle(0, 0, 0)), "1", "a point inside a box")
  check.raises("number >= 0", w.queryCircle, w, 0, 0, -1)
end)

check.test("a beginning contact reports its points, normal and the impulse of the hit", function()
  local w = pw.new(0, 500)
  local floor = pw.body(w, {type = 0, y = 300, actorID = 1, categories = {1}})
  pw.fixture(floor, {box = {400, 20}})
  local box = pw.body(w, {actorID = 2})
  pw.fixture(box, {box = {25, 25}, masks = {1}})
  local report, speed
  fixtureCollisionBegan = function(a, b, nx, ny, impulse, ...)
    report = {a = a:body():actorID(), nx = nx, ny = ny, impulse = impulse, points = {...}}
    speed = select(2, box:linearVelocity())
  end
  pw.steps(w, 120)
  check.truthy(report, "began")
  -- The normal points from fixture A towards fixture B, whichever way round Box2D put them.
  local towardsBox = report.a == 1 and -1 or 1
  check.near(report.nx, 0, 1e-4, "normal x")
  check.near(report.ny, towardsBox, 1e-4, "normal y")
  check.near(report.impulse, speed, speed * 0.02, "mass 1 stopped from its speed")
  check.equal(#report.points, 4, "two points, as x y pairs")
  for index = 1, 4, 2 do
    check.truthy(math.abs(report.points[index]) <= 25.5, "x under the box")
    check.near(report.points[index + 1], 280, 1.5, "y on the floor's top")
  end
  -- A sensor's contact has no points and no impulse.
  local zone = pw.body(w, {type = 0, x = 1000, y = 300, actorID = 3, categories = {1}})
  pw.fixture(zone, {box = {50, 50}, sensor = true})
  local faller = pw.body(w, {x = 1000, actorID = 4})
  pw.fixture(faller, {box = {5, 5}, masks = {1}})
  report = nil
  pw.steps(w, 90)
  check.truthy(report and report.nx == 0 and report.ny == 0 and report.impulse == 0 and #report.points == 0,
    "sensor: nothing but the fixtures")
end)

check.finish()
