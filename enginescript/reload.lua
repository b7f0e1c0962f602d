-- Live reload: the player's --watch hands over the project files that changed. A picture or
-- sound is replaced in place; a scene document, behaviour or table restarts the running
-- scene; game.xml restarts the game. A change that does not load is reported and the running
-- version stays.
local string, table = string, table  -- the engine's own, whatever games do
local Behaviours = Engine.Behaviours

local function say(text)
  io.stdout:write("reload: ", text, "\n")
end

-- Why the document cannot be used ("file:line: reason"), or nil when it reads and has the
-- root element expected.
local function documentProblem(file, rootName)
  local root, reason = pgf.readFile(project:fileInProject(file))
  if not root then
    reason = string.gsub(tostring(reason), "^document '.-': ", "")
    local line, rest = string.match(reason, "^line (%d+): (.*)$")
    if line then return string.format("%s:%s: %s", file, line, rest) end
    return file .. ": " .. reason
  end
  if root[0] ~= rootName then
    return string.format("%s: the root element is <%s>, expected <%s>", file, tostring(root[0]), rootName)
  end
  return nil
end

local function isSceneDocument(file)
  for _, sceneFile in pairs(project.scenes) do
    if sceneFile == file then return true end
  end
  return false
end

-- What a change to the file asks for: "game", "scene", "table", "behaviour", "image" or
-- "sound" (with the asset's name), or nil for a file the game does not read.
local function kindOf(file)
  if file == "game.xml" then return "game" end
  local folder, name = string.match(file, "^(%a+)/([^/]+)$")
  if folder == "images" then return "image", name end
  if folder == "sounds" then return "sound", name end
  if isSceneDocument(file) then return "scene" end
  if project.tablesByFile[file] then return "table" end
  if string.find(file, "%.lua$") then return "behaviour" end
  return nil
end

local roots = {game = "game", scene = "scene", table = "table"}

-- Checks a file that restarts the scene or the game: nil when it loads, else the problem.
-- A behaviour that compiles is kept in `compiled` until the restart.
local function restartProblem(kind, file, compiled)
  if kind ~= "behaviour" then return documentProblem(file, roots[kind]) end
  local fn, message = Behaviours.compile(project, file)
  if not fn then return "behaviour " .. tostring(message) end
  compiled[file] = fn
  return nil
end

local function reloadAsset(kind, file, name)
  if not sharedAssetManager then return end
  local reload = kind == "image" and assetManager.reloadImage or assetManager.reloadSound
  local loaded, reason = reload(sharedAssetManager, name)
  if loaded == nil then
    Engine.report(string.format("%s: the %s cannot be loaded (%s); the running version stays", file,
      kind == "image" and "picture" or "sound", tostring(reason)))
  elseif loaded then
    say(file .. " replaced")
  end
end

local function restartScene(changed, compiled)
  for file, fn in pairs(compiled) do Behaviours.replace(project, file, fn) end
  for _, file in ipairs(changed) do
    if project.tablesByFile[file] then project:reloadTable(file) end
  end
  -- Under pushed scenes (a pause menu over the game) the scene that restarts is the one at the
  -- bottom, so the game comes back with it rather than the menu alone.
  local below = game.sceneStack and game.sceneStack.below or {}
  local shown = below[1] or game.scene
  local name = shown and shown.name or game.nextScene or project.startScene
  if not name then return end
  game:setNeedsToChangeScene(name, false)
  say(string.format("scene '%s' restarted (%s changed)", name, table.concat(changed, ", ")))
end

-- Called by the player between frames with the changed files, relative to the project folder.
function projectFilesChanged(...)
  if not project then return end
  local changes = {}
  for index = 1, select("#", ...) do
    local file = tostring((select(index, ...)))
    local kind, name = kindOf(file)
    if kind then changes[#changes + 1] = {kind = kind, file = file, name = name} end
  end
  if #changes == 0 then return end
  Engine.forgetPrintedReports()
  local restarting, assets, compiled = {}, {}, {}
  local restartGame, blocked = false, false
  for _, change in ipairs(changes) do
    if change.kind == "image" or change.kind == "sound" then
      assets[#assets + 1] = change
    else
      local problem = restartProblem(change.kind, change.file, compiled)
      if problem then
        Engine.report(problem .. "; the running version stays")
        blocked = true
      end
      restarting[#restarting + 1] = change.file
      restartGame = restartGame or change.kind == "game"
    end
  end
  if blocked or #restarting == 0 then
    for _, asset in ipairs(assets) do reloadAsset(asset.kind, asset.file, asset.name) end
  elseif restartGame then
    Engine.game:restart()
    say("game restarted (game.xml changed)")
  else
    restartScene(restarting, compiled)
  end
end
