-- Behaviours: Lua files of a project attached to actors and scenes. Each attachment runs the
-- file in an environment of its own that holds the behaviour API; every callback runs
-- protected, so a failing behaviour is reported (file and line, once per message) and the
-- game goes on.
local math, string, table, debug = math, string, table, debug  -- the engine's own, whatever games do
local Behaviours = {}
Engine.Behaviours = Behaviours

-- The texts of the API's errors that a project check also finds in a behaviour's source
-- (check.lua), so that a problem found both ways reads the same and is reported once.
Behaviours.messages = {
  noScene = function(name, call)
    return string.format("%s: no scene named '%s' in game.xml", call or "changeScene", name)
  end,
  noTable = function(name)
    return string.format("no table named '%s' in game.xml; add it to <tables> or fix the name", name)
  end,
  unreadTable = function(name, file)
    return string.format("table '%s' could not be read from %s; mend that file (see its report)", name, file)
  end,
  noTemplate = function(name, sceneFile)
    return string.format("no template actor named '%s' in %s; add template=\"true\" to an actor of that name",
      name, sceneFile)
  end,
  -- A row or column the table does not have: numbers from 1 to count, or a title.
  noPosition = function(tableName, axis, position, count)
    return string.format("table '%s' has no %s '%s' (%ss 1 to %d, or a %s title)", tableName, axis,
      tostring(position), axis, count, axis)
  end,
  unknownCallback = function(name, meant)
    return string.format("unknown callback '%s'; did you mean '%s'?", name, meant)
  end,
}
local messages = Behaviours.messages

Behaviours.callbacks = {"onStart", "onUpdate", "onKeyDown", "onKeyUp", "onMouseDown",
  "onMouseUp", "onMouseMoved", "onClick", "onCollision", "onCollisionEnd", "onEvent",
  "onTextEntered", "onPause", "onMessage"}

local chunks = {}

-- Compiles a file of the project; its messages name it as written in the project
-- ("scripts/hero.lua:12: ..."). Returns the function, or nil and a message.
local function compile(project, file)
  local handle = io.open(project:fileInProject(file), "rb")
  if not handle then return nil, file .. ": cannot open the file; check the name in the scene" end
  local text, problem = handle:read("*a")
  handle:close()
  if not text then return nil, file .. ": cannot read the file (" .. tostring(problem) .. ")" end
  -- Compiled chunks could do what the sandbox forbids: only source text is run.
  if string.sub(text, 1, 4) == "\27Lua" then
    return nil, file .. ": compiled Lua (bytecode) is not run; give the source text of the file"
  end
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

-- The file compiled anew (the function, or nil and the message), kept nowhere: live reload
-- checks a changed behaviour before it lets attachments use it (Behaviours.replace).
Behaviours.compile = compile

-- Attachments made from now on run fn for the file.
function Behaviours.replace(project, file, fn)
  chunks[project:fileInProject(file)] = fn
end

-- The functions every behaviour sees besides its own and the API. The libraries are given to
-- each environment as views of their own (see Behaviours.newEnvironment).
local base = {
  assert = assert, error = error, ipairs = ipairs, next = next, pairs = pairs, pcall = pcall,
  print = print, select = select, tonumber = tonumber, tostring = tostring, type = type,
  unpack = unpack,
}
local libraries = {math = math, string = string, table = table,
  os = {time = os.time, clock = os.clock, date = os.date}}

-- What games may not do: reach files, programs or the process (io, os beyond the clock),
-- run text or bytecode as code (load and its kind), or reach the interpreter's and the
-- engine's own tables (debug, package, _G, the environments' metatables). Each such name
-- raises an error that says so, instead of the nil that would leave the author guessing.
local refusedNames = {}
for name in string.gmatch("io package debug module load loadstring loadfile dofile getfenv setfenv " ..
    "getmetatable setmetatable rawget rawset rawequal collectgarbage gcinfo newproxy _G", "%S+") do
  refusedNames[name] = true
end
local function refuse(name)
  error(string.format("'%s' is not available to games", name), 3)
end
setmetatable(base, {__index = function(_, name)
  if refusedNames[name] then refuse(name) end
end})
-- In os, only the clock is there: every other name is refused.
setmetatable(libraries.os, {__index = function(_, name) refuse("os." .. tostring(name)) end})

