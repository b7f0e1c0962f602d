-- The project format: every element and attribute of a test project reaches the scene graph,
-- physics, tables and saves as documented, and the format's schema is fully exercised.
local check = require("check")
local harness = require("engine_harness")
local sg = scenegraph

local path = harness.projectPath("format.gameproj")
local scene = harness.start(path)

local function actor(name) return scene:actorNamed(name) end

check.test("game.xml: size, resolution, plugins, tables, start scene", function()
  check.equal(game.width, 320, "width")
  check.equal(game.attributes.displaySize.height._value, 240, "height")
  check.equal(game.resolution, 1, "resolution")
  check.equal(game.plugins.physics.enabled._value, true, "plugin")
  check.equal(scene.name, "all", "start scene")
  check.equal(#harness.problems(), 0, "reports: " .. harness.dumpProblems())
end)

check.test("sprites: position, angle, colour, blend, modes, anchors, tiles, z order", function()
  local plain = actor("plain").renderNode
  check.equal(plain.x:value(), 50, "x")
  check.equal(plain.angle:value(), 30, "angle")
  check.equal(plain.blendingMode:value(), 2, "add")
  check.equal(plain:getLayer(), 5, "z")
  check.equal(actor("plain").color.r:value() + actor("plain").color.g:value(), 1, "colour red")
  local picture = actor("picture").renderNode
  check.equal(picture.horizontalWrapping:value(), 1, "fixed")
  check.equal(picture.horizontalAnchor:value(), 2, "right")
  check.equal(picture.verticalAnchor:value(), 2, "top")
  check.equal(picture.tileWidth:value(), 8, "tileWidth")
  check.equal(picture.width:value(), 64, "width")
  local tiles = actor("tiles").renderNode
  check.equal(tiles.horizontalWrapping:value(), 2, "hmode tiled")
  check.equal(tiles.verticalWrapping:value(), 1, "vmode fixed")
  check.equal(tiles.blendingMode:value(), 4, "multiply")
  check.equal(tiles.width:value(), 32, "default width")
  if actor("picture").flip then
    check.equal(actor("picture").flip.flipHorizontal:value(), true, "flipX")
    check.equal(actor("picture").flip.flipVertical:value(), false, "flipY")
  end
end)

check.test("visible, template, spawn, properties and behaviours", function()
  check.equal(actor("hidden").renderNode, nil, "hidden actors draw nothing")
  actor("hidden"):show()
  check.truthy(actor("hidden").renderNode, "shown")
  check.equal(actor("stamp"), nil, "templates are not built")
  local stamp = Engine.Behaviours.api.spawn("stamp", 7, 8)
  check.equal(stamp:property("kind"), "stamp", "property")
  check.equal(select(2, stamp:position()), 8, "spawned at")
  check.equal(stamp.behaviours[1].environment.started, 1, "a spawned behaviour starts")
  local vandal = stamp.behaviours[2].environment
  check.equal(vandal.string.format("%d", 1), "vandalised", "a behaviour's writes stay in its view")
  local probe = stamp.behaviours[1].environment
  check.equal(probe.string.format("%d", 7), "7", "other behaviours keep the library")
  check.equal(type(probe.table.remove) .. type(probe.math.floor), "functionfunction", "and its functions")
  check.equal(string.format("%d", 7), "7", "so does the engine")
  check.equal(scene.behaviours[1].environment.started, 1, "the scene behaviour started once")
  harness.frames(2)
  check.equal(scene.behaviours[1].environment.updates, 3, "onUpdate every frame")
  check.equal(vandal.updatedLater, 2, "an onUpdate defined in onStart runs")
  stamp:destroy()
  check.equal(actor("stamp"), nil, "destroyed")
end)

check.test("layers, replicators and wrap spaces", function()
  local back = actor("plain").space
  check.equal(back.x:value(), -10, "layer x scrolls the layer")
  check.equal(back.y:value(), -20, "layer y")
  check.equal(back.width:value(), 320, "layer width is the display width")
  local row = actor("dot").space
  check.equal(row.copies:value(), 3, "copies")
  check.equal(row.spacing:value(), 20, "spacing")
  check.equal(row.angle:value(), 90, "angle")
  local wrapped = actor("wrapped")
  local x, y = wrapped:position()
  check.equal(x, 50, "x wraps into the area")
  check.equal(y, 70, "y wraps into the area")
  check.equal(wrapped.space.wrapWidth:value(), 100, "wrap width")
  check.equal(wrapped.space.x:value(), 50, "the wrap space follows its actor")
  wrapped:move(60, 0)
  check.equal(wrapped.space.x:value(), 10, "and keeps following it")
end)

check.test("the camera: <camera> and each layer's parallax", function()
  local camera = scene.camera
  check.equal(camera.target, actor("plain"), "follow")
  check.equal(camera.deadWidth + camera.deadHeight, 560, "deadzone")
  check.equal(camera.bounds[3] + camera.bounds[4], 560, "bounds")
  local back, front, view = actor("plain").space, actor("tag").space, camera.facade
  view:setBounds()
  view:setPosition(200, 150)
  view:setZoom(2)
  harness.frames(1)
  -- The back layer (parallax 1, scrolled by 10, 20) shows half the display around 190, 130.
  check.equal(back.x:value(), 110, "x")
  check.equal(back.y:value(), 70, "y")
  check.equal(back.width:value(), 160, "width")
  check.equal(front.x:value() + front.y:value(), 0, "parallax 0 stays")
  check.equal(front.width:value(), 320, "and is not zoomed")
  view:setZoom(1)
  view:setPosition(160, 120)
  harness.frames(1)
  check.equal(back.x:value(), -10, "back where it was")
end)

check.test("text, particles and sound actors", function()
  local label = actor("label")
  if label.textNode then
    check.equal(label.textNode.text:value(), "Hello", "text")
    check.equal(label.textNode.font:value(), "Courier New", "font")
    check.equal(label.textNode.alignment:value(), 2, "align right")
    check.equal(label.textNode.wrap:value(), true, "wrapping")
    check.equal(label.textNode.wrapHeight:value(), 40, "wrapHeight")
    check.equal(label.textNode.markup:value(), true, "markup")
    check.equal(label.textNode.outlineWidth:value(), 1, "outlineWidth")
    check.equal(label.textNode.shadowDy:value(), -3, "shadowOffset")
  end
  local tag = actor("tag")
  if tag.textNode then
    local width, height = tag:size()
    check.truthy(width > 10 and height > 5, "a text actor has its drawn size")
    check.near(tag.renderNode.x:value(), 10 + width / 2, 0.5, "align left starts the label at x")
    check.truthy(tag:contains(12, 200) and not tag:contains(8, 200), "clicks find the label where it is drawn")
    tag:setText("A longer tag")
    check.truthy(tag:size() > width, "the size follows the text")
    check.equal(tag:getText(), "A longer tag", "getText")
    tag:setMarkup("[b]bold[/b]")
    check.equal(tag.textNode.markup:value(), true, "setMarkup reads markup")
    tag:setText("[b]as typed")
    check.equal(tag.textNode.markup:value(), false, "setText shows the text as typed")
    check.equal(tag:getText(), "[b]as typed", "getText after setMarkup")
  end
  local sparks = actor("sparks").renderNode
  check.equal(sparks.numParticles:value(), 30, "count")
  check.equal(sparks.direction:value(), 45, "direction")
  check.equal(sparks.gravityY:value(), -10, "gravity")
  check.equal(sparks.spawnParticles:value(), false, "emitting")
  check.equal(sparks.angularVelocity:value(), 90, "spin")
  check.equal(sparks.directionSpread:value() .. " " .. sparks.speedSpread:value(), "360 20", "spreads")
  local emitter = actor("sparks")
  emitter:setAngle(400)
  check.equal(emitter:angle(), 40, "angles stay within one turn")
  check.equal(emitter.renderNode.direction:value(), 85, "the emission turns with the actor")
  emitter:hide()
  emitter:show()
  harness.frames(2)
  check.near(emitter.clock:value(), 2 / 60, 1e-4, "a shown emitter's clock starts at 0")
  -- Drawing particles takes no numbers from math.random: the game's sequence stays the same.
  math.randomseed(42)
  local first = math.random(1000000)
  math.randomseed(42)
  emitter:setEmitting(true)
  harness.frames(30)
  check.equal(math.random(1000000), first, "math.random is the game's own")
  local chime = actor("chime")
  if chime.player then
    check.equal(chime.player.pitch:value(), 1.5, "pitch")
    check.equal(chime.player.loop:value(), true, "loop")
  end
end)

check.test("bodies: static, dynamic, kinematic; box, circle, polygon", function()
  harness.frames(240)
  local _, floorY = actor("floor"):position()
  check.near(floorY, 10, 0.01, "static bodies stay")
  local _, crateY = actor("crate"):position()
  check.near(crateY, 28, 1, "the crate rests on the floor")
  check.equal(actor("crate"):angle(), 0, "fixed rotation")
  local _, wheelY = actor("wheel"):position()
  check.near(wheelY, 28, 1, "the wheel rests on the floor")
  local _, shardY = actor("shard"):position()
  check.near(shardY, 100, 0.01, "kinematic bodies ignore gravity")
  check.near(actor("crate").body:mass(), 2 * 0.32 * 0.32, 0.01, "density")
  -- A body follows setSize unless its <body> sets its own size.
  actor("crate"):setSize(32, 32)
  actor("wheel"):setSize(32, 32)
  check.near(actor("crate").body:mass(), 2 * 0.64 * 0.64, 0.01, "the box grows with the actor")
  check.near(actor("wheel").body:mass(), math.pi * 0.16 * 0.16, 0.01, "the circle keeps its radius")
  harness.frames(60)
  check.near(select(2, actor("crate"):position()), 36, 1, "the bigger crate rests on the floor")
  local orbiter = actor("orbiter")
  local _, bodyY = orbiter.body:position()
  check.truthy(orbiter.y >= 0 and orbiter.y < 100 and math.abs(bodyY - orbiter.y) < 1e-3,
    "a body in a wrap group falls round and round, body and actor together: " .. orbiter.y)
end)

check.test("bodies of several shapes and the joints of the scene document", function()
  local cart = actor("cart")
  -- Shapes take the body's density unless they set their own: 2 * 10 * 20 + 1 * pi * 5^2 + 1 * 50.
  local area = 2 * 200 + math.pi * 25 + 50
  check.near(cart.body:mass(), area * 0.02 * 0.02, 1e-4, "three shapes, two densities")
  check.equal(#cart.fixtures, 3, "one fixture per shape")
  cart:setSize(80, 20)
  harness.frames(1)
  check.near(cart.body:mass(), area * 0.02 * 0.02, 1e-4, "shapes keep their size when the actor's changes")
  local api = Engine.Behaviours.api
  local pin, tether, rail = api.joint("pin"), api.joint("tether"), api.joint("rail")
  check.equal(pin.kind .. " " .. tether.kind .. " " .. rail.kind, "revolute rope prismatic", "kinds")
  harness.frames(120)
  check.near(pin:angle(), -30, 1, "the motor turned the cart clockwise to the lower limit")
  check.truthy(tether:length() <= 60.5, "the rope holds the bob within 60: " .. tether:length())
  check.near(rail:speed(), 20, 0.5, "the slider's motor runs along the axis")
  check.near(select(2, actor("slider"):position()), 200, 0.01, "and only along it")
  check.raises("no joint named 'nope'", api.joint, "nope")
  -- A mouse joint made by a behaviour drags the bob to its target, within the rope's reach.
  local bob = actor("bob")
  local drag = api.makeJoint("mouse", "bob", nil, {x = bob.x, y = bob.y})
  drag:setTarget(300, 120)
  harness.frames(90)
  check.truthy(math.abs(bob.x - 300) < 3 and math.abs(bob.y - 120) < 3, "dragged: " .. bob.x .. " " .. bob.y)
  local x1, y1, x2, y2 = drag:anchors()
  check.truthy(math.abs(x1 - bob.x) < 0.5 and math.abs(x2 - 300) < 1e-3 and math.abs(y2 - 120) < 1e-3, "the body's point, then the target: " .. table.concat({x1, y1, x2, y2, bob.x, bob.y}, " "))
  check.near(drag:length(), math.sqrt((x1 - 300) ^ 2 + (y1 - 120) ^ 2), 0.01, "the distance left")
  drag:destroy()
  check.falsy(drag:isAlive(), "destroyed")
end)

check.test("tables and saves", function()
  local scores = Engine.Behaviours.api.readTable("scores")
  check.equal(scores:get("bob", "points"), 25, "integer cell by titles")
  check.equal(scores:get(1, 2), true, "boolean cell")
  check.equal(scores:rows(), 2, "rows")
  local api = Engine.Behaviours.api
  for _, case in ipairs({{"level", 3}, {"big", 1234567}, {"fraction", 0.1}, {"off", false}, {"on", true},
      {"agent", "007"}, {"word", "false"}, {"empty", ""}}) do
    api.saveValue(case[1], case[2])
    check.equal(api.loadValue(case[1]), case[2], "saved " .. case[1] .. " keeps its type and value")
  end
  api.saveValue("level", nil)
  check.equal(api.loadValue("level"), nil, "nil forgets a value")
  for key, text in pairs({old = "12", oldText = "Ada"}) do
    if database then database.storeValueForKey(text, key) else game.memorySaves[key] = text end
  end
  check.equal(api.loadValue("old"), 12, "a value saved without a type reads as before")
  check.equal(api.loadValue("oldText"), "Ada", "and a text as a text")
  check.raises("a table cannot be saved", api.saveValue, "t", {})
  check.raises("no table named 'nope'", api.readTable, "nope")
  check.raises("table 'scores' has no column 'pointz'", scores.get, scores, "bob", "pointz")
  check.raises("table 'scores' has no row '3'", scores.set, scores, 3, 1, 0)
  check.raises("no actor named 'nobody' in scenes/all.xml", api.actor, "nobody")
end)

check.test("animations: the sprite's named one starts, its grid cut from the last cell back", function()
  local walker = actor("walker")
  check.equal(select(1, walker:animation()), "steps", "started by the sprite's animation attribute")
  walker:playAnimation("sheet")
  check.equal(walker.animator.columnsPort:value() * walker.animator.rowsPort:value(), 2, "2 x 1 grid")
  walker:playAnimation("steps")
  check.equal(walker.animator.cellPort:value(), 3, "first frame: cell 4 of 2 x 2")
  check.equal(walker.animator.columnsPort:value() * walker.animator.rowsPort:value(), 4, "2 x 2 grid")
end)

check.test("every element and attribute of the format is in the test project", function()
  local seen = {}
  local function walk(node, parent)
    local name = (parent == "scenes" and node[0] == "scene") and "sceneref" or node[0]
    seen[name] = seen[name] or {}
    for key in pairs(node) do if type(key) == "string" then seen[name][key] = true end end
    for index = 1, #node do
      if type(node[index]) == "table" then walk(node[index], name) end
    end
  end
  for _, file in ipairs({"game.xml", "scenes/all.xml", "scenes/empty.xml"}) do
    walk(pgf.loadFile(path .. "/" .. file))
  end
  -- Actor kinds share the rules of their common attributes: a shared rule seen on one kind
  -- counts for all of them.
  local rulesSeen = {}
  for element, schema in pairs(Engine.Format.elements) do
    for attribute, rule in pairs(schema.attributes) do
      if seen[element] and seen[element][attribute] then rulesSeen[rule] = true end
    end
  end
  for element, schema in pairs(Engine.Format.elements) do
    check.truthy(seen[element], "element " .. element)
    for attribute, rule in pairs(schema.attributes) do
      check.truthy(rulesSeen[rule], element .. "@" .. attribute)
    end
  end
end)

check.test("a scene change replaces the scene and keeps running", function()
  Engine.Behaviours.api.changeScene("empty")
  harness.frames(2)
  check.equal(game.scene.name, "empty", "changed")
  check.equal(#harness.problems(), 0, "reports: " .. harness.dumpProblems())
end)

shutdownEngine()
check.finish()
