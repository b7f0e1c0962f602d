-- A running scene: built from scenes/NAME.xml into a scene-graph scene with one space per
-- layer, holding its actors, their behaviours and its physics world.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local sg = scenegraph
local Format = Engine.Format
local Behaviours = Engine.Behaviours

local Scene = Engine.class()
Engine.Scene = Scene

local actorKinds = {sprite = true, text = true, particles = true, sound = true}
local kMaxSoundPlayers = 16

-- Builds the scene from its document. A failure while building deletes what was built and
-- raises; a document with faults is reported and built as far as it goes.
function Scene.new(game, project, name)
  local file = project.scenes[name]
  local self = setmetatable({game = game, project = project, name = name, file = file,
    actors = {}, byName = {}, knownNames = {}, templates = {}, instances = {}, soundActors = {}, emitters = {},
    soundPlayers = {}, soundLoaders = {}, layers = {}, time = 0}, Scene)
  self.graph = sg.scene.new(sharedSoundManager, sharedAssetManager)
  self.defaultSpace = self.graph:defaultSpace()
  self.camera = Engine.Camera.new(self)
  local ok, message = pcall(self.build, self)
  if not ok then
    self:destroy()
    error(message, 0)
  end
  return self
end

function Scene:build()
  local root = Format.load(self.project:fileInProject(self.file), self.file, "scene")
  local values = Format.attributes(root or {[0] = "scene"}, self.file, "scene")
  self:buildBackground(values.background)
  self.gravity = values.gravity
  if root then
    local joints = {}
    for _, child in ipairs(Format.children(root, self.file, "scene")) do
      if child.name == "joint" then
        joints[#joints + 1] = child.node
      elseif child.name == "camera" then
        self.camera:configure(child.node)
      elseif child.name == "playlist" then
        Engine.Audio.readPlaylist(self, self.project, self.file, child.node)
      else
        self:buildLayer(child.node)
      end
    end
    Engine.Joints.build(self, joints)
  end
  if values.behaviour then self:attachBehaviours(self, values.behaviour) end
  if values.music then self.game:playMusic(values.music, true, Format.where(self.file, root) .. ": ") end
end

function Scene:buildBackground(color)
  self.background = color
  local clear = self.defaultSpace:createNode(sg.clearNode)
  local colorNode = self.defaultSpace:createNode(sg.colorNode)
  colorNode.r:setValue(color[1], true)
  colorNode.g:setValue(color[2], true)
  colorNode.b:setValue(color[3], true)
  colorNode.a:setValue(color[4], true)
  clear.color:setValue(colorNode.output)
  local listener = self.defaultSpace:createNode(sg.soundListenerNode)
  if listener then
    listener.x:setValue(self.game.width / 2, true)
    listener.y:setValue(self.game.height / 2, true)
    listener.gain:connectToAttribute(self.game.volumeAttribute)
  end
end

function Scene:buildLayer(node)
  local values = Format.attributes(node, self.file, "layer")
  local space = self.graph:createSpace(sg.ortho2DSpace)
  space.near:setValue(-1, true)
  space["far"]:setValue(1, true)
  self.layers[#self.layers + 1] = space
  Engine.Audio.addLayer(self, space, values, node)
  -- The layer's actors learn their layer (buildActorElement), to take clicks in its units.
  self.buildingLayer = self.camera:addLayer(space, values)
  self:buildChildren(space, node, "layer", nil)
  self.buildingLayer = nil
end

-- Builds the actors and groups inside an element, drawn in document order.
function Scene:buildChildren(space, node, elementName, wrapArea)
  local built = {}
  for index, child in ipairs(Format.children(node, self.file, elementName)) do
    if actorKinds[child.name] then
      local actor = self:buildActorElement(space, child.name, child.node, index, wrapArea)
      if actor then built[#built + 1] = actor end
    else
      self:buildGroup(space, child.name, child.node, index)
    end
  end
  return built
end

function Scene:buildGroup(space, kind, node, index)
  local values = Format.attributes(node, self.file, kind)
  local group = space:createNode(kind == "replicator" and sg.replicatorSpace or sg.wrapSpace)
  group:setLayer(index)
  Engine.Audio.addGroup(self, group, space)
  if kind == "replicator" then
    group.copies:setValue(values.copies, true)
    group.spacing:setValue(values.spacing, true)
    group.angle:setValue(values.angle, true)
    self:buildChildren(group, node, kind, nil)
  else
    local area = {width = values.width or self.game.width, height = values.height or self.game.height,
      wrapX = values.wrapX, wrapY = values.wrapY}
    function area:wrapPosition(x, y)
      if self.wrapX then x = x % self.width end
      if self.wrapY then y = y % self.height end
      return x, y
    end
    group.wrapX:setValue(area.wrapX, true)
    group.wrapY:setValue(area.wrapY, true)
    group.wrapWidth:setValue(area.width, true)
    group.wrapHeight:setValue(area.height, true)
    local built = self:buildChildren(group, node, kind, area)
    if built[1] then built[1]:connectPosition(group) end
  end
  space:sortRenderNodes()
end

-- Reads an actor element; a template is kept for spawn, anything else is built at once.
function Scene:buildActorElement(space, kind, node, index, wrapArea)
  local values = Format.attributes(node, self.file, kind)
  values.z = values.z or index
  local extras = {properties = {}}
  for _, child in ipairs(Format.children(node, self.file, kind)) do
    if child.name == "body" then
      extras.body = Engine.Physics.readBody(child.node, self.file)
    elseif child.name == "property" then
      local property = Format.attributes(child.node, self.file, "property")
      if property.name then extras.properties[property.name] = property.value end
    end
  end
  if kind == "sprite" then extras.animations = Engine.Animation.read(self.project, self.file, node, values) end
  local template = {space = space, kind = kind, values = values, extras = extras, wrapArea = wrapArea,
    where = Format.where(self.file, node), layer = self.buildingLayer}
  if values.name then self.knownNames[values.name] = true end
  if values.template then
    if values.name then self.templates[values.name] = template end
    return nil
  end
  return self:buildActor(template)
end

local function copyValues(values)
  local copy = {}
  for key, value in pairs(values) do copy[key] = value end
  return copy
end

function Scene:buildActor(template, x, y)
  local values = copyValues(template.values)
  values.x, values.y = x or values.x, y or values.y
  local ok, actor = Engine.protect(string.format("%s: %s '%s'", template.where, template.kind,
    tostring(values.name)), Actor.new, self, template.space, template.kind, values, template.where)
  if not ok then return nil end
  actor.z = values.z
  if actor.renderNode then actor.renderNode:setLayer(values.z) end
  actor.properties = template.extras.properties
  Engine.Animation.attach(actor, template.extras.animations)
  actor.wrapArea = template.wrapArea
  actor.layer = template.layer
  if actor.wrapArea then actor:moveTo(actor:position()) end
  if template.extras.body then self:addBody(actor, template.extras.body) end
  self.actors[#self.actors + 1] = actor
  if values.name then
    local list = self.byName[values.name] or {}
    list[#list + 1] = actor
    self.byName[values.name] = list
  end
  if values.behaviour then self:attachBehaviours(actor, values.behaviour) end
  return actor
end

function Scene:addBody(actor, values)
  if not self.physics then self.physics = Engine.Physics.new(self, self.gravity) end
  self.physics:addBody(actor, values, string.format("%s: <body> of '%s'", actor.file, actor.name))
end

function Scene:attachBehaviours(owner, files)
  owner.behaviours = owner.behaviours or {}
  for _, file in ipairs(files) do
    local instance = Behaviours.attach(self.project, file, owner, self)
    if instance then
      owner.behaviours[#owner.behaviours + 1] = instance
      self.instances[#self.instances + 1] = instance
      if self.started then Behaviours.call(instance, "onStart") end
    end
  end
end

-- Sorts the drawing order and calls every onStart; the game has made this its running scene.
function Scene:start()
  for _, actor in ipairs(self.actors) do
    if actor.renderNode then actor.space:sortRenderNodes() end
  end
  self.camera:start()
  self.started = true
  local count = #self.instances
  for index = 1, count do Behaviours.call(self.instances[index], "onStart") end
end

function Scene:actorNamed(name)
  local list = self.byName[name]
  return list and list[1]
end

function Scene:actorsNamed(name)
  local list = {}
  for index, actor in ipairs(self.byName[name] or {}) do list[index] = actor end
  return list
end

function Scene:spawn(name, x, y)
  local template = self.templates[name]
  if not template then error(Behaviours.messages.noTemplate(name, self.file), 3) end
  local actor = self:buildActor(template, x, y)
  if actor then actor.space:sortRenderNodes() end
  return actor
end

function Scene:destroyActor(actor)
  if actor.destroyed then return end
  if self.physics and actor.body and self.physics:mustDefer(actor) then return end
  for _, instance in ipairs(actor.behaviours or {}) do instance.dead = true end
  self.instancesDirty = actor.behaviours ~= nil
  for index, held in ipairs(self.actors) do
    if held == actor then
      table.remove(self.actors, index)
      break
    end
  end
  local list = self.byName[actor.values.name]
  for index, held in ipairs(list or {}) do
    if held == actor then
      table.remove(list, index)
      break
    end
  end
  if actor.body then self.physics:removeBody(actor) end
  actor:release()
end

-- Drops the attachments of destroyed actors, keeping the order of the rest.
function Scene:compactInstances()
  if not self.instancesDirty then return end
  local kept = {}
  for _, instance in ipairs(self.instances) do
    if not instance.dead then kept[#kept + 1] = instance end
  end
  self.instances = kept
  self.instancesDirty = false
end

-- Calls a callback on every attachment that was there when the call began.
function Scene:dispatch(name, ...)
  local instances = self.instances
  local count = #instances
  for index = 1, count do
    local instance = instances[index]
    if not instance.dead then Behaviours.call(instance, name, ...) end
  end
  self:compactInstances()
end

function Scene:dispatchTo(owner, name, ...)
  for _, instance in ipairs(owner.behaviours or {}) do
    if not instance.dead then Behaviours.call(instance, name, ...) end
  end
end

-- A click reaches each actor in the units of its layer, and onMouseDown in world units.
function Scene:mouseDown(x, y)
  x, y = tonumber(x) or 0, tonumber(y) or 0
  local worldX, worldY = self.camera:locatePointer(x, y)
  for index = #self.actors, 1, -1 do
    local actor = self.actors[index]
    local layer = actor.layer
    local px, py = worldX, worldY
    if layer then px, py = layer.pointerX, layer.pointerY end
    if actor.behaviours and actor:contains(px, py) then self:dispatchTo(actor, "onClick", px, py) end
  end
  self:dispatch("onMouseDown", worldX, worldY)
end

-- Plays a file of sounds/ once; `where` names the behaviour's line that asked for it.
function Scene:playSound(name, volume, where)
  local loader = self.soundLoaders[name]
  if not loader then
    if not self.project:checkAsset("sound", where .. "playSound: ", name) then return end
    loader = self.defaultSpace:createNode(sg.soundLoaderNode)
    if not loader then return end
    loader.name:setValue(name, true)
    self.soundLoaders[name] = loader
  end
  local player
  for _, candidate in ipairs(self.soundPlayers) do
    if candidate.playing:value() ~= true then player = candidate break end
  end
  if not player then
    if #self.soundPlayers >= kMaxSoundPlayers then return end
    player = self.defaultSpace:createNode(sg.soundPlayerNode)
    self.soundPlayers[#self.soundPlayers + 1] = player
  end
  player.sound:setValue(loader.asset)
  player.volume:setValue(volume, true)
  player.trigger:setValue(true, true)
  local done, message = pcall(player.compute, player)
  player.trigger:setValue(false, true)
  if not done then
    Engine.report(string.format("%splaySound: sound '%s' cannot be played (%s)", where, name, tostring(message)))
  end
end

-- Runs every onUpdate; the loop is written out because it runs for every actor every frame.
function Scene:updateBehaviours(dt)
  local instances = self.instances
  local call = Behaviours.protectedCall()
  for index = 1, #instances do
    local instance = instances[index]
    local fn = rawget(instance.environment, "onUpdate")
    if fn and not instance.dead then
      local ok, message = call(fn, dt)
      if not ok then Behaviours.reportFailure(instance, "onUpdate", message) end
    end
  end
  self:compactInstances()
end

function Scene:update(dt)
  self.time = self.time + dt
  for emitter in pairs(self.emitters) do emitter.clock:setValue(emitter.clock:value() + dt) end
  self:updateBehaviours(dt)
  if self.running then Engine.Tweens.advance(self, dt) end
  if self.animated then Engine.Animation.advance(self, dt) end
  if self.physics then self.physics:step(dt) end
  for actor in pairs(self.soundActors) do actor:computeSound() end
end

function Scene:render()
  self.camera:update()
  self.graph:render()
end

function Scene:destroy()
  Engine.Tweens.stopAll(self)
  for _, actor in ipairs(self.actors) do actor:stop() end
  if self.physics then self.physics:destroy() end
  self.graph:delete()
  self.actors, self.byName, self.instances = {}, {}, {}
end