Behaviours.api = setmetatable({}, {__index = base})
local api = Behaviours.api

local function game() return Engine.game end

local function needString(value, what, level)
  if type(value) ~= "string" and type(value) ~= "number" then
    error(what .. " must be a string, got " .. type(value), level + 1)
  end
  return tostring(value)
end

-- nil once every actor of that name has gone; a name the scene never had is an error.
function api.actor(name)
  local scene = game().scene
  if not scene then return nil end
  name = needString(name, "the actor name", 2)
  if not scene.knownNames[name] then
    error(string.format("no actor named '%s' in %s", name, scene.file), 2)
  end
  return scene:actorNamed(name)
end

function api.actors(name)
  return game().scene and game().scene:actorsNamed(name) or {}
end

function api.spawn(name, x, y)
  local scene = game().scene
  if not scene then return nil end
  return scene:spawn(needString(name, "the template name", 2), tonumber(x), tonumber(y))
end

function api.sceneName()
  return game().scene and game().scene.name
end

function api.playSound(name, volume)
  if game().scene then
    game().scene:playSound(needString(name, "the sound name", 2), tonumber(volume) or 1, Engine.where(2))
  end
end

function api.playMusic(name, loop)
  game():playMusic(needString(name, "the music name", 2), loop ~= false, Engine.where(2) .. "playMusic: ")
end

-- Stops the music at once, or a playlist over the seconds given.
function api.stopMusic(seconds)
  if seconds ~= nil and (type(seconds) ~= "number" or not (seconds >= 0 and seconds < math.huge)) then
    error("stopMusic: the seconds must be a number of 0 or more, got " .. tostring(seconds), 2)
  end
  Engine.Audio.stopMusic(seconds)
end

-- A data table of game.xml, with cells read and written by row and column (numbers from 1,
-- or row and column titles).
local TableView = Engine.class()

