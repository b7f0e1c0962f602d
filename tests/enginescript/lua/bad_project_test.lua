-- Bad projects: every fault is reported with its file (and line), once, and the game runs on.
local check = require("check")
local harness = require("engine_harness")

local scene = harness.start(harness.projectPath("bad.gameproj"))

local function expectReported(text, times)
  local count = harness.reported(text)
  if times then
    check.equal(count, times, "reports of " .. text .. " in:\n" .. harness.dumpProblems())
  else
    check.truthy(count > 0, "a report of " .. text .. " in:\n" .. harness.dumpProblems())
  end
end

local function visit(name, frames)
  harness.reports = {}
  Engine.Behaviours.api.changeScene(name)
  harness.frames(frames or 3)
  check.equal(game.scene.name, name, "the game runs the scene")
end

check.test("game.xml: start scene, tables, unknown elements and attributes", function()
  expectReported("game.xml: the start scene 'nowhere' is not listed", 1)
  expectReported("tables/gone.xml: table 'gone' cannot be opened", 1)
  expectReported("game.xml:15: unknown element <extras> in <game>; ignored", 1)
  expectReported("game.xml:3: unknown attribute 'colour' of <game>; ignored", 1)
  expectReported("game.xml:10: <scene> without a name; ignored", 1)
  check.equal(scene.name, "faulty", "the first listed scene starts instead")
end)

check.test("behaviours that fail are reported with file and line, once per message", function()
  harness.frames(120)
  expectReported("scripts/syntax.lua:3:", 1)
  expectReported("scripts/everyFrame.lua:4: attempt to index local 'missing'", 1)
  expectReported("scripts/atStart.lua:3: cannot start", 1)
  expectReported("scripts/atLoad.lua:2: cannot load", 1)
  expectReported("scripts/nofile.lua", 1)
  check.equal(scene:actorNamed("healthy").behaviours[1].environment.frames, 121,
    "other behaviours run every frame")
end)

check.test("API misuse names the behaviour's line; a callback in the wrong case is named", function()
  expectReported("scripts/misuse.lua:6: moveTo(x, y) needs two numbers", 1)
  expectReported("scripts/misuse.lua:7: changeScene: no scene named 'elsewhere' in game.xml", 1)
  expectReported("behaviour scripts/misuse.lua:10: unknown callback 'onclick'; did you mean 'onClick'?", 1)
  check.equal(harness.reported("engine/"), 0, "no report names the engine's own files")
end)

check.test("a malformed scene document", function()
  visit("broken")
  expectReported("scenes/broken.xml: not a well-formed XML document", 1)
end)

check.test("a scene file that does not exist", function()
  visit("absent")
  expectReported("scenes/absent.xml: cannot open the file", 1)
end)

check.test("a missing image and a missing sound", function()
  visit("assets")
  expectReported("scenes/assets.xml:4: actor 'ghost': image 'ghost.png' not found in images/", 1)
  expectReported("scenes/assets.xml:5: actor 'silence': sound 'silence.ogg' not found in sounds/", 1)
  expectReported("scenes/assets.xml:6: actor 'noise': sound 'noise.ogg' cannot be played", 1)
  expectReported("scenes/assets.xml:7: actor 'cracked': image 'cracked.png' cannot be shown: it is not a PNG", 1)
  game.scene:actorNamed("cracked"):setImage("missing.png")
  expectReported("bad_project_test.lua:66: setImage: image 'missing.png' not found in images/", 1)
  local before = game.scene.time
  harness.frames(3)
  check.near(game.scene.time - before, 3 / 60, 1e-4, "every frame runs")
  check.equal(#harness.reports, 5, "each asset is reported once: " .. harness.dumpProblems())
end)

check.test("unknown elements, attributes and values that do not convert", function()
  visit("unknowns")
  expectReported("scenes/unknowns.xml:4: unknown element <blob> in <layer>; ignored", 1)
  expectReported("scenes/unknowns.xml:5: unknown attribute 'sparkle' of <sprite>; ignored", 1)
  expectReported("scenes/unknowns.xml:5: <sprite x=\"left\">: expected a number", 1)
  expectReported("scenes/unknowns.xml:5: <sprite blend=\"glow\">: expected one of add, multiply, normal, opaque, screen", 1)
  expectReported("scenes/unknowns.xml:5: <sprite color=\"red\">: expected three or four numbers", 1)
  expectReported("scenes/unknowns.xml:2: <scene gravity=\"down\">: expected two numbers", 1)
  expectReported("scenes/unknowns.xml:5: <body> of 'odd': a polygon body needs", 1)
  expectReported("scenes/unknowns.xml:9: <body> of 'halfway': <shape> 2: a polygon body needs", 1)
  check.equal(game.scene:actorNamed("halfway").body, nil, "a shape that fails takes its whole body")
  check.truthy(game.scene:actorNamed("fine").renderNode, "the rest of the scene is built")
  check.truthy(game.scene:actorNamed("odd").renderNode, "a bad value falls back to its default")
end)

check.test("a scene change the player asks for to an unknown scene is reported and ignored", function()
  harness.reports = {}
  game:setNeedsToChangeScene("elsewhere", false)
  harness.frames(1)
  expectReported("changeScene: no scene named 'elsewhere' in game.xml", 1)
  check.equal(game.scene.name, "unknowns", "the scene stays")
end)

check.test("after 200 different reports the rest are counted, and the count is told at the end", function()
  initEngine()
  harness.reports = {}
  for index = 1, 205 do Engine.report("problem " .. index) end
  Engine.report("problem 1")
  check.equal(select(2, Engine.reportCounts()), 5, "the problems after the 200th are counted")
  expectReported("200 different problems so far; further ones are only counted", 1)
  check.equal(harness.reported("problem 201"), 0, "not printed")
  shutdownEngine()
  expectReported("5 more problem(s) were counted but not printed", 1)
end)

check.finish()
