-- The scenegraph script library: constants, metatable chains, port references, values,
-- connections, and script misuse ending in errors or the documented messages.
local check = require("check")
local sg = scenegraph

local function newScene()
  local scene = sg.scene.new(nil, nil)
  return scene, scene:defaultSpace()
end

check.test("constants and classes", function()
  check.truthy(sg.NUMBER == 2 and sg.ASSETNAME == 8 and sg.spriteNode == 2048 and sg.imageFlipNode == 131072, "numbers")
  check.truthy(type(sg.attributeNode.new) == "function" and type(sg.scene.new) == "function", "constructors")
end)

check.test("metatable chains give each kind its functions", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  local arithmetic = space:createNode(sg.arithmeticNode)
  local attribute = sg.attributeNode.new(sg.NUMBER)
  check.truthy(space.createNode and space.getLayer and space.compute, "space")
  check.truthy(sprite.getLayer and sprite.compute and not sprite.createNode, "render node")
  check.truthy(arithmetic.compute and not arithmetic.getLayer, "node")
  check.truthy(attribute.setValue and not attribute.compute, "attribute node")
  sprite:setLayer(7)
  check.equal(sprite:getLayer(), 7, "layer")
  check.equal(space:countRenderNodes(), 1, "render nodes")
  scene:delete()
end)

check.test("spaces: createNode, createSpace and defaultSpace", function()
  local scene, space = newScene()
  check.equal(space:createNode(sg.ortho2DSpace), nil, "createNode(ortho2DSpace)")
  check.equal(space:createNode(sg.assetLoaderNode), nil, "createNode(assetLoaderNode)")
  local ortho = scene:createSpace(sg.ortho2DSpace)
  check.truthy(ortho.createNode, "an ortho space is a space")
  ortho.width:setValue(480, true)
  check.equal(ortho.width:value(), 480, "ortho width")
  local again = scene:defaultSpace()
  check.truthy(again ~= space, "a new userdata each time")
  again:setLayer(3)
  check.equal(space:getLayer(), 3, "same space")
  scene:removeSpace(ortho)
  scene:delete()
  scene:delete()
end)

check.test("port references are new tables and name their port", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  check.truthy(sprite.x ~= sprite.x, "two reads are not equal")
  check.equal(getmetatable(sprite.x).value ~= nil, true, "port metatable")
  check.equal(sprite.color:value(), nil, "colour port value")
  check.equal(sprite.image:value(), nil, "image port value")
  sprite.blendingMode:setValue(2.9)
  check.equal(sprite.blendingMode:value(), 2, "integer port cuts toward zero")
  scene:delete()
end)

check.test("setValue with and without mark", function()
  local scene, space = newScene()
  local a = space:createNode(sg.arithmeticNode)
  a.input1:setValue(2, true)
  a.input2:setValue(3, true)
  check.equal(a.output:value(), 5, "first pull computes")
  a.input1:setValue(10)
  check.equal(a.output:value(), 5, "unmarked write keeps the result")
  a.input1:setValue(10, true)
  check.equal(a.output:value(), 13, "marked write recomputes")
  a.operation:setValue("*", true)
  check.equal(a.output:value(), 30, "operation text")
  a.operation:setValue(5)
  check.equal(a.operation:value(), "5", "number stored as text")
  a.operation:setValue(true)
  check.equal(a.operation:value(), "true", "boolean as text")
  a.operation:setValue(nil)
  check.equal(a.operation:value(), "", "nil as empty text")
  scene:delete()
end)

check.test("kept port references and attribute nodes update and draw without garbage", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  local x, width = sprite.x, sprite.width
  local attribute = sg.attributeNode.new(sg.NUMBER)
  sprite.y:connectToAttribute({getNode = function() return attribute end})
  collectgarbage("collect")
  collectgarbage("stop")
  scene:render()  -- the first frame after a collection may grow the interpreter's buffers back
  local before = collectgarbage("count")
  for i = 1, 100 do
    x:setValue(i, true)
    width:setValue(i)
    attribute:setValue(i, true)
    check.equal(x:value(), i, "x")
    scene:render()
  end
  local bytes = (collectgarbage("count") - before) * 1024
  collectgarbage("restart")
  check.equal(bytes, 0, "bytes allocated")
  scene:delete()
end)

check.test("connecting through port references and connectToAttribute", function()
  local scene, space = newScene()
  local a = space:createNode(sg.arithmeticNode)
  local b = space:createNode(sg.arithmeticNode)
  a.input1:setValue(4, true)
  b.input1:setValue(a.output)
  b.input2:setValue(1, true)
  check.equal(b.output:value(), 5, "b reads a")
  a.input2:setValue(6, true)
  check.equal(b.output:value(), 11, "change propagates")
  local attribute = sg.attributeNode.new(sg.NUMBER)
  local wrapper = {node = attribute, getNode = function(self) return self.node end}
  b.input2:connectToAttribute(wrapper)
  attribute:setValue(100, true)
  check.equal(b.output:value(), 110, "attribute connected")
  wrapper, attribute = nil, nil
  collectgarbage()
  collectgarbage()
  check.equal(b.output:value(), 110, "the connection keeps the attribute alive")
  space:removeNode(a)
  check.equal(b.output:value(), 110, "a removed node still delivers")
  scene:delete()
end)

check.test("attribute nodes by type", function()
  local flag = sg.attributeNode.new(sg.BOOLEAN)
  flag:setValue(0)
  check.equal(flag.value:value(), true, "0 is true")
  flag:setValue(false)
  check.equal(flag.value:value(), false, "false")
  local name = sg.attributeNode.new(sg.ASSETNAME)
  name:setValue(12)
  check.equal(name.x:value(), "12", "any port name gives the value port")
  local text = sg.attributeNode.new(sg.STRING)
  check.raises("no text", text.setValue, text, {})
  check.raises("no text", name.setValue, name, true)
end)

