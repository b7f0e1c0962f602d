-- The globals the player calls: start-up and shutdown, the game lifecycle, frames, input,
-- display and volume, and the `game`, `devices`, `Renderer` and `AssetManager` objects.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local sg = scenegraph

local Game = Engine.class()

-- Screen sizes by resolution number; 0 and unknown numbers mean the game's own display size.
local kResolutions = {[1] = {480, 320}, [2] = {960, 640}, [3] = {1024, 768}, [4] = {1280, 720},
  [5] = {1920, 1080}}

local function newGame()
  local self = setmetatable({}, Game)
  self.resolution = 0
  self.resolutionIndependence = 0
  self.plugins = {}
  self.width, self.height = 480, 320
  self.attributes = {displaySize = {width = Attribute.new(sg.NUMBER, 480),
    height = Attribute.new(sg.NUMBER, 320)}}
  self.volume = 1
  self.volumeAttribute = Attribute.new(sg.NUMBER, 1)
  self.orientation = 0
  self.keysDown = {}
  self.playing = true
  self.memorySaves = {}
  return self
end

function Game:projectDidLoad(project)
  self.project = project
  self.width, self.height = project.width, project.height
  self.attributes.displaySize.width:setValue(project.width)
  self.attributes.displaySize.height:setValue(project.height)
  self.resolution = project.resolution
  self.resolutionIndependence = project.resolutionIndependence
  self.orientation = project.width >= project.height and 0 or 1
  self.plugins = {}
  for name, enabled in pairs(project.plugins) do
    self.plugins[name] = {enabled = Attribute.new(sg.BOOLEAN, enabled)}
  end
  if project.music then
    self:playMusic(project.music.file, project.music.loop, project.music.where)
    if platformWrappers then platformWrappers.setMusicVolume(project.music.volume * self.volume) end
  end
  self:setNeedsToChangeScene(project.startScene, false)
end

-- Asks for a scene change at the start of the next frame (behaviours may ask mid-frame).
function Game:setNeedsToChangeScene(name, _)
  if not (self.project and self.project.scenes[name]) then
    Engine.report(string.format("changeScene: no scene named '%s' in game.xml", tostring(name)))
    return
  end
  self.nextScene = name
end

