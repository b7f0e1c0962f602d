-- The game project: reads NAME.gameproj/game.xml, its scene list, tables and music, and
-- resolves asset names to files for the asset manager.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Format = Engine.Format

Project = Engine.class()

function Project.new(class)
  return setmetatable({path = nil, scenes = {}, sceneOrder = {}, tables = {}, tableTitles = {}, plugins = {},
    imageProblems = {}, tableFiles = {}},
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
    return
  end
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
  local path = self:fileInProject(item.file)
  if not Format.fileExists(path) then
    Engine.report(string.format("%s: table '%s' cannot be opened; check the file name",
      item.file, item.name))
    return
  end
  local data = tableHelper.Tables.new()
  data:loadFromFile(path)
  self.tables[item.name] = data
  self.tableTitles[item.name] = tableTitles(path)
  self.tableFiles[item.file] = item
end

-- Reads a table file of game.xml again (after a change to it).
function Project:reloadTable(file)
  self:loadTable(self.tableFiles[file])
end

function Project:pathForImage(name)
  return self.path and self:fileInProject("images/" .. tostring(name)) or ""
end

function Project:pathForSound(name)
  return self.path and self:fileInProject("sounds/" .. tostring(name)) or ""
end
