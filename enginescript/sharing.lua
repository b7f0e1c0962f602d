-- Shared code and messages between behaviours: `require` of the project's modules (once per
-- scene), `send` and `broadcast` of messages to `onMessage`, and `game.state`, a table every
-- behaviour sees that lasts from scene to scene until the game restarts.
local string, table = string, table  -- the engine's own, whatever games do
local Behaviours = Engine.Behaviours
local messages = Behaviours.messages
local api = Behaviours.api

local Sharing = {}
Engine.Sharing = Sharing

messages.noModule = function(name, file)
  return string.format("require \"%s\": %s not found; create it or fix the name", name, file)
end

-- The file a module name stands for ("enemies.boss" is scripts/enemies/boss.lua), or nil and
-- why the name is refused: only letters, digits, '_', '-' and dots between folder names, so
-- that a module is always a file of the project's scripts folder.
function Sharing.moduleFile(name)
  if type(name) ~= "string" then return nil, "the module name must be a string, got " .. type(name) end
  if string.find(name, "%.lua$") then
    return nil, string.format("write require \"%s\" for scripts/%s", string.sub(name, 1, -5), name)
  end
  if not string.find(name, "^[A-Za-z0-9_%-]+[A-Za-z0-9_%.%-]*$") or string.find(name, "..", 1, true) or
      string.find(name, "%.$") then
    return nil, string.format("'%s' is not a module name: use letters, digits, '_' and '-', and dots " ..
      "between folders (require \"enemies.boss\" loads scripts/enemies/boss.lua)", name)
  end
  return "scripts/" .. string.gsub(name, "%.", "/") .. ".lua"
end

-- Runs the module's file in an environment of its own (the same library a behaviour gets)
-- and returns what it returns, true when that is nothing. Raises with the module's file.
local function loadModule(scene, name, file)
  local quotedName = string.format("require \"%s\": ", name)
  if not Engine.Format.fileExists(scene.project:fileInProject(file)) then
    error(messages.noModule(name, file), 0)
  end
  local fn, problem = Behaviours.compile(scene.project, file)
  if not fn then error(quotedName .. tostring(problem), 0) end
  setfenv(fn, Behaviours.newEnvironment(nil, scene))
  local ok, result = pcall(fn, name)
  if not ok then
    result = tostring(result)
    if not string.find(result, file, 1, true) then result = file .. ": " .. result end
    error(quotedName .. result, 0)
  end
  if result == nil then return true end
  return result
end

-- The `require` of the behaviours and modules of one scene (one function per scene). Each
-- module runs once per scene; a module that requires itself through others is refused with
-- the chain of names.
function Sharing.requireFor(scene)
  if scene.requireModule then return scene.requireModule end
  scene.requireModule = function(name)
    local file, problem = Sharing.moduleFile(name)
    if not file then error("require: " .. problem, 2) end
    scene.modules = scene.modules or {loaded = {}, loading = {}}
    local modules = scene.modules
    if modules.loaded[name] ~= nil then return modules.loaded[name] end
    for index, loading in ipairs(modules.loading) do
      if loading == name then
        local chain = {}
        for at = index, #modules.loading do chain[#chain + 1] = modules.loading[at] end
        chain[#chain + 1] = name
        error(string.format("require \"%s\": the modules require each other in a cycle (%s); move what they " ..
          "share into a module of its own", name, table.concat(chain, " -> ")), 2)
      end
    end
    modules.loading[#modules.loading + 1] = name
    local ok, result = pcall(loadModule, scene, name, file)
    modules.loading[#modules.loading] = nil
    if not ok then error(result, 2) end
    modules.loaded[name] = result
    return result
  end
  return scene.requireModule
end

-- Messages are delivered at once, in the order the behaviours were attached. A handler that
-- sends again nests; past kMaxDepth nested deliveries the send is refused, so that two
-- behaviours answering each other cannot recurse for ever.
local kMaxDepth = 32
local depth = 0

local function deliver(instances, count, message, ...)
  for index = 1, count do
    local instance = instances[index]
    if not instance.dead then Behaviours.call(instance, "onMessage", message, ...) end
  end
end

-- Calls onMessage on the first `count` attachments; raises at the sender's line (what names
-- the function that sends) when messages are nested too deep or the message is not a string.
local function deliverAll(what, instances, count, message, ...)
  if type(message) ~= "string" then
    error(string.format("%s: the message must be a string, got %s", what, type(message)), 3)
  end
  if depth >= kMaxDepth then
    error(string.format("%s: messages nested more than %d deep (handlers that keep sending to each " ..
      "other?); message '%s' not delivered", what, kMaxDepth, message), 3)
  end
  depth = depth + 1
  local ok, problem = pcall(deliver, instances, count, message, ...)
  depth = depth - 1
  if not ok then error(problem, 0) end
end

local function runningScene(what)
  local scene = Engine.game.scene
  if not scene then error(what .. ": no scene is running yet; send messages from onStart on", 3) end
  return scene
end

-- The attachments a send reaches: those of the actor, of every actor with that name, or of
-- the scene itself.
local function receivers(scene, target)
  local list = {}
  local function add(owner)
    for _, instance in ipairs(owner.behaviours or {}) do list[#list + 1] = instance end
  end
  if type(target) == "string" then
    local actors = scene.byName[target]
    if not (actors and actors[1]) then
      if scene.knownNames[target] then
        error(string.format("send: every actor named '%s' has gone", target), 3)
      end
      error(string.format("send: no actor named '%s' in %s", target, scene.file), 3)
    end
    for _, actor in ipairs(actors) do add(actor) end
  elseif target == scene then
    add(scene)
  elseif instanceOfClassType(target, Engine.Actor) then
    if target.destroyed or target.scene ~= scene then
      error(string.format("send: the actor '%s' is no longer in the scene", tostring(target.name)), 3)
    end
    add(target)
  else
    error("send: send to an actor, an actor's name or the scene, not a " .. type(target), 3)
  end
  return list
end

function api.send(target, message, ...)
  local list = receivers(runningScene("send"), target)
  deliverAll("send", list, #list, message, ...)
end

function api.broadcast(message, ...)
  local scene = runningScene("broadcast")
  deliverAll("broadcast", scene.instances, #scene.instances, message, ...)
end

-- `game.state`: the running game's table, made on first use; a restart makes a new game.
api.game = setmetatable({}, {
  __index = function(_, key)
    if key ~= "state" then return nil end
    local game = Engine.game
    game.sharedState = game.sharedState or {}
    return game.sharedState
  end,
  __newindex = function(_, key)
    error(string.format("game.%s cannot be set; keep values in the fields of game.state", tostring(key)), 2)
  end,
})