-- Raises (blaming the behaviour's line) when the position names no row or column: a number
-- from 1 to count, or a title of the table.
local function checkPosition(view, axis, position, count)
  local number = tonumber(position)
  if number and number >= 1 and number <= count and number == math.floor(number) then return end
  if view.titles[axis][string.lower(tostring(position))] then return end
  error(messages.noPosition(view.name, axis, position, count), 3)
end

function TableView:get(row, column)
  checkPosition(self, "row", row, self.data:getNumRows())
  checkPosition(self, "column", column, self.data:getNumCols())
  return self.data:getValue(row, column)
end

function TableView:set(row, column, value)
  checkPosition(self, "row", row, self.data:getNumRows())
  checkPosition(self, "column", column, self.data:getNumCols())
  self.data:setValue(row, column, value)
end

function TableView:rows()
  return self.data:getNumRows()
end

function TableView:columns()
  return self.data:getNumCols()
end

function api.readTable(name)
  local project = game().project
  local data = project and project.tables[needString(name, "the table name", 2)]
  if not data then
    local file = project and project.tableFiles[tostring(name)]
    if file then error(messages.unreadTable(tostring(name), file), 2) end
    error(messages.noTable(tostring(name)), 2)
  end
  return setmetatable({data = data, name = name, titles = project.tableTitles[name]}, TableView)
end

function api.saveValue(key, value)
  return game():saveValue(needString(key, "the key", 2), value)
end

function api.loadValue(key)
  return game():loadValue(needString(key, "the key", 2))
end

-- The host's text panel takes the prompt, the initial text and whether to offer a number pad.
function api.askText(prompt, initial)
  callbacks.callExternalFunction("KeyboardInput", tostring(prompt or ""), tostring(initial or ""), false)
end

-- An address without a scheme ("about.html") names a file of the project.
function api.openURL(url)
  url = needString(url, "the address", 2)
  if not string.find(url, "^%a[%w+.-]*:") then
    local path = game().project:fileInProject(url)
    if string.sub(path, 1, 1) ~= "/" then path = (os.getenv("PWD") or ".") .. "/" .. path end
    url = "file://" .. path
  end
  callbacks.callExternalFunction("openURL", url, true)
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

-- Whether two names are at most one edit apart: a letter changed, added, removed, or two
-- neighbours swapped.
local function oneEditApart(a, b)
  if math.abs(#a - #b) > 1 then return false end
  local first = 1
  while first <= #a and string.byte(a, first) == string.byte(b, first) do first = first + 1 end
  if first > #a and first > #b then return true end
  local restA, restB = string.sub(a, first + 1), string.sub(b, first + 1)
  return restA == restB or restA == string.sub(b, first) or string.sub(a, first) == restB or
    (string.sub(a, first, first) == string.sub(b, first + 1, first + 1) and
     string.sub(a, first + 1, first + 1) == string.sub(b, first, first) and
     string.sub(a, first + 2) == string.sub(b, first + 2))
end

-- The callback a function name was meant to be, or nil: the name is a callback's in another
-- case ("onclick") or one edit away from it ("onColision"), and not a callback itself.
function Behaviours.meantCallback(name)
  local lower = string.lower(name)
  for _, callback in ipairs(Behaviours.callbacks) do
    if callback == name then return nil end
  end
  for _, callback in ipairs(Behaviours.callbacks) do
    if oneEditApart(lower, string.lower(callback)) then return callback end
  end
  return nil
end

-- A function named nearly like a callback ("onclick", "onColision") is never called: the
-- behaviour's author is told once, with the line that defines it and the right spelling.
local function reportMisspelledCallbacks(file, environment)
  for name, value in pairs(environment) do
    local meant = type(name) == "string" and type(value) == "function" and Behaviours.meantCallback(name)
    if meant then
      local line = debug.getinfo(value, "S").linedefined
      Engine.report(string.format("behaviour %s:%d: %s", file, line, messages.unknownCallback(name, meant)))
    end
  end
end

-- The one place where a behaviour's environment is made: `self`, the API, the base
-- functions, and a view of each standard library. A view reads through to the library and
-- keeps what the behaviour writes into it, so a behaviour that replaces string.format or
-- removes table.remove changes only its own view, never another behaviour's or the engine's.
-- `require` loads the modules of the scene (sharing.lua); `camera` is the scene's (camera.lua).
function Behaviours.newEnvironment(owner, scene)
  local environment = setmetatable({self = owner}, {__index = api})
  if scene then
    environment.require = Engine.Sharing.requireFor(scene)
    environment.camera = scene.camera and scene.camera.facade
  end
  for name, library in pairs(libraries) do
    environment[name] = setmetatable({}, {__index = library})
  end
  return environment
end

-- The callback of that name an attachment defines now, or nil. Looked up at each call, so a
-- callback defined later (an onUpdate set inside onStart) runs too.
function Behaviours.callback(instance, name)
  local fn = rawget(instance.environment, name)
  return type(fn) == "function" and fn or nil
end

-- An attachment: the file run once in a fresh environment whose `self` is the owner.
function Behaviours.attach(project, file, owner, scene)
  local chunk = Behaviours.chunk(project, file)
  if not chunk then return nil end
  local environment = Behaviours.newEnvironment(owner, scene)
  setfenv(chunk, environment)
  local ok, message = Behaviours.protectedCall()(chunk)
  if not ok then
    message = tostring(message)
    if not string.find(message, file, 1, true) then message = file .. ": " .. message end
    Engine.report("behaviour " .. message)
    return nil
  end
  reportMisspelledCallbacks(file, environment)
  return {file = file, owner = owner, environment = environment}
end

-- The function behaviours are called through: pcall, or in the player scriptLimits.call,
-- a protected call that is also stopped when it runs too long.
function Behaviours.protectedCall()
  return scriptLimits and scriptLimits.call or pcall
end

-- Reports a failed callback. An error without a place ("not enough memory") still names the
-- behaviour.
function Behaviours.reportFailure(instance, name, message)
  message = tostring(message)
  if not string.find(message, instance.file, 1, true) then
    message = string.format("%s (%s): %s", instance.file, name, message)
  end
  Engine.report("behaviour " .. message)
end

-- Calls one callback of an attachment, protected; returns false when it failed.
function Behaviours.call(instance, name, ...)
  local fn = Behaviours.callback(instance, name)
  if not fn then return true end
  local ok, message = Behaviours.protectedCall()(fn, ...)
  if not ok then Behaviours.reportFailure(instance, name, message) end
  return ok
end