-- Replaces every scene shown (the running one, those pushed under it, a transition's) at
-- once; nil just ends them. Their pictures and sounds go; the next scene loads what it shows.
function Game:switchToScene(name)
  Engine.Stack.endScenes(Engine.Stack.takeAll(self))
  self.nextScene = nil
  if name == nil then return end
  self:startScene(name)
end

-- Builds the named scene and makes it the running one; false (reported) when it cannot be built.
function Game:startScene(name)
  local ok, scene = Engine.protect("scene '" .. name .. "'", Engine.Scene.new, self, self.project, name)
  if not ok then return false end
  self.scene = scene
  scene:start()
  if callbacks.callExternalFunction then callbacks.callExternalFunction("TrackSceneChange", name) end
  return true
end

-- Starts the game again as the player started it: game.xml read anew with its tables, every
-- behaviour compiled afresh, the start scene. Saved values stay; the player's window keeps
-- its size and the volume stays as it was set.
function Game:restart()
  local path, volume, memorySaves = self.project and self.project.path, self.volume, self.memorySaves
  self:switchToScene(nil)
  Engine.Audio.stopMusic()
  Engine.Behaviours.forget()
  game = newGame()
  Engine.game = game
  game.volume, game.memorySaves = volume, memorySaves
  game.volumeAttribute:setValue(volume)
  if not path then return end
  project = Project.new(Project)
  project:load(path)
end

-- Plays a file of sounds/ as music; `where` names the file and line that ask for it.
function Game:playMusic(file, loop, where)
  if not (platformWrappers and platformWrappers.playMusic) then return end
  if not self.project:checkAsset("music", where, file) then return end
  platformWrappers.playMusic(self.project:pathForSound(file), loop and 1 or 0)
end

-- Saved values go to the player's store as text (saveValue returns whether it was kept); without one (no save folder) they last for
-- the run. Each text starts with a mark and a letter for the value's type, so a value comes
-- back as it went in: numbers with all their digits ("%.9g" reads back any 32-bit float
-- exactly), "007" as a string, false as false. Texts without the mark were saved before types
-- were kept and read as they always were: a number when they read as one.
local kTypeMark = "\1"
local encoders = {
  number = function(value) return "n" .. string.format("%.9g", value) end,
  string = function(value) return "s" .. value end,
  boolean = function(value) return value and "b1" or "b0" end,
  ["nil"] = function() return "z" end,
}
local decoders = {
  n = tonumber,
  s = function(text) return text end,
  b = function(text) return text == "1" end,
  z = function() return nil end,
}

function Game:saveValue(key, value)
  local encode = encoders[type(value)]
  if not encode then
    error("saveValue: a " .. type(value) .. " cannot be saved; save a number, a string, true or false", 3)
  end
  local text = kTypeMark .. encode(value)
  if not database then
    self.memorySaves[key] = text
    return true
  end
  database.storeValueForKey(text, key)
  -- The store says itself why a save failed; the game learns that it did.
  return database.lastStoreSucceeded == nil or database.lastStoreSucceeded()
end

function Game:loadValue(key)
  local text
  if database then text = database.loadValueForKey(key) else text = self.memorySaves[key] end
  if type(text) ~= "string" then return text end
  local decode = string.sub(text, 1, 1) == kTypeMark and decoders[string.sub(text, 2, 2)]
  if decode then return decode(string.sub(text, 3)) end
  return tonumber(text) or text
end

function Game:frame(dt)
  Engine.Stack.frame(self, dt)
  if self.nextScene then self:switchToScene(self.nextScene) end
  if self.scene and self.playing then self.scene:update(dt) end
  Engine.Audio.update()
  if sharedSoundManager then soundManager.update(sharedSoundManager) end
  Engine.Stack.render(self)
end

-- Input reaches the running scene only, and none while a transition runs.
function Game:takesInput()
  return self.scene ~= nil and self.playing and not Engine.Stack.inTransition(self)
end

function Game:dispatch(name, ...)
  if self:takesInput() then self.scene:dispatch(name, ...) end
end

-- --- The globals of the player's contract ---

function initEngine()
  Engine.resetReports()
  Engine.Behaviours.forget()
  if assetManager and not sharedAssetManager then sharedAssetManager = assetManager.new() end
  if soundManager and not sharedSoundManager then sharedSoundManager = soundManager.new() end
  game = newGame()
  Engine.game = game
end

function shutdownEngine()
  if game then game:switchToScene(nil) end
  Engine.reportSuppressed()
  if sharedSoundManager then soundManager.delete(sharedSoundManager) end
  if sharedAssetManager then assetManager.delete(sharedAssetManager) end
  sharedSoundManager, sharedAssetManager = nil, nil
end

function play() game.playing = true end
function stop() game.playing = false end
-- The player pauses the game when its window loses the focus; behaviours hear of it first
-- (onPause), so that a game can stay paused until the player asks to go on.
function systemInitiatedPause()
  game:dispatch("onPause")
  game.playing = false
end
function behaviorInitiatedPause() game.playing = false end

function reset()
  if game.project and game.project.startScene then
    game:setNeedsToChangeScene(game.project.startScene, false)
  end
end

function update(dt)
  game:frame(tonumber(dt) or 0)
end

function render()
  Engine.Stack.render(game)
end

function keyDown(key)
  game.keysDown[key] = true
  game:dispatch("onKeyDown", key)
end

function keyUp(key)
  game.keysDown[key] = nil
  game:dispatch("onKeyUp", key)
end

function mouseDown(x, y)
  if game:takesInput() then game.scene:mouseDown(x, y) end
end

function mouseUp(x, y) game:dispatch("onMouseUp", Engine.Camera.pointer(game.scene, x, y)) end
function mouseMoved(x, y) game:dispatch("onMouseMoved", Engine.Camera.pointer(game.scene, x, y)) end

-- Touches act as the mouse: the first touch clicks, moves and releases.
function touchDown(x, y) mouseDown(x, y) end
function touchMoved(x, y) mouseMoved(x, y) end
function touchUp(x, y) mouseUp(x, y) end
function touchCancel() end
function accelerated() end

-- Events reach the scene even while the game is paused: the player pauses the game while its
-- text panel shows and sends the typed text before it lets the game go on.
function raiseExternalEvent(name, arguments)
  local scene = game.scene
  if not scene then return end
  scene:dispatch("onEvent", name, arguments)
  if name == "keyboardInputEntered" then scene:dispatch("onTextEntered", arguments[1] or "") end
end

function sizeAndOrientationForResolution(resolution)
  local size = kResolutions[resolution] or {game.width, game.height}
  return size[1], size[2], size[1] >= size[2] and 0 or 1
end

function deviceOrientationChanged(orientation)
  game.orientation = orientation
end

function getInterfaceOrientation()
  return game.orientation
end

function getVolume()
  return game.volume
end

function setVolume(volume)
  volume = math.max(0, math.min(1, tonumber(volume) or 1))
  game.volume = volume
  game.volumeAttribute:setValue(volume)
  if platformWrappers and platformWrappers.setMusicVolume then
    local music = game.project and game.project.music
    platformWrappers.setMusicVolume((music and music.volume or 1) * volume)
  end
end

devices = {screenWidth = 0, screenHeight = 0}

function devices:setScreenSize(width, height)
  self.screenWidth, self.screenHeight = width, height
end

Renderer = {}

function Renderer:removeCurrentView()
  game:switchToScene(nil)
end

AssetManager = {}

function AssetManager:freeGLAssets()
  if sharedAssetManager then assetManager.unloadAllImages(sharedAssetManager) end
end
