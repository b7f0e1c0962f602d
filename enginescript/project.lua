-- The game project: reads NAME.gameproj/game.xml, its scene list, tables and music, and
-- resolves asset names to files for the asset manager.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Format = Engine.Format

Project = Engine.class()

function Project.new(class)
  return setmetatable({path = nil, scenes = {}, sceneOrder = {}, tables = {}, tableFiles = {}, tablesByFile = {}, tableTitles = {}, plugins = {},
    assetProblems = {image = {}, sound = {}, music = {}}, assetsReported = {}},
    class or Project)
end

-- Loads the project folder. Problems are reported with the file; whatever could be read is
-- kept, so a project with one bad scene still runs its other scenes.
function Project:load(path)
  self.path = string.gsub(path, "/+$", "")
  local root = Format.load(self:fileInProject("game.xml"), "game.xml", "game")
  if not root then return end
  local values = Format.attributes(root, "game.xml", "game")
  self.title = values.title
  self.width, self.height = values.width, values.height
  self.resolution = values.resolution
  self.resolutionIndependence = values.resolutionIndependence
  for _, child in ipairs(Format.children(root, "game.xml", "game")) do
    self:readSection(child.name, child.node)
  end
  self.startScene = values.startScene or self.sceneOrder[1]
  if self.startScene and not self.scenes[self.startScene] then
    Engine.report(string.format("game.xml: the start scene '%s' is not listed in <scenes>",
      self.startScene))
    self.startScene = self.sceneOrder[1]
  end
  if not self.startScene then
    Engine.report("game.xml: no scene is listed in <scenes>; add <scene name=\"...\" file=\"scenes/....xml\"/>")
  end
  Engine.game:projectDidLoad(self)
end

function Project:fileInProject(relative)
  return self.path .. "/" .. relative
end

function Project:readSection(name, node)
  if name == "music" then
    self.music = Format.attributes(node, "game.xml", "music")
    self.music.where = Format.where("game.xml", node) .. ": "
    return
  end
  if name == "playlist" then return Engine.Audio.readPlaylist(self, self, "game.xml", node) end
  local itemName = ({plugins = "plugin", scenes = "sceneref", tables = "table"})[name]
  for _, child in ipairs(Format.children(node, "game.xml", name)) do
    local item = Format.attributes(child.node, "game.xml", itemName)
    if not item.name then
      Engine.report(string.format("%s: <%s> without a name; ignored", Format.where("game.xml", child.node),
        child.node[0]))
    elseif name == "plugins" then
      self.plugins[item.name] = item.enabled
    elseif name == "scenes" then
      self:addScene(item)
    else
      self:loadTable(item)
    end
  end
end

function Project:addScene(item)
  if not item.file then
    Engine.report(string.format("game.xml: scene '%s' has no file attribute", item.name))
    return
  end
  if not self.scenes[item.name] then self.sceneOrder[#self.sceneOrder + 1] = item.name end
  self.scenes[item.name] = item.file
end

-- The row and column titles of a table file, lower case (the table finds titles regardless
-- of case), so that a behaviour naming a row or column the table lacks can be told so.
local function tableTitles(path)
  local titles = {row = {}, column = {}}
  local root = pgf.loadFile(path)
  for _, section in ipairs(type(root) == "table" and root or {}) do
    for _, entry in ipairs(type(section) == "table" and section or {}) do
      if type(entry) == "table" and titles[entry[0]] and entry.name then
        titles[entry[0]][string.lower(entry.name)] = true
      end
    end
  end
  return titles
end

function Project:loadTable(item)
  if not item.file then
    Engine.report(string.format("game.xml: table '%s' has no file attribute", item.name))
    return
  end
  self.tableFiles[item.name] = item.file
  local path = self:fileInProject(item.file)
  if not Format.fileExists(path) then
    Engine.report(string.format("%s: table '%s' cannot be opened; check the file name",
      item.file, item.name))
    return
  end
  if not Format.load(path, item.file, "table") then return end
  local data = tableHelper.Tables.new()
  data:loadFromFile(path)
  self.tables[item.name] = data
  self.tableTitles[item.name] = tableTitles(path)
  self.tablesByFile[item.file] = item
end

-- Reads a table file of game.xml again (after a change to it).
function Project:reloadTable(file)
  self:loadTable(self.tablesByFile[file])
end

function Project:pathForImage(name)
  return self.path and self:fileInProject("images/" .. tostring(name)) or ""
end

function Project:pathForSound(name)
  return self.path and self:fileInProject("sounds/" .. tostring(name)) or ""
end

-- How each kind of asset is found and decoded: its folder, and the native function that
-- decodes the whole file (nil and the reason when it cannot).
local assetKinds = {
  image = {folder = "images/", decode = function() return assetManager and assetManager.decodeImage end,
    advice = "save it as PNG, JPEG, GIF, BMP or TGA"},
  sound = {folder = "sounds/", decode = function() return assetManager and assetManager.decodeSound end,
    advice = "save it as WAV or Ogg Vorbis"},
  music = {folder = "sounds/", decode = function() return platformWrappers and platformWrappers.decodeMusic end,
    advice = "save it as Ogg Vorbis or WAV"},
}

-- Why the file of that kind cannot be used, or nil. Playing looks for the file and reads a
-- picture's header; a check (Project.checking) decodes every file whole, as the loaders will.
local function findAssetProblem(kind, path, checking)
  local rule = assetKinds[kind]
  if not Format.fileExists(path) then return "not found in " .. rule.folder .. "; check the file name" end
  if kind == "image" and assetManager and assetManager.imageSize then
    local width, reason = assetManager.imageSize(path)
    if not width then return "cannot be shown: " .. tostring(reason) .. "; " .. rule.advice end
  end
  local decode = checking and rule.decode()
  if not decode then return nil end
  local decoded, reason = decode(path)
  if decoded then return nil end
  -- The decoders' reasons may name the file, which the report names already.
  reason = string.match(tostring(reason), '^cannot load the sound ".*": (.*)$') or tostring(reason)
  reason = string.gsub(reason, "^it cannot be decoded: ", "")
  return "cannot be decoded: " .. reason .. "; " .. rule.advice
end

-- Reports that the named asset ("image", "sound" or "music") cannot be used, naming where it
-- is named first (`where`, such as "scenes/play.xml:25: actor 'ball': "): one file, one
-- report, however many actors name it. Returns true when the asset can be used. Answers are
-- kept per file, so a picture many actors show is read once.
function Project:checkAsset(kind, where, name)
  name = tostring(name)
  local path = kind == "image" and self:pathForImage(name) or self:pathForSound(name)
  local known = self.assetProblems[kind]
  if known[path] == nil then known[path] = findAssetProblem(kind, path, self.checking) or false end
  local problem = known[path]
  if problem and self.assetsReported[kind .. ":" .. problem .. ":" .. path] == nil then
    self.assetsReported[kind .. ":" .. problem .. ":" .. path] = true
    Engine.report(string.format("%s%s '%s' %s", where, kind, name, problem))
  end
  return not problem
end
