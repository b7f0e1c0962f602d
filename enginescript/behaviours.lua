-- Behaviours: Lua files of a project attached to actors and scenes. Each attachment runs the
-- file in an environment of its own that holds the behaviour API; every callback runs
-- protected, so a failing behaviour is reported (file and line, once per message) and the
-- game goes on.
local Behaviours = {}
Engine.Behaviours = Behaviours

Behaviours.callbacks = {"onStart", "onUpdate", "onKeyDown", "onKeyUp", "onMouseDown",
  "onMouseUp", "onMouseMoved", "onClick", "onCollision", "onCollisionEnd", "onEvent",
  "onTextEntered", "onPause"}

local chunks = {}

-- Compiles a file of the project; its messages name it as written in the project
-- ("scripts/hero.lua:12: ..."). Returns the function, or nil and a message.
local function compile(project, file)
  local handle = io.open(project:fileInProject(file), "rb")
  if not handle then return nil, file .. ": cannot open the file; check the name in the scene" end
  local text, problem = handle:read("*a")
  handle:close()
  if not text then return nil, file .. ": cannot read the file (" .. tostring(problem) .. ")" end
  return loadstring(text, "@" .. file)
end

-- The compiled file, or nil (reported) when it cannot be read or compiled. Chunks are kept
-- per engine run, so a file is compiled once however many actors use it.
function Behaviours.chunk(project, file)
  local key = project:fileInProject(file)
  local entry = chunks[key]
  if entry == nil then
    local fn, message = compile(project, file)
    if not fn then Engine.report("behaviour " .. message) end
    entry = fn or false
    chunks[key] = entry
  end
  return entry or nil
end

function Behaviours.forget()
  chunks = {}
end

-- The names every behaviour sees besides its own: safe standard libraries and the API.
local base = {
  assert = assert, error = error, ipairs = ipairs, next = next, pairs = pairs, pcall = pcall,
  print = print, select = select, tonumber = tonumber, tostring = tostring, type = type,
  unpack = unpack, math = math, string = string, table = table, os = {time = os.time,
    clock = os.clock, date = os.date},
}
Behaviours.api = setmetatable({}, {__index = base})
local api = Behaviours.api

local function game() return Engine.game end

local function needString(value, what, level)
  if type(value) ~= "string" and type(value) ~= "number" then
    error(what .. " must be a string, got " .. type(value), level + 1)
  end
  return tostring(value)
end

function api.actor(name)
  return game().scene and game().scene:actorNamed(needString(name, "the actor name", 2))
end

function api.actors(name)
  return game().scene and game().scene:actorsNamed(name) or {}
end

function api.spawn(name, x, y)
  local scene = game().scene
  if not scene then return nil end
  return scene:spawn(needString(name, "the template name", 2), tonumber(x), tonumber(y))
end

function api.changeScene(name)
  game():setNeedsToChangeScene(needString(name, "the scene name", 2), false)
end

function api.sceneName()
  return game().scene and game().scene.name
end

function api.playSound(name, volume)
  if game().scene then game().scene:playSound(needString(name, "the sound name", 2), tonumber(volume) or 1) end
end

function api.playMusic(name, loop)
  game():playMusic(needString(name, "the music name", 2), loop ~= false)
end

function api.stopMusic()
  if platformWrappers and platformWrappers.stopMusic then platformWrappers.stopMusic() end
end

-- A data table of game.xml, with cells read and written by row and column (numbers from 1,
-- or row and column titles).
local TableView = Engine.class()

function TableView:get(row, column)
  return self.data:getValue(row, column)
end

function TableView:set(row, column, value)
  self.data:setValue(row, column, value)
end

function TableView:rows()
  return self.data:getNumRows()
end

function TableView:columns()
  return self.data:getNumCols()
end

function api.readTable(name)
  local data = game().project and game().project.tables[needString(name, "the table name", 2)]
  if not data then error("no table named '" .. tostring(name) .. "' in game.xml", 2) end
  return setmetatable({data = data}, TableView)
end

function api.saveValue(key, value)
  game():saveValue(needString(key, "the key", 2), value)
end

function api.loadValue(key)
  return game():loadValue(needString(key, "the key", 2))
end

function api.askText(prompt, initial)
  callbacks.callExternalFunction("KeyboardInput", 0, tostring(prompt or ""), tostring(initial or ""), false)
end

-- An address without a scheme ("about.html") names a file of the project.
function api.openURL(url)
  url = needString(url, "the address", 2)
  if not string.find(url, "^%a[%w+.-]*:") then
    local path = game().project:fileInProject(url)
    if string.sub(path, 1, 1) ~= "/" then path = (os.getenv("PWD") or ".") .. "/" .. path end
    url = "file://" .. path
  end
  callbacks.callExternalFunction("openURL", 0, url, true)
end

function api.endGame()
  callbacks.gameDidEnd()
end

function api.log(...)
  local parts = {}
  for index = 1, select("#", ...) do parts[index] = tostring((select(index, ...))) end
  io.stdout:write(table.concat(parts, " "), "\n")
end

function api.time()
  return game().scene and game().scene.time or 0
end

function api.isKeyDown(key)
  return game().keysDown[key] == true
end

function api.displaySize()
  return game().width, game().height
end

-- An attachment: the file run once in a fresh environment whose `self` is the owner.
function Behaviours.attach(project, file, owner)
  local chunk = Behaviours.chunk(project, file)
  if not chunk then return nil end
  local environment = setmetatable({self = owner}, {__index = api})
  setfenv(chunk, environment)
  if not Engine.protect("behaviour", chunk) then return nil end
  local instance = {file = file, owner = owner, environment = environment}
  for _, name in ipairs(Behaviours.callbacks) do
    local fn = rawget(environment, name)
    if type(fn) == "function" then instance[name] = fn end
  end
  return instance
end

-- Calls one callback of an attachment, protected; returns false when it failed.
function Behaviours.call(instance, name, ...)
  local fn = instance[name]
  if not fn then return true end
  local ok, message = pcall(fn, ...)
  if not ok then Engine.report("behaviour " .. tostring(message)) end
  return ok
end
