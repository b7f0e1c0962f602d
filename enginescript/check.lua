-- The project check (quillane-player --check): reads every scene document, decodes every
-- picture, sound and music file a document or a behaviour names, and looks through each
-- behaviour's source for callbacks spelled wrong and for literal names of tables, columns,
-- rows, templates, playlists, scenes, transitions, sounds, pictures and modules that the project
-- does not have, and for gamepad buttons and axes that do not exist. It reports
-- with the same texts the running game uses, so a problem found both ways is said once.
local math, string, table, unpack = math, string, table, unpack  -- the engine's own, whatever games do
local Format = Engine.Format
local Behaviours = Engine.Behaviours
local messages = Behaviours.messages

local actorKinds = {sprite = true, text = true, particles = true, sound = true}

-- The source with comments blanked out (newlines kept, so lines still count), or nil when
-- the file cannot be read.
local function sourceWithoutComments(path)
  local handle = io.open(path, "rb")
  if not handle then return nil end
  local text = handle:read("*a") or ""
  handle:close()
  local function blank(comment) return (string.gsub(comment, "[^\n]", " ")) end
  text = string.gsub(text, "%-%-%[(=*)%[.-%]%1%]", blank)
  return (string.gsub(text, "%-%-[^\n]*", blank))
end

-- Calls visit(line, start, captures...) for every match of pattern in text, with the line
-- and position where the match starts.
local function eachMatch(text, pattern, visit)
  local line, at, from = 1, 1, 1
  while true do
    local found = {string.find(text, pattern, from)}
    if not found[1] then return end
    local _, newlines = string.gsub(string.sub(text, at, found[1] - 1), "\n", "")
    line, at, from = line + newlines, found[1], math.max(found[2], found[1]) + 1
    visit(line, found[1], unpack(found, 3))
  end
end

-- A string literal ("x" or 'x') as a Lua pattern piece capturing its text.
local literal = "([\"'])(.-)%%%d"
local function quoted(index) return string.format(literal, index) end

local Check = {}

