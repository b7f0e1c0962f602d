-- The engine script of the hostile-bundle test's game: it reads every file of its project the
-- way a game does (document, table, image, sound, music) and reports what it got.
io.stdout:setvbuf("line")

game = {attributes = {displaySize = {width = {_value = 64}, height = {_value = 48}}}}
devices = {}
function devices:setScreenSize() end

function initEngine()
  sharedAssetManager = assetManager.new()
  sharedSoundManager = soundManager.new()
end

Project = {}
function Project.new(class) return setmetatable({}, {__index = class}) end
function Project:pathForImage(name) return self.folder .. "/" .. name .. ".png" end
function Project:pathForSound(name) return self.folder .. "/" .. name .. ".wav" end

function Project:load(path)
  self.folder = path
  local document = pgf.loadFile(path .. "/project.xml")
  print("game: document", document and document[0])
  local levels = tableHelper.Tables.new()
  levels:loadFromFile(path .. "/levels.xml")
  print("game: table rows", levels:getNumRows())
  sharedAssetManager:loadImageForName("hero")
  sharedAssetManager:loadSoundForName("beep")
  print("game: assets", #sharedAssetManager:imageNames() + 1, #sharedAssetManager:soundNames() + 1)
end

-- The lifecycle calls the player makes around play.
function reset() end
function play() end
function stop() end
function render() end
-- The managers have no finaliser: a script deletes what it made.
function shutdownEngine()
  soundManager.delete(sharedSoundManager)
  assetManager.delete(sharedAssetManager)
end

frames = 0
function update()
  frames = frames + 1
end
