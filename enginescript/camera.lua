-- The scene camera: the world point seen at the centre of the screen, its zoom and rotation,
-- an actor it follows inside a dead zone and within bounds, and how each layer sees it
-- through its parallax factor; the `camera` object of behaviours.
local math, string = math, string  -- the engine's own, whatever games do
local Format = Engine.Format

local Camera = Engine.class()
Engine.Camera = Camera

-- The texts a project check and the running scene share, so that a problem is said once.
Camera.messages = {
  noTarget = function(where, name)
    return string.format("%s: <camera follow=\"%s\">: no actor named '%s' when the scene starts; name an actor " ..
      "of this scene (a template is followed by calling camera:follow on the spawned actor)", where, name, name)
  end,
  noActor = function(name, sceneFile)
    return string.format("camera:follow: no actor named '%s' in %s", name, sceneFile)
  end,
}

-- A camera at the centre of the display with zoom 1 and no rotation shows every layer as it
-- was without one: a layer's offset alone decides where its content is drawn.
function Camera.new(scene)
  local width, height = scene.game.width, scene.game.height
  local self = setmetatable({scene = scene, width = width, height = height, focusX = width / 2,
    focusY = height / 2, x = width / 2, y = height / 2, zoom = 1, rotation = 0, deadWidth = 0, deadHeight = 0,
    layers = {}}, Camera)
  self.world = {parallax = 1, offsetX = 0, offsetY = 0}
  self.facade = Camera.newFacade(self)
  return self
end

-- Reads the scene's <camera> element; a second one is reported and ignored.
function Camera:configure(node)
  local file = self.scene.file
  local where = Format.where(file, node)
  if self.configured then
    Engine.report(where .. ": a scene has one <camera>; this one is ignored")
    return
  end
  self.configured = true
  local values = Format.attributes(node, file, "camera")
  self.focusX, self.focusY = values.x or self.focusX, values.y or self.focusY
  self.zoom, self.rotation = values.zoom, values.rotation % 360
  if values.deadzone then self.deadWidth, self.deadHeight = values.deadzone[1], values.deadzone[2] end
  self.bounds = values.bounds
  self:place()
  self.followName, self.followWhere = values.follow, where
end