check.test("misuse raises errors naming the problem", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  check.raises("no port 'value'", sprite.value.value, sprite.value)
  check.raises("port reference expected", sprite.x.value)
  check.raises("port reference expected", sprite.x.value, {1, 2})
  check.raises("expects 2 arguments", space.createNode, space)
  check.raises("space expected", space.createNode, sprite, sg.spriteNode)
  check.raises("scene expected", sg.scene.render, 5)
  check.raises("render node expected", sprite.getLayer, 12)
  check.raises("number expected", sprite.setLayer, sprite, "high")
  check.raises("attribute node expected", sg.attributeNode.setValue, sprite, 1)
  check.raises("cycle", sprite.x.setValue, sprite.x, sprite.x)
  check.raises("getNode", sprite.x.connectToAttribute, sprite.x, {})
  scene:delete()
end)

check.test("stale handles raise instead of touching freed nodes, deleted or collected", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  local x = sprite.x
  local other = scene:createSpace(sg.space)
  space:removeNode(sprite)
  check.raises("removed", sprite.getLayer, sprite)
  check.raises("removed", x.value, x)
  scene:delete()
  check.raises("removed", space.createNode, space, sg.spriteNode)
  check.raises("removed", other.countRenderNodes, other)
  check.raises("deleted", scene.render, scene)
  local collected = sg.scene.new(nil, nil):defaultSpace()
  sprite = collected:createNode(sg.spriteNode)
  collectgarbage()
  collectgarbage()
  check.raises("removed", sprite.getLayer, sprite)
  check.raises("removed", collected.countRenderNodes, collected)
end)

check.test("getNode that removes the port's node raises instead of connecting it", function()
  local scene, space = newScene()
  local a = space:createNode(sg.arithmeticNode)
  local attribute = sg.attributeNode.new(sg.NUMBER)
  local wrapper = {getNode = function() scene:delete() return attribute end}
  check.raises("removed", a.input1.connectToAttribute, a.input1, wrapper)
end)

-- With pause 0 and step multiplier 0 every allocation of the interpreter runs a whole
-- collection, finalizers included: a scene nothing refers to any more goes at the first one.
local function eagerCollector(on)
  collectgarbage()
  collectgarbage("setpause", on and 0 or 200)
  collectgarbage("setstepmul", on and 0 or 200)
  collectgarbage()
end

check.test("a scene collected inside a binding function never leaves a dangling node", function()
  -- The scenes are only reachable from the dead frames of these helpers.
  local function spaceOfLostScene() return sg.scene.new(nil, nil):defaultSpace() end
  local function portOfLostScene()
    local scene = sg.scene.new(nil, nil)
    return scene:defaultSpace():createNode(sg.arithmeticNode).operation
  end
  local keep = sg.scene.new(nil, nil)
  -- Fetched beforehand: an __index call runs the collector when it returns.
  local createNode = getmetatable(keep:defaultSpace()).createNode
  local setValue = getmetatable(keep:defaultSpace().x).setValue
  local spriteClass = sg.spriteNode
  eagerCollector(true)
  local space = spaceOfLostScene()
  local ok, node = pcall(createNode, space, spriteClass)  -- allocating the userdata collects
  local port = portOfLostScene()
  local stored = pcall(setValue, port, 5)  -- turning 5 into text must not run the collector
  eagerCollector(false)
  check.truthy(ok, "createNode")
  check.truthy(stored, "setValue")
  check.raises("removed", node.getLayer, node)
  keep:delete()
end)

-- The limits themselves are pinned natively; here, that the binding turns them into errors.
check.test("deep nesting and long chains end in errors", function()
  local scene, space = newScene()
  for _ = 1, 1000 do space = space:createNode(sg.space) end
  check.raises("nested more than 1000", space.createNode, space, sg.wrapSpace)
  local last = space:createNode(sg.arithmeticNode)
  for _ = 1, 6000 do
    local a = space:createNode(sg.arithmeticNode)
    a.input1:setValue(last.output)
    last = a
  end
  check.raises("too long", last.output.value, last.output)
  scene:delete()
end)

check.test("unsupported types print their messages", function()
  local scene, space = newScene()
  local sprite = space:createNode(sg.spriteNode)
  sprite.color:setValue(1, true)
  local colour = sg.attributeNode.new(sg.COLOR)
  check.raises("no value port", colour.setValue, colour, 1)
  check.raises("no port", colour.value.value, colour.value)
  local traced = 0
  logtrace = function() traced = traced + 1 end
  space:removeNode(nil)
  check.equal(traced, 1, "logtrace called")
  logtrace = nil
  check.raises("nil", space.removeNode, space, nil)
  scene:delete()
end)

check.test("drawing through the binding leaves the scene intact", function()
  local scene, space = newScene()
  local clear = space:createNode(sg.clearNode)
  local sprite = space:createNode(sg.spriteNode)
  local particles = space:createNode(sg.particleSystemNode)
  for port, value in pairs({numParticles = 3, spawnParticles = true, lifetime = 1}) do particles[port]:setValue(value, true) end
  sprite.width:setValue(8, true)
  local initial = sg.scene.new(nil, nil)
  initial:createSpace(sg.space):createNode(sg.spriteNode)
  scene:createSpace(sg.space)
  for frame = 1, 3 do
    particles.time:setValue(frame * 0.1, true)
    scene:render()
    scene:renderWithInitialState(initial)
  end
  sprite:compute()
  space:sortRenderNodes()
  check.equal(space:countRenderNodes(), 3, "render nodes")
  initial:delete()
  scene:delete()
end)

check.finish()