-- What one scene document names: behaviour files, template names, and the reports of its
-- pictures and sounds (made while walking it, with the actor's file and line).
function Check.walkScene(project, file)
  local root = Format.load(project:fileInProject(file), file, "scene")
  local scene = {file = file, behaviours = {}, templates = {}, animations = {}, attachedTo = {}, playlists = {},
    actorNames = {}}
  if not root then return scene end
  local values = Format.attributes(root, file, "scene")
  for _, behaviour in ipairs(values.behaviour or {}) do scene.behaviours[behaviour] = true end
  if values.music then project:checkAsset("music", Format.where(file, root) .. ": ", values.music) end
  local actorNames, joints, follow = {}, {}, nil
  local function walk(node, elementName)
    for _, child in ipairs(Format.children(node, file, elementName)) do
      local attributes = Format.attributes(child.node, file, child.name)
      if child.name == "joint" then joints[#joints + 1] = {node = child.node, values = attributes} end
      if child.name == "camera" and attributes.follow then
        follow = follow or {name = attributes.follow, where = Format.where(file, child.node)}
      end
      if actorKinds[child.name] and not attributes.template then actorNames[attributes.name or child.name] = true end
      if actorKinds[child.name] then
        if attributes.name then scene.actorNames[attributes.name] = true end
        local where = Engine.Actor.whereNamed(Format.where(file, child.node), attributes.name or child.name)
        if attributes.image then project:checkAsset("image", where, attributes.image) end
        if child.name == "sound" and attributes.sound then project:checkAsset("sound", where, attributes.sound) end
        if child.name == "text" then Engine.Labels.check(where, attributes) end
        if attributes.template and attributes.name then scene.templates[attributes.name] = true end
        for _, behaviour in ipairs(attributes.behaviour or {}) do scene.behaviours[behaviour] = true end
        Check.noteAnimations(project, scene, child, attributes)
      end
      if child.name == "playlist" and attributes.name then scene.playlists[attributes.name] = true end
      if child.name == "track" and attributes.file then
        project:checkAsset("music", Format.where(file, child.node) .. ": ", attributes.file)
      end
      if Format.elements[child.name].children[1] then walk(child.node, child.name) end
    end
  end
  walk(root, "scene")
  for _, joint in ipairs(joints) do
    Engine.Joints.checkElement(Format.where(file, joint.node) .. ": ", joint.node, joint.values,
      function(name) return actorNames[name] end)
  end
  if follow and not actorNames[follow.name] then
    Engine.report(Engine.Camera.messages.noTarget(follow.where, follow.name))
  end
  return scene
end

-- The animations of an actor element (read and checked as the scene will read them), by the
-- actor's name and by each behaviour attached to it.
function Check.noteAnimations(project, scene, child, attributes)
  local animations = child.name == "sprite" and Engine.Animation.read(project, scene.file, child.node, attributes)
  local owner = {name = attributes.name or child.name, names = animations and animations.names or {}}
  if attributes.name then
    local known = scene.animations[attributes.name] or {}
    for _, name in ipairs(owner.names) do known[name] = true end
    scene.animations[attributes.name] = known
  end
  for _, behaviour in ipairs(attributes.behaviour or {}) do
    local owners = scene.attachedTo[behaviour] or {}
    owners[#owners + 1] = owner
    scene.attachedTo[behaviour] = owners
  end
end

-- Reports a problem at a line of a behaviour, as a failing call there would be reported.
local function reportAt(file, line, text)
  Engine.report(string.format("behaviour %s:%d: %s", file, line, text))
end

-- The literal row or column of a get or set call on a table, checked against its titles.
local function checkPosition(project, file, line, tableName, axis, position)
  local titles = project.tableTitles[tableName]
  if not titles or titles[axis][string.lower(position)] or tonumber(position) then return end
  local data = project.tables[tableName]
  local count = axis == "row" and data:getNumRows() or data:getNumCols()
  reportAt(file, line, messages.noPosition(tableName, axis, position, count))
end

-- get(row, column) and set(row, column, value) calls on a table of that name, from the
-- argument list's opening parenthesis on: rows and columns written as string literals.
local function checkCellCall(project, file, line, tableName, arguments)
  local row, column = string.match(arguments, "^%(%s*([^,()]-)%s*,%s*([^,()]-)%s*[,)]")
  if not row then return end
  for axis, argument in pairs({row = row, column = column}) do
    local text = string.match(argument, "^[\"'](.*)[\"']$")
    if text then checkPosition(project, file, line, tableName, axis, text) end
  end
end

-- A table name written in the source: reported when game.xml does not list it.
local function knownTable(project, file, line, name)
  if project.tableFiles[name] then return project.tables[name] ~= nil end
  reportAt(file, line, messages.noTable(name))
  return false
end

-- The checks of one behaviour file that do not depend on the scene it is attached to.
function Check.scanBehaviour(project, file, source)
  -- Callbacks are the functions a behaviour defines at the start of a line.
  eachMatch(source, "function%s+([%a_][%w_]*)%s*%(", function(line, start, name)
    local meant = Behaviours.meantCallback(name)
    local lineStart = start == 1 or string.sub(source, start - 1, start - 1) == "\n"
    if meant and lineStart then reportAt(file, line, messages.unknownCallback(name, meant)) end
  end)
  local tableOf = {}
  eachMatch(source, "([%a_][%w_]*)%s*=%s*readTable%s*%(%s*" .. quoted(2) .. "%s*%)", function(_, _, variable, _, name)
    tableOf[variable] = name
  end)
  eachMatch(source, "readTable%s*%(%s*" .. quoted(1) .. "%s*%)(%s*:%s*[gs]et%s*)(%b())", function(line, _, _, name, call, arguments)
    if knownTable(project, file, line, name) then
      local _, newlines = string.gsub(call, "\n", "")
      checkCellCall(project, file, line + newlines, name, arguments)
    end
  end)
  eachMatch(source, "readTable%s*%(%s*" .. quoted(1) .. "%s*%)", function(line, _, _, name)
    knownTable(project, file, line, name)
  end)
  eachMatch(source, "([%a_][%w_]*)%s*:%s*[gs]et%s*(%b())", function(line, _, variable, arguments)
    local name = tableOf[variable]
    if name and project.tables[name] then checkCellCall(project, file, line, name, arguments) end
  end)
  -- A module named literally whose file is not there; a bad name is refused when it runs.
  eachMatch(source, "%f[%w_]require%s*%(?%s*" .. quoted(1), function(line, _, _, name)
    local module = Engine.Sharing.moduleFile(name)
    if module and not Format.fileExists(project:fileInProject(module)) then
      reportAt(file, line, messages.noModule(name, module))
    end
  end)
  for _, call in ipairs({"changeScene", "pushScene"}) do
    eachMatch(source, "%f[%w_]" .. call .. "%s*%(%s*" .. quoted(1), function(line, _, _, name)
      if not project.scenes[name] then reportAt(file, line, messages.noScene(name, call)) end
    end)
  end
  eachMatch(source, "%f[%w_]transition%s*=%s*" .. quoted(1), function(line, _, _, name)
    if not Engine.Stack.transitions[name] then reportAt(file, line, messages.unknownTransition(name)) end
  end)
  for call, what in pairs({isGamepadDown = "button", gamepadAxis = "axis"}) do
    eachMatch(source, "%f[%w_]" .. call .. "%s*%(%s*" .. quoted(1), function(line, _, _, name)
      local problem = Engine.Gamepad.problemWithName(call, what, name)
      if problem then reportAt(file, line, problem) end
    end)
  end
  for call, kind in pairs({playSound = "sound", playMusic = "music", setImage = "image"}) do
    eachMatch(source, call .. "%s*%(%s*" .. quoted(1), function(line, _, _, name)
      project:checkAsset(kind, string.format("%s:%d: %s: ", file, line, call), name)
    end)
  end
end

-- spawn, playPlaylist and camera:follow calls with a literal name, against the templates,
-- playlists (also game.xml's) and actors of a scene that attaches the behaviour.
function Check.scanSpawns(file, source, scene, project)
  eachMatch(source, "spawn%s*%(%s*" .. quoted(1), function(line, _, _, name)
    if not scene.templates[name] then reportAt(file, line, messages.noTemplate(name, scene.file)) end
  end)
  eachMatch(source, "playPlaylist%s*%(%s*" .. quoted(1), function(line, _, _, name)
    if not (scene.playlists[name] or (project.playlists or {})[name]) then
      reportAt(file, line, Engine.Audio.noPlaylist(name, scene.file))
    end
  end)
  eachMatch(source, "camera%s*:%s*follow%s*%(%s*" .. quoted(1), function(line, _, _, name)
    if not scene.actorNames[name] then reportAt(file, line, Engine.Camera.messages.noActor(name, scene.file)) end
  end)
end

-- playAnimation calls with a literal name: self:playAnimation against each actor of the scene
-- the behaviour is attached to, actor("name"):playAnimation against the actors of that name.
function Check.scanAnimations(file, source, scene)
  local noAnimation = Engine.Animation.messages.noAnimation
  eachMatch(source, "self%s*:%s*playAnimation%s*%(%s*" .. quoted(1), function(line, _, _, name)
    for _, owner in ipairs(scene.attachedTo[file] or {}) do
      local has = false
      for _, known in ipairs(owner.names) do has = has or known == name end
      if not has then reportAt(file, line, "playAnimation: " .. noAnimation(owner.name, name, owner.names)) end
    end
  end)
  eachMatch(source, "actor%s*%(%s*" .. quoted(1) .. "%s*%)%s*:%s*playAnimation%s*%(%s*" .. quoted(3),
    function(line, _, _, actorName, _, name)
      local known = scene.animations[actorName]
      if known and not known[name] then
        local names = table.keys(known)
        table.sort(names)
        reportAt(file, line, "playAnimation: " .. noAnimation(actorName, name, names))
      end
    end)
end

-- The static check of the loaded project. The player calls it once after loading, before it
-- visits each scene; from then on pictures and sounds are decoded whole when first named.
function checkProject()
  local project = Engine.game and Engine.game.project
  if not project or not project.path then return end
  project.checking = true
  project.assetProblems = {image = {}, sound = {}, music = {}}
  if project.music then project:checkAsset("music", project.music.where, project.music.file) end
  Engine.Audio.checkPlaylists(project)
  local sources = {}
  for _, name in ipairs(project.sceneOrder) do
    local scene = Check.walkScene(project, project.scenes[name])
    local files = table.keys(scene.behaviours)
    table.sort(files)
    for _, file in ipairs(files) do
      if sources[file] == nil then
        local compiled = Behaviours.chunk(project, file)
        sources[file] = compiled and sourceWithoutComments(project:fileInProject(file)) or false
        if sources[file] then Check.scanBehaviour(project, file, sources[file]) end
      end
      if sources[file] then
        Check.scanSpawns(file, sources[file], scene, project)
        Check.scanAnimations(file, sources[file], scene)
      end
    end
  end
end
