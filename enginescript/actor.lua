-- Actors: the sprites, text labels, particle emitters and sound emitters of a scene, built
-- from scene-graph nodes, with the methods that behaviours call on them.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local sg = scenegraph

Actor = Engine.class()
Engine.Actor = Actor

-- Creates a node of the class in the actor's space and remembers it, so that destroying the
-- actor removes it. Returns nil when this build of the player cannot make that class.
function Actor:createNode(class)
  local node = self.space:createNode(class)
  if node then self.nodes[#self.nodes + 1] = node end
  return node
end

local function setColor(node, color)
  node.r:setValue(color[1], true)
  node.g:setValue(color[2], true)
  node.b:setValue(color[3], true)
  node.a:setValue(color[4], true)
end

function Actor:colorNode(color)
  local node = self:createNode(sg.colorNode)
  setColor(node, color)
  return node
end

-- A loader node showing the named image, or nil (reported) when images cannot be loaded. An
-- image that cannot be shown is reported once; the actor shows a placeholder picture.
function Actor:imageSource(imageName)
  if not imageName then return nil end
  self.scene.project:checkAsset("image", self:where(), imageName)
  local loader = self:createNode(sg.imageLoaderNode)
  if not loader then
    Engine.report("this player cannot load images yet; image sprites are drawn as plain colour")
    return nil
  end
  loader.name:setValue(imageName, true)
  return loader
end

-- What reports about the actor start with: "scenes/play.xml:25: actor 'ball': ".
function Actor.whereNamed(file, name)
  return string.format("%s: actor '%s': ", file, name)
end

function Actor:where()
  return Actor.whereNamed(self.file, self.name)
end

function Actor.new(scene, space, kind, values, file)
  local self = setmetatable({scene = scene, space = space, kind = kind, values = values,
    file = file, name = values.name or kind, nodes = {}, properties = {}, visible = true}, Actor)
  -- The position lives in the actor (behaviours read self.x and self.y) and in two attribute
  -- nodes that every node showing the actor reads.
  self.x, self.y = values.x, values.y
  self.xNode = sg.attributeNode.new(sg.NUMBER)
  self.yNode = sg.attributeNode.new(sg.NUMBER)
  self.xNode:setValue(self.x, true)
  self.yNode:setValue(self.y, true)
  self.angleValue = values.angle
  self.width, self.height = values.width, values.height
  self.builders[kind](self, values)
  if not values.visible then self:hide() end
  return self
end

Actor.builders = {}

function Actor.builders.sprite(self, values)
  self.color = self:colorNode(values.color)
  local loader = self:imageSource(values.image)
  if loader then
    self.imageLoader = loader
    self.flip = self:createNode(sg.imageFlipNode)
    self.flip.input:setValue(loader.asset)
    self.flip.flipHorizontal:setValue(values.flipX, true)
    self.flip.flipVertical:setValue(values.flipY, true)
  end
  self:buildRenderNode()
end

function Actor.builders.text(self, values)
  self.color = self:colorNode(values.color)
  self.textNode = self:createNode(sg.stringToImageNode)
  if not self.textNode then
    Engine.report("this player cannot draw text yet; text actors are not shown")
    return
  end
  local node = self.textNode
  node.text:setValue(values.text, true)
  node.font:setValue(values.font, true)
  node.fontSize:setValue(values.size, true)
  node.alignment:setValue(values.align, true)
  if values.wrapWidth then
    node.wrap:setValue(true, true)
    node.wrapWidth:setValue(values.wrapWidth, true)
    node.wrapHeight:setValue(values.wrapHeight or values.size * 4, true)
  end
  Engine.Labels.style(self, node, values)
  self:buildRenderNode()
end

function Actor.builders.particles(self, values)
  self.color = self:colorNode(values.color)
  self.colorTarget = self:colorNode(values.colorTarget or values.color)
  self.imageLoader = self:imageSource(values.image)
  self.emitting = values.emitting
  self:buildRenderNode()
end

-- A sound actor whose file cannot be used stays silent: it never asks the asset manager for it.
function Actor.builders.sound(self, values)
  if not values.sound then
    Engine.report(self:where() .. "no sound attribute; add sound=\"FILE\" naming a file of sounds/")
    return
  end
  if not self.scene.project:checkAsset("sound", self:where(), values.sound) then return end
  local loader = self:createNode(sg.soundLoaderNode)
  local player = loader and self:createNode(sg.soundPlayerNode)
  if not player then
    Engine.report("this player cannot play sounds yet; sound actors are silent")
    return
  end
  loader.name:setValue(values.sound or "", true)
  player.sound:setValue(loader.asset)
  -- A sound without a position plays where the listener is: the same in both ears.
  if values.positional then
    self:connectPosition(player)
    player.sourceRelative:setValue(false, true)
  end
  player.volume:setValue(Engine.Audio.soundVolume(self), true)
  player.pitch:setValue(values.pitch, true)
  player.loop:setValue(values.loop, true)
  self.player = player
  self.scene.soundActors[self] = true
  if values.autoplay then self:play() end
end

local renderNodeBuilders = {}

function renderNodeBuilders.sprite(self, node)
  local values = self.values
  node.color:setValue(self.color.output)
  if self.flip then node.image:setValue(self.flip.output) end
  node.width:setValue(self.width, true)
  node.height:setValue(self.height, true)
  node.horizontalWrapping:setValue(values.hmode or values.mode, true)
  node.verticalWrapping:setValue(values.vmode or values.mode, true)
  node.horizontalAnchor:setValue(values.hanchor, true)
  node.verticalAnchor:setValue(values.vanchor, true)
  node.tileWidth:setValue(values.tileWidth, true)
  node.tileHeight:setValue(values.tileHeight, true)
end

-- How far a label's centre lies from x, in label widths, by its alignment: a left-aligned
-- label starts at x, a right-aligned one ends there. Wrapped labels stay centred on x, their
-- lines aligned inside the box.
local kAnchorShift = {[0] = 0.5, [1] = 0, [2] = -0.5}

function renderNodeBuilders.text(self, node)
  node.color:setValue(self.color.output)
  node.image:setValue(self.textNode.image)
  node.width:setValue(self.textNode.width)
  node.height:setValue(self.textNode.height)
  local shift = not self.values.wrapWidth and kAnchorShift[self.values.align] or 0
  if shift ~= 0 then
    local half = self:createNode(sg.arithmeticNode)
    half.operation:setValue("*", true)
    half.input1:setValue(self.textNode.width)
    half.input2:setValue(shift, true)
    local anchored = self:createNode(sg.arithmeticNode)
    anchored.input1:setValue(self.xNode.value)
    anchored.input2:setValue(half.output)
    node.x:setValue(anchored.output)
  end
  self.anchorShift = shift
end

function renderNodeBuilders.particles(self, node)
  local values = self.values
  node.numParticles:setValue(values.count, true)
  node.lifestart:setValue(values.lifestart, true)
  node.lifetime:setValue(values.lifetime, true)
  node.directionSpread:setValue(values.spread, true)
  node.speed:setValue(values.speed, true)
  node.speedSpread:setValue(values.speedSpread, true)
  node.size:setValue(values.size, true)
  node.sizeTarget:setValue(values.sizeTarget, true)
  node.sizeTransitionTime:setValue(values.sizeTime, true)
  node.colorTransitionTime:setValue(values.colorTime, true)
  node.gravityX:setValue(values.gravity[1], true)
  node.gravityY:setValue(values.gravity[2], true)
  node.angularVelocity:setValue(values.spin, true)
  node.color:setValue(self.color.output)
  node.colorTarget:setValue(self.colorTarget.output)
  node.spawnParticles:setValue(self.emitting, true)
  -- The emitter's own clock starts with it, so an emitter spawned or shown mid-scene starts
  -- with its first particles, not with every particle the scene's time would owe it.
  self.clock = Attribute.new(sg.NUMBER, 0)
  self.scene.emitters[self] = true
  node.time:connectToAttribute(self.clock)
  if self.imageLoader then node.image:setValue(self.imageLoader.asset) end
end

local renderClasses = {sprite = sg.spriteNode, text = sg.spriteNode,
  particles = sg.particleSystemNode}

-- Makes the node that draws the actor; hiding removes it, showing makes it again.
function Actor:buildRenderNode()
  local node = self:createNode(renderClasses[self.kind])
  self.renderNode = node
  self:connectPosition(node)
  -- Kept: every physics step may turn the actor, and indexing the node makes a new reference.
  self.anglePort = self.kind == "particles" and node.rotation or node.angle
  node.blendingMode:setValue(self.values.blend, true)
  renderNodeBuilders[self.kind](self, node)
  self:showAngle(self.angleValue)
  node:setLayer(self.z or 0)
  self.space:sortRenderNodes()
end

function Actor:removeNode(node)
  for index, held in ipairs(self.nodes) do
    if held == node then
      table.remove(self.nodes, index)
      break
    end
  end
  self.space:removeNode(node)
end

-- --- The behaviour API ---

function Actor:position()
  return self.x, self.y
end

-- Makes the node's x and y ports follow the actor.
function Actor:connectPosition(node)
  node.x:setValue(self.xNode.value)
  node.y:setValue(self.yNode.value)
end

-- Runs for every actor move, so it calls the attribute nodes' setValue without a lookup.
local setNodeValue = sg.attributeNode.setValue

-- Shows the actor at the position; physics calls it after every step.
function Actor:showAt(x, y)
  if x ~= self.x then
    self.x = x
    setNodeValue(self.xNode, x, true)
  end
  if y ~= self.y then
    self.y = y
    setNodeValue(self.yNode, y, true)
  end
end

local function place(self, x, y)
  local area = self.wrapArea
  if area then x, y = area:wrapPosition(x, y) end
  self:showAt(x, y)
  if self:hasBody() then self.scene.physics:moveBody(self, x, y) end
end

function Actor:moveTo(x, y)
  if type(x) ~= "number" or type(y) ~= "number" then
    x, y = tonumber(x), tonumber(y)
    if not x or not y then error("moveTo(x, y) needs two numbers", 2) end
  end
  place(self, x, y)
end

function Actor:move(dx, dy)
  if type(dx) ~= "number" or type(dy) ~= "number" then
    dx, dy = tonumber(dx), tonumber(dy)
    if not dx or not dy then error("move(dx, dy) needs two numbers", 2) end
  end
  place(self, self.x + dx, self.y + dy)
end

function Actor:angle()
  return self.angleValue
end

-- Shows the actor turned by the angle, kept within one turn (0 to 360). An emitter turns its
-- particles and the direction they fly in with it.
function Actor:showAngle(degrees)
  degrees = degrees % 360
  self.angleValue = degrees
  local node = self.renderNode
  if not node then return end
  self.anglePort:setValue(degrees, true)
  if self.kind == "particles" then node.direction:setValue(self.values.direction + degrees, true) end
end

function Actor:setAngle(degrees)
  self:showAngle(tonumber(degrees) or 0)
  if self:hasBody() then self.scene.physics:moveBody(self, self:position()) end
end

-- The size the actor is drawn at: a text actor's is its label's, which follows its text.
function Actor:size()
  if not self.textNode then return self.width, self.height end
  if self.renderNode then return self.renderNode.width:value(), self.renderNode.height:value() end
  self.textNode:compute()
  return self.textNode.width:value(), self.textNode.height:value()
end

-- The drawing node's size ports are kept (until the node is made again): tweens resize every frame.
function Actor:setSize(width, height)
  if self.kind ~= "sprite" then error("setSize works on sprites only", 2) end
  self.width, self.height = tonumber(width) or self.width, tonumber(height) or self.height
  local node = self.renderNode
  if node then
    if self.sizePortsOf ~= node then self.sizePortsOf, self.widthPort, self.heightPort = node, node.width, node.height end
    self.widthPort:setValue(self.width, true)
    self.heightPort:setValue(self.height, true)
  end
  if self:hasBody() then self.scene.physics:resizeBody(self) end
end

function Actor:isVisible()
  return self.visible
end

function Actor:hide()
  if not self.visible then return end
  self.visible = false
  if self.renderNode then
    self:removeNode(self.renderNode)
    self.renderNode = nil
  end
  if self.player then self:stop() end
end

function Actor:show()
  if self.visible or self.destroyed then return end
  self.visible = true
  if renderClasses[self.kind] and (self.kind ~= "text" or self.textNode) then
    self:buildRenderNode()
  end
end

-- The colour node's ports are kept: tweens change the colour every frame.
function Actor:setColor(r, g, b, a)
  local color = self.color
  if not color then error("this actor has no colour", 2) end
  local ports = self.colorPorts
  if not ports then
    ports = {color.r, color.g, color.b, color.a}
    self.colorPorts = ports
  end
  ports[1]:setValue(tonumber(r) or 1, true)
  ports[2]:setValue(tonumber(g) or 1, true)
  ports[3]:setValue(tonumber(b) or 1, true)
  ports[4]:setValue(tonumber(a) or 1, true)
end

-- The colour as four numbers from 0 to 1 (red, green, blue, alpha).
function Actor:getColor()
  if not self.color then error("this actor has no colour", 2) end
  local color = self.color
  return color.r:value(), color.g:value(), color.b:value(), color.a:value()
end

-- An image that cannot be shown is reported at the caller's line without stopping it; the
-- actor shows a placeholder picture.
function Actor:setImage(name)
  if not self.imageLoader then error("setImage works on actors made with an image", 2) end
  name = tostring(name)
  self.imageLoader.name:setValue(name, true)
  self.scene.project:checkAsset("image", Engine.where(2) .. "setImage: ", name)
end

function Actor:setText(text)
  if self.kind ~= "text" then error("setText works on text actors only", 2) end
  Engine.Labels.show(self, tostring(text), false)
end

function Actor:getText()
  if self.kind ~= "text" then error("getText works on text actors only", 2) end
  return self.values.text
end

function Actor:setEmitting(flag)
  if self.kind ~= "particles" then error("setEmitting works on particle actors only", 2) end
  self.emitting = flag and true or false
  if self.renderNode then self.renderNode.spawnParticles:setValue(self.emitting, true) end
end

-- Brings the sound player up to date. A sound file that cannot be read or decoded is
-- reported once and the actor goes silent, so that it costs no frame after this one.
function Actor:computeSound()
  local done, message = pcall(self.player.compute, self.player)
  if done then return end
  Engine.report(string.format("%s: actor '%s': sound '%s' cannot be played (%s); the actor stays silent",
    self.file, self.name, tostring(self.values.sound), tostring(message)))
  self.scene.soundActors[self] = nil
  self:removeNode(self.player)
  self.player = nil
end

-- Sets a trigger port of the sound player for one update.
local function pulse(self, port)
  self.player[port]:setValue(true, true)
  self:computeSound()
  if self.player then self.player[port]:setValue(false, true) end
end

-- Starts the sound of a sound actor (again from the start when it is playing).
function Actor:play()
  if self.kind ~= "sound" then error("play works on sound actors only", 2) end
  if self.player then pulse(self, "trigger") end
end

function Actor:stop()
  if self.player then pulse(self, "stop") end
end

function Actor:isPlaying()
  return self.player ~= nil and self.player.playing:value() == true
end

function Actor:property(name)
  local text = self.properties[name]
  return tonumber(text) or text
end

-- Whether the point lies inside the actor's rectangle (rotation ignored).
function Actor:contains(x, y)
  if not self.visible then return false end
  local width, height = self:size()
  if not width then return false end
  local ax, ay = self:position()
  ax = ax + width * (self.anchorShift or 0)
  return math.abs(x - ax) <= width / 2 and math.abs(y - ay) <= height / 2
end

-- Whether the actor has a body, or will have one once the physics step in progress ends.
function Actor:hasBody()
  return self.body ~= nil or self.bodyPending == true
end

function Actor:velocity()
  if not self.body then return 0, 0 end
  return self.body:linearVelocity()
end

function Actor:setVelocity(vx, vy)
  if not self:hasBody() then error("setVelocity works on actors with a <body>", 2) end
  self.scene.physics:setVelocity(self, tonumber(vx) or 0, tonumber(vy) or 0)
end

function Actor:applyForce(fx, fy)
  if not self:hasBody() then error("applyForce works on actors with a <body>", 2) end
  self.scene.physics:applyForce(self, tonumber(fx) or 0, tonumber(fy) or 0)
end

-- Removes the actor from its scene; inside a collision callback this happens after the step.
function Actor:destroy()
  if self.destroyed then return end
  self.scene:destroyActor(self)
end

-- Called by the scene once the actor may really go.
function Actor:release()
  self.destroyed = true
  self.scene.emitters[self] = nil
  self.visible = false
  if self.player then self:stop() end
  self.scene.soundActors[self] = nil
  for index = #self.nodes, 1, -1 do self.space:removeNode(self.nodes[index]) end
  self.nodes, self.renderNode, self.player = {}, nil, nil
end