-- Registers the space of a layer; its ports are kept, since the camera writes them whenever it
-- moves. A layer with parallax 0 is fixed to the screen and set once here.
function Camera:addLayer(space, values)
  local layer = {parallax = values.parallax, offsetX = values.x, offsetY = values.y,
    ports = {x = space.x, y = space.y, width = space.width, height = space.height, rotation = space.modelRotation}}
  self.layers[#self.layers + 1] = layer
  local ports = layer.ports
  ports.x:setValue(-layer.offsetX, true)
  ports.y:setValue(-layer.offsetY, true)
  ports.width:setValue(self.width, true)
  ports.height:setValue(self.height, true)
  return layer
end

-- Finds the actor the document names, before any onStart can choose another.
function Camera:start()
  local name = self.followName
  if not name then return end
  local target = self.scene:actorNamed(name)
  if target then self.target = target else Engine.report(Camera.messages.noTarget(self.followWhere, name)) end
end

-- --- The view ---

-- How far a value lies outside -half..half (0 inside).
local function excess(value, half)
  if value > half then return value - half end
  if value < -half then return value + half end
  return 0
end

-- The centre keeps the view (width × height in world units) inside low..high; a view larger
-- than the bounds is centred on them.
local function clampAxis(value, low, high, view)
  if high - low <= view then return (low + high) / 2 end
  return math.max(low + view / 2, math.min(high - view / 2, value))
end

-- The camera is shown at its focus kept within the bounds. The focus itself is not clamped:
-- following works from it, so that a camera held at a bound does not creep along it.
function Camera:place()
  local bounds, x, y = self.bounds, self.focusX, self.focusY
  if bounds then
    x = clampAxis(x, bounds[1], bounds[3], self.width / self.zoom)
    y = clampAxis(y, bounds[2], bounds[4], self.height / self.zoom)
  end
  self.x, self.y = x, y
end

-- Moves the focus just enough that the target is back inside the dead zone, a rectangle of the
-- screen's units around its centre (turned and zoomed with the camera).
function Camera:followTarget()
  local target = self.target
  if not target then return end
  if target.destroyed then
    self.target = nil
    return
  end
  local radians = math.rad(self.rotation)
  local c, s, zoom = math.cos(radians), math.sin(radians), self.zoom
  local dx, dy = target.x - self.focusX, target.y - self.focusY
  local ex = excess(zoom * (c * dx + s * dy), self.deadWidth / 2)
  local ey = excess(zoom * (c * dy - s * dx), self.deadHeight / 2)
  if ex ~= 0 or ey ~= 0 then
    self.focusX = self.focusX + (c * ex - s * ey) / zoom
    self.focusY = self.focusY + (s * ex + c * ey) / zoom
  end
end

-- The centre, zoom and rotation a layer is drawn with: its parallax share of the camera's move
-- from the display's centre, less its offset. A layer with parallax 0 ignores zoom and rotation.
function Camera:viewOf(layer)
  local halfWidth, halfHeight, parallax = self.width / 2, self.height / 2, layer.parallax
  local cx = halfWidth + parallax * (self.x - halfWidth) - layer.offsetX
  local cy = halfHeight + parallax * (self.y - halfHeight) - layer.offsetY
  if parallax == 0 then return cx, cy, 1, 0 end
  return cx, cy, self.zoom, self.rotation
end

-- Once a frame, before drawing: follow, keep within the bounds, and write every moving
-- layer's projection when something changed since the last frame.
function Camera:update()
  self:followTarget()
  self:place()
  local applied = self.applied
  if applied and applied[1] == self.x and applied[2] == self.y and applied[3] == self.zoom and
      applied[4] == self.rotation then
    return
  end
  self.applied = {self.x, self.y, self.zoom, self.rotation}
  local viewWidth, viewHeight = self.width / self.zoom, self.height / self.zoom
  for _, layer in ipairs(self.layers) do
    if layer.parallax ~= 0 then
      local cx, cy = self:viewOf(layer)
      local ports = layer.ports
      ports.x:setValue(cx - viewWidth / 2, true)
      ports.y:setValue(cy - viewHeight / 2, true)
      ports.width:setValue(viewWidth, true)
      ports.height:setValue(viewHeight, true)
      -- The world turns the other way round the centre of the view.
      ports.rotation:setValue(-self.rotation, true)
    end
  end
end

-- A point of the screen (game units, origin at the lower left) in a layer's units.
function Camera:screenToLayer(layer, x, y)
  local cx, cy, zoom, rotation = self:viewOf(layer)
  local radians = math.rad(rotation)
  local c, s = math.cos(radians), math.sin(radians)
  local dx, dy = (x - self.width / 2) / zoom, (y - self.height / 2) / zoom
  return cx + c * dx - s * dy, cy + s * dx + c * dy
end

function Camera:layerToScreen(layer, x, y)
  local cx, cy, zoom, rotation = self:viewOf(layer)
  local radians = math.rad(rotation)
  local c, s = math.cos(radians), math.sin(radians)
  local dx, dy = x - cx, y - cy
  return self.width / 2 + zoom * (c * dx + s * dy), self.height / 2 + zoom * (c * dy - s * dx)
end

-- Works out a pointer position in every layer's units at once (each actor's click test then
-- reads its layer's), and returns it in world units.
function Camera:locatePointer(x, y)
  for _, layer in ipairs(self.layers) do
    layer.pointerX, layer.pointerY = self:screenToLayer(layer, x, y)
  end
  return self:screenToLayer(self.world, x, y)
end

-- The pointer of onMouseUp and onMouseMoved, in world units.
function Camera.pointer(scene, x, y)
  x, y = tonumber(x) or 0, tonumber(y) or 0
  if not scene then return x, y end
  return scene.camera:screenToLayer(scene.camera.world, x, y)
end

-- --- The `camera` object of behaviours ---

local function isNumber(value)
  return type(value) == "number" and value == value and value ~= math.huge and value ~= -math.huge
end

-- Raises at the behaviour's line (four calls up: this, the method, the facade, the behaviour).
-- `least` is 0 for numbers of 0 or more, "above 0" for numbers above 0.
local function needNumber(method, what, value, least)
  local wrong = not isNumber(value) or (least == 0 and value < 0) or (least == "above 0" and value <= 0)
  if wrong then
    local kind = least == 0 and " of 0 or more" or least and (" " .. least) or ""
    error(string.format("camera:%s: %s must be a number%s, got %s", method, what, kind, tostring(value)), 4)
  end
  return value
end

-- A layer without offset at the parallax factor (1 unless given): points in world units.
local function parallaxLayer(parallax)
  return {parallax = parallax or 1, offsetX = 0, offsetY = 0}
end

local methods = {}

-- Putting the camera somewhere stops it following: a behaviour that moves it takes over.
function methods.setPosition(camera, x, y)
  camera.focusX, camera.focusY = needNumber("setPosition", "x", x), needNumber("setPosition", "y", y)
  camera.target = nil
  camera:place()
end

function methods.getPosition(camera)
  return camera.x, camera.y
end

function methods.setZoom(camera, zoom)
  camera.zoom = needNumber("setZoom", "the zoom", zoom, "above 0")
  camera:place()
end

function methods.getZoom(camera)
  return camera.zoom
end

function methods.setRotation(camera, degrees)
  camera.rotation = needNumber("setRotation", "the rotation", degrees) % 360
end

function methods.getRotation(camera)
  return camera.rotation
end

-- An actor, the name of one (the first of that name), or nil to stop following.
function methods.follow(camera, target)
  if type(target) == "string" then
    local name = target
    target = camera.scene:actorNamed(name)
    if not target then
      error(Camera.messages.noActor(name, camera.scene.file), 3)
    end
  elseif target ~= nil and getmetatable(target) ~= Engine.Actor then
    error("camera:follow: give an actor, an actor's name or nil, got " .. type(target), 3)
  elseif target and target.destroyed then
    error(string.format("camera:follow: actor '%s' was destroyed", target.name), 3)
  end
  camera.target = target
end

function methods.setDeadzone(camera, width, height)
  camera.deadWidth, camera.deadHeight = needNumber("setDeadzone", "the width", width, 0),
    needNumber("setDeadzone", "the height", height, 0)
end

-- Four numbers (left, bottom, right, top), or nothing to lift the bounds.
function methods.setBounds(camera, left, bottom, right, top)
  if left == nil and bottom == nil and right == nil and top == nil then
    camera.bounds = nil
    return
  end
  local bounds = {needNumber("setBounds", "left", left), needNumber("setBounds", "bottom", bottom),
    needNumber("setBounds", "right", right), needNumber("setBounds", "top", top)}
  if right <= left or top <= bottom then
    error("camera:setBounds: give left, bottom, right, top with right above left and top above bottom", 3)
  end
  camera.bounds = bounds
  camera:place()
end

function methods.screenToWorld(camera, x, y, parallax)
  x, y = needNumber("screenToWorld", "x", x), needNumber("screenToWorld", "y", y)
  if parallax ~= nil then needNumber("screenToWorld", "the parallax", parallax, 0) end
  return camera:screenToLayer(parallaxLayer(parallax), x, y)
end

function methods.worldToScreen(camera, x, y, parallax)
  x, y = needNumber("worldToScreen", "x", x), needNumber("worldToScreen", "y", y)
  if parallax ~= nil then needNumber("worldToScreen", "the parallax", parallax, 0) end
  return camera:layerToScreen(parallaxLayer(parallax), x, y)
end

-- The object behaviours see as `camera`: the methods above, called with a colon. Every
-- behaviour of the scene shares it, so it cannot be written to: a behaviour cannot change the
-- camera except through the methods, nor take them from the others.
function Camera.newFacade(camera)
  local functions = {}
  local facade = setmetatable({}, {__index = functions, __metatable = false, __newindex = function(_, key)
    error(string.format("camera.%s cannot be set; call the camera's methods", tostring(key)), 2)
  end})
  for name, method in pairs(methods) do
    functions[name] = function(self, ...)
      if self ~= facade then error(string.format("call %s with a colon: camera:%s(...)", name, name), 2) end
      local a, b = method(camera, ...)
      return a, b
    end
  end
  return facade
end
