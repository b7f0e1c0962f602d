-- The project format: which elements and attributes each document may hold, their value
-- types and defaults, and the reading of a document into checked values.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local Format = {}
Engine.Format = Format

local actorAttributes = {
  name = {"string"}, x = {"number", 0}, y = {"number", 0}, angle = {"number", 0},
  z = {"number"}, visible = {"bool", true}, template = {"bool", false},
  behaviour = {"list"}, color = {"color", {1, 1, 1, 1}},
  blend = {"enum", "normal", {normal = 0, opaque = 1, add = 2, screen = 3, multiply = 4}},
}

-- The common actor attributes (less those named in `without`) and the kind's own.
local function actorElement(own, without)
  local attributes = {}
  for key, value in pairs(actorAttributes) do attributes[key] = value end
  for _, key in ipairs(without or {}) do attributes[key] = nil end
  for key, value in pairs(own) do attributes[key] = value end
  return {attributes = attributes, children = {"body", "property"}}
end

local wrapModes = {stretch = 0, fixed = 1, tiled = 2}
local hAnchors = {left = 0, center = 1, right = 2}
local vAnchors = {bottom = 0, center = 1, top = 2}
local actorKinds = {"sprite", "text", "particles", "sound", "replicator", "wrap"}

-- Each element: its attributes as {type, default, choices} and the child elements it takes.
Format.elements = {
  game = {
    attributes = {title = {"string", "Untitled"}, width = {"number", 480},
      height = {"number", 320}, startScene = {"string"}, resolution = {"number", 0},
      resolutionIndependence = {"number", 0}, startFullscreen = {"bool"}, overscan = {"bool", false}},
    children = {"plugins", "scenes", "tables", "music", "playlist"},
  },
  plugins = {attributes = {}, children = {"plugin"}},
  plugin = {attributes = {name = {"string"}, enabled = {"bool", true}}, children = {}},
  scenes = {attributes = {}, children = {"sceneref"}},
  sceneref = {attributes = {name = {"string"}, file = {"string"}}, children = {}},
  tables = {attributes = {}, children = {"table"}},
  table = {attributes = {name = {"string"}, file = {"string"}}, children = {}},
  music = {attributes = {file = {"string"}, loop = {"bool", true}, volume = {"number", 1}},
    children = {}},
  playlist = {attributes = {name = {"string"}, shuffle = {"bool", false}, loop = {"bool", true},
    fade = {"number", 0}, volume = {"number", 1}, autoplay = {"bool", false}}, children = {"track"}},
  track = {attributes = {file = {"string"}}, children = {}},
  scene = {
    attributes = {name = {"string"}, background = {"color", {0, 0, 0, 1}},
      gravity = {"pair", {0, -500}}, behaviour = {"list"}, music = {"string"}},
    children = {"layer", "joint", "playlist", "camera"},
  },
  layer = {attributes = {name = {"string"}, x = {"number", 0}, y = {"number", 0}, volume = {"number", 1},
    parallax = {"nonnegative", 1}}, children = actorKinds},
  camera = {attributes = {x = {"number"}, y = {"number"}, zoom = {"positive", 1}, rotation = {"number", 0},
    follow = {"string"}, deadzone = {"size"}, bounds = {"rect"}}, children = {}},
  replicator = {attributes = {name = {"string"}, copies = {"number", 1},
    spacing = {"number", 0}, angle = {"number", 0}}, children = actorKinds},
  wrap = {attributes = {name = {"string"}, width = {"number"}, height = {"number"},
    wrapX = {"bool", true}, wrapY = {"bool", false}}, children = actorKinds},
  sprite = actorElement({
    image = {"string"}, width = {"number", 32}, height = {"number", 32},
    mode = {"enum", "stretch", wrapModes}, hmode = {"enum", nil, wrapModes},
    vmode = {"enum", nil, wrapModes}, hanchor = {"enum", "center", hAnchors},
    vanchor = {"enum", "center", vAnchors}, tileWidth = {"number", 32},
    tileHeight = {"number", 32}, flipX = {"bool", false}, flipY = {"bool", false},
  }),
  text = actorElement({
    text = {"string", ""}, font = {"string", "Arial"}, size = {"number", 16},
    align = {"enum", "center", {left = 0, center = 1, right = 2}},
    wrapWidth = {"number"}, wrapHeight = {"number"},
    markup = {"bool", false}, outline = {"color"}, outlineWidth = {"number", 2},
    shadow = {"color"}, shadowOffset = {"pair", {2, -2}},
  }),
  particles = actorElement({
    image = {"string"}, count = {"number", 50}, lifetime = {"number", 1},
    lifestart = {"number", 1}, direction = {"number", 90}, spread = {"number", 0},
    speed = {"number", 50}, speedSpread = {"number", 0},
    size = {"number", 8}, sizeTarget = {"number", 8}, sizeTime = {"number", 1},
    colorTarget = {"color"}, colorTime = {"number", 1}, gravity = {"pair", {0, 0}},
    spin = {"number", 0}, emitting = {"bool", true},
  }),
  sound = actorElement({
    sound = {"string"}, volume = {"number", 1}, pitch = {"number", 1}, loop = {"bool", false},
    autoplay = {"bool", false}, positional = {"bool", true},
  }, {"angle", "color", "blend"}),
  body = {
    attributes = {type = {"enum", "dynamic", {static = 0, kinematic = 1, dynamic = 2}},
      shape = {"enum", "box", {box = "box", circle = "circle", polygon = "polygon"}},
      width = {"number"}, height = {"number"}, radius = {"number"}, points = {"numbers"},
      density = {"number", 1}, friction = {"number", 0.3}, restitution = {"number", 0},
      fixedRotation = {"bool", false}, sensor = {"bool", false},
      categories = {"numbers", {1}}, collidesWith = {"numbers", {1}}},
    children = {"shape"},
  },
  -- One shape of a body made of several; what it leaves out it takes from its <body>.
  shape = {
    attributes = {shape = {"enum", "box", {box = "box", circle = "circle", polygon = "polygon"}},
      x = {"number", 0}, y = {"number", 0}, angle = {"number", 0},
      width = {"number"}, height = {"number"}, radius = {"number"}, points = {"numbers"},
      density = {"number"}, friction = {"number"}, restitution = {"number"}, sensor = {"bool"},
      collidesWith = {"numbers"}},
    children = {},
  },
  joint = {
    attributes = {name = {"string"},
      type = {"enum", "revolute", {revolute = "revolute", distance = "distance", prismatic = "prismatic",
        weld = "weld", rope = "rope", mouse = "mouse"}},
      a = {"string"}, b = {"string"}, x = {"number"}, y = {"number"}, anchorA = {"pair"},
      anchorB = {"pair"}, axis = {"pair"}, length = {"number"}, lower = {"number"}, upper = {"number"},
      motorSpeed = {"number"}, maxTorque = {"number"}, maxForce = {"number"}, frequency = {"number"},
      damping = {"number"}, collideConnected = {"bool", false}},
    children = {},
  },
  property = {attributes = {name = {"string"}, value = {"string", ""}}, children = {}},
}

-- In game.xml a scene reference is written <scene name file>; it is checked as "sceneref".
local function schemaName(parentName, name)
  if parentName == "scenes" and name == "scene" then return "sceneref" end
  return name
end

local function parseNumbers(text)
  local numbers = {}
  for word in string.gmatch(text, "%S+") do
    local number = tonumber(word)
    if not number then return nil end
    numbers[#numbers + 1] = number
  end
  return numbers
end

local converters = {
  string = function(text) return text end,
  number = function(text) return tonumber(text) end,
  bool = function(text)
    local lower = string.lower(text)
    if lower == "true" or lower == "yes" or lower == "1" then return true end
    if lower == "false" or lower == "no" or lower == "0" then return false end
  end,
  list = function(text)
    local items = {}
    for item in string.gmatch(text, "[^%s,]+") do items[#items + 1] = item end
    return items
  end,
  numbers = parseNumbers,
  pair = function(text)
    local numbers = parseNumbers(text)
    if numbers and #numbers == 2 then return numbers end
  end,
  positive = function(text)
    local number = tonumber(text)
    if number and number > 0 then return number end
  end,
  nonnegative = function(text)
    local number = tonumber(text)
    if number and number >= 0 then return number end
  end,
  size = function(text)
    local numbers = parseNumbers(text)
    if numbers and #numbers == 2 and numbers[1] >= 0 and numbers[2] >= 0 then return numbers end
  end,
  rect = function(text)
    local numbers = parseNumbers(text)
    if numbers and #numbers == 4 and numbers[3] > numbers[1] and numbers[4] > numbers[2] then return numbers end
  end,
  color = function(text)
    local numbers = parseNumbers(text)
    if numbers and (#numbers == 3 or #numbers == 4) then
      numbers[4] = numbers[4] or 1
      return numbers
    end
  end,
}

local expectations = {
  number = "a number", bool = "true or false", numbers = "numbers separated by spaces",
  pair = "two numbers", positive = "a number above 0", nonnegative = "a number of 0 or more",
  size = "a width and a height of 0 or more",
  rect = "left bottom right top, with right above left and top above bottom", color = "three or four numbers from 0 to 1 (red green blue [alpha])",
}

-- The element's attributes converted by the schema, defaults filled in. Unknown attributes
-- and values that do not convert are reported (with the file) and left at their defaults.
function Format.attributes(node, file, elementName)
  local schema = Format.elements[elementName]
  local values = {}
  for key, rule in pairs(schema.attributes) do values[key] = rule[2] end
  for key, text in pairs(node) do
    if type(key) == "string" then
      local rule = schema.attributes[key]
      if not rule then
        Engine.report(string.format("%s: unknown attribute '%s' of <%s>; ignored",
          Format.where(file, node), key, node[0]))
      else
        local value
        if rule[1] == "enum" then
          value = rule[3][text]
          if value == nil then
            local names = table.keys(rule[3])
            table.sort(names)
            Engine.report(string.format("%s: <%s %s=\"%s\">: expected one of %s",
              Format.where(file, node), node[0], key, text, table.concat(names, ", ")))
          end
        else
          value = converters[rule[1]](text)
          if value == nil then
            Engine.report(string.format("%s: <%s %s=\"%s\">: expected %s", Format.where(file, node),
              node[0], key, text, expectations[rule[1]]))
          end
        end
        if value ~= nil then values[key] = value end
      end
    end
  end
  for key, rule in pairs(schema.attributes) do
    if rule[1] == "enum" and type(values[key]) == "string" then values[key] = rule[3][values[key]] end
  end
  return values
end

-- The child elements of node that its schema allows, as {name, node} pairs in document
-- order; others are reported and skipped.
function Format.children(node, file, elementName)
  local allowed = {}
  for _, name in ipairs(Format.elements[elementName].children) do allowed[name] = true end
  local children = {}
  for index = 1, #node do
    local child = node[index]
    if type(child) == "table" then
      local name = schemaName(elementName, child[0])
      if allowed[name] then
        children[#children + 1] = {name = name, node = child}
      else
        Engine.report(string.format("%s: unknown element <%s> in <%s>; ignored",
          Format.where(file, child), tostring(child[0]), elementName))
      end
    end
  end
  return children
end

-- The line of each element node read by Format.load, so that reports can say where the
-- element is. Weak keys: the lines go with the documents.
local elementLines = setmetatable({}, {__mode = "k"})

-- The line numbers of the document's start tags, in document order (which is also the order
-- in which the reader builds element nodes). Comments, declarations and end tags are skipped.
local function startTagLines(text)
  text = string.gsub(text, "<!%-%-.-%-%->", function(comment) return (string.gsub(comment, "[^\n]", "")) end)
  text = string.gsub(text, "<!%[CDATA%[.-%]%]>", function(data) return (string.gsub(data, "[^\n]", "")) end)
  local lines, line, at = {}, 1, 1
  for position in string.gmatch(text, "()<[%a_]") do
    local _, newlines = string.gsub(string.sub(text, at, position), "\n", "")
    line, at = line + newlines, position + 1
    lines[#lines + 1] = line
  end
  return lines
end

-- Gives every element of the tree its line, walking it in document order.
local function numberElements(node, lines, next)
  elementLines[node] = lines[next]
  next = next + 1
  for index = 1, #node do
    if type(node[index]) == "table" then next = numberElements(node[index], lines, next) end
  end
  return next
end

-- "file:line" for an element node read by Format.load, else the file alone.
function Format.where(file, node)
  local line = node and elementLines[node]
  return line and (file .. ":" .. line) or file
end

-- Reads an XML document into its tree, or reports why it cannot and returns nil.
function Format.load(path, file, rootName)
  local handle = io.open(path, "rb")
  if not handle then
    Engine.report(string.format("%s: cannot open the file; check that it exists", file))
    return nil
  end
  local text = handle:read("*a") or ""
  handle:close()
  local root = pgf.loadFile(path)
  if type(root) == "table" then numberElements(root, startTagLines(text), 1) end
  if type(root) ~= "table" then
    Engine.report(string.format("%s: not a well-formed XML document; fix the XML syntax", file))
    return nil
  end
  if root[0] ~= rootName then
    Engine.report(string.format("%s: the root element is <%s>, expected <%s>", file,
      tostring(root[0]), rootName))
    return nil
  end
  return root
end

function Format.fileExists(path)
  local handle = io.open(path, "rb")
  if handle then handle:close() end
  return handle ~= nil
end
