-- Sprite animation: the <animation> elements of sprites (frames cut from a sheet or taken
-- from a list of pictures), the actor methods that play them, and their advance with the
-- scene's clock.
local math, string, table = math, string, table  -- the engine's own, whatever games do
local sg = scenegraph
local Format = Engine.Format
local Behaviours = Engine.Behaviours
local Actor = Engine.Actor

local Animation = {}
Engine.Animation = Animation

-- The element, the sprite's attribute naming the animation it starts with, and the callback.
local kModes = {loop = "loop", pingpong = "pingpong", once = "once"}
Format.elements.animation = {
  attributes = {name = {"string"}, image = {"string"}, images = {"list"}, columns = {"number", 1},
    rows = {"number", 1}, first = {"number"}, last = {"number"}, fps = {"number", 10},
    mode = {"enum", "loop", kModes}},
  children = {},
}
Format.elements.sprite.attributes.animation = {"string"}
table.insert(Format.elements.sprite.children, "animation")
table.insert(Behaviours.callbacks, "onAnimationEnd")

-- A sheet is cut into at most this many cells: every cell of an animation is a frame kept in
-- a list, and no sheet of a real game comes near it, so a larger grid is a typing mistake.
local kMaxCells = 4096
-- Frames due within this fraction of a frame count as due: the clock's steps are summed in
-- single precision, and six steps of 1/60 s must make a frame at 10 per second.
local kFrameSlack = 1e-3

-- The texts the running game and the project check share, so a problem is said once.
Animation.messages = {
  noAnimation = function(actorName, name, names)
    if #names == 0 then
      return string.format("actor '%s' has no animations; add <animation> elements to its <sprite>", actorName)
    end
    return string.format("actor '%s' has no animation named '%s' (it has %s)", actorName, tostring(name),
      table.concat(names, ", "))
  end,
}
local messages = Animation.messages

local function isWhole(number, low, high)
  return number ~= nil and number == math.floor(number) and number >= low and number <= high
end

-- A picture's size when it can be read, so that a grid can be checked against it.
local function pictureSize(project, name)
  if not (assetManager and assetManager.imageSize and project.path) then return nil end
  return assetManager.imageSize(project:pathForImage(name))
end

-- The cells of a grid animation (numbered from 0), or nil when the grid is bad (reported).
local function readGrid(project, where, values, sheet)
  local columns, rows = values.columns, values.rows
  if not (isWhole(columns, 1, kMaxCells) and isWhole(rows, 1, kMaxCells) and columns * rows <= kMaxCells) then
    Engine.report(string.format("%scolumns=\"%s\" rows=\"%s\": a sheet is cut into whole numbers of columns and " ..
      "rows from 1, at most %d cells", where, tostring(columns), tostring(rows), kMaxCells))
    return nil
  end
  local count = columns * rows
  local first, last = values.first or 1, values.last or count
  if not (isWhole(first, 1, count) and isWhole(last, 1, count)) then
    Engine.report(string.format("%sfirst=\"%s\" last=\"%s\": cells are numbered 1 to %d (row by row from the " ..
      "top left)", where, tostring(first), tostring(last), count))
    return nil
  end
  if project:checkAsset("image", where, sheet) then
    local width, height = pictureSize(project, sheet)
    if width and (width % columns ~= 0 or height % rows ~= 0) then
      Engine.report(string.format("%spicture '%s' is %d x %d pixels, which %d columns and %d rows do not cut into " ..
        "equal cells of whole pixels", where, sheet, width, height, columns, rows))
    end
  end
  local cells, step = {}, first <= last and 1 or -1
  for cell = first, last, step do cells[#cells + 1] = cell - 1 end
  return cells
end

-- One <animation> element as a definition, or nil when it cannot play (reported).
local function readAnimation(project, file, node, sprite, taken)
  local values = Format.attributes(node, file, "animation")
  local where = Format.where(file, node) .. ": "
  if not values.name then
    Engine.report(where .. "<animation> needs a name: add name=\"...\" for playAnimation to use")
    return nil
  end
  where = string.format("%sanimation '%s': ", where, values.name)
  if taken[values.name] then
    Engine.report(where .. "the sprite already has an animation of that name; rename one")
    return nil
  end
  local fps = values.fps
  if not (fps > 0 and fps < math.huge) then
    Engine.report(string.format("%sfps=\"%s\": the frames per second must be above 0; 10 is used", where, tostring(fps)))
    fps = 10
  end
  local definition = {name = values.name, fps = fps, mode = values.mode, where = where}
  if values.images then
    for _, key in ipairs({"image", "columns", "rows", "first", "last"}) do
      if node[key] then
        Engine.report(string.format("%s%s=\"%s\" is ignored: the frames are the whole pictures of images", where,
          key, node[key]))
      end
    end
    for _, picture in ipairs(values.images) do project:checkAsset("image", where, picture) end
    definition.pictures = values.images
    definition.frames = {}
    for index = 1, #values.images do definition.frames[index] = index end
    if not definition.frames[1] then
      Engine.report(where .. "images=\"\" names no picture; name the frames' files of images/")
      return nil
    end
  else
    local sheet = values.image or sprite.image
    if not sheet then
      Engine.report(where .. "no picture to cut: give image=\"FILE\" here or on the <sprite>, or images=\"A B ...\"")
      return nil
    end
    definition.frames = readGrid(project, where, values, sheet)
    if not definition.frames then return nil end
    definition.sheet, definition.columns, definition.rows = sheet, values.columns, values.rows
  end
  taken[values.name] = true
  return definition
end

-- The animations of a sprite element, in document order, with their names sorted; reported
-- problems leave out what cannot play. The project check reads them the same way.
function Animation.read(project, file, spriteNode, spriteValues)
  local list, taken = {}, {}
  for index = 1, #spriteNode do
    local child = spriteNode[index]
    if type(child) == "table" and child[0] == "animation" then
      list[#list + 1] = readAnimation(project, file, child, spriteValues, taken)
    end
  end
  if not list[1] then return nil end
  local names = table.keys(taken)
  table.sort(names)
  list.names = names
  local start = spriteValues.animation
  if start and not taken[start] then
    Engine.report(string.format("%s: animation=\"%s\": %s", Format.where(file, spriteNode), start,
      messages.noAnimation(spriteValues.name or "sprite", start, names)))
  end
  return list
end

-- --- An animated actor ---

-- The frame at a position of the animation's cycle: forwards, then (ping-pong) back.
local function frameAt(definition, position)
  local count = #definition.frames
  if position < count then return position + 1 end
  return 2 * count - 1 - position
end

-- How many positions one cycle has; a once animation runs through its frames one time.
local function cycleLength(definition)
  local count = #definition.frames
  if definition.mode == "pingpong" then return math.max(2 * count - 2, 1) end
  return count
end

-- Shows the frame at the current position: a cell of the sheet, or a picture of the list
-- (each picture's loader is made once, so a frame costs a port value or a connection).
local function showFrame(state)
  local definition = state.current
  local frame = definition.frames[frameAt(definition, state.position)]
  if definition.sources then
    state.cellInput:setValue(definition.sources[frame])
  else
    state.cellPort:setValue(frame, true)
  end
end

-- The image port a picture comes from: the actor's own loader for its own picture (so
-- setImage changes that sheet), else one loader per picture name. Nil (reported) when this
-- player cannot load pictures.
local function pictureSource(actor, state, picture)
  if picture == actor.values.image and actor.imageLoader then return actor.imageLoader.asset end
  local source = state.sources[picture]
  if not source then
    local loader = actor:imageSource(picture)
    source = loader and loader.asset
    state.sources[picture] = source
  end
  return source
end

-- The animation as the actor plays it: its frames and the image ports they come from.
local function ownAnimation(actor, state, definition)
  local own = {name = definition.name, fps = definition.fps, mode = definition.mode, frames = definition.frames,
    columns = definition.columns or 1, rows = definition.rows or 1}
  if definition.pictures then
    own.sources = {}
    for index, picture in ipairs(definition.pictures) do
      own.sources[index] = pictureSource(actor, state, picture)
      if not own.sources[index] then return nil end
    end
  else
    own.sheet = pictureSource(actor, state, definition.sheet)
    if not own.sheet then return nil end
  end
  own.cycle = cycleLength(own)
  return own
end

-- Gives an actor built from a sprite element its animations and starts the first (or the one
-- its animation attribute names). The picture passes through a cell node before it is
-- flipped and drawn.
function Animation.attach(actor, definitions)
  if actor.kind ~= "sprite" or not definitions then return end
  local cell = actor:createNode(sg.imageCellNode)
  if not cell then
    Engine.report("this player cannot cut pictures into frames; animated sprites show their whole picture")
    return
  end
  local state = {actor = actor, byName = {}, names = definitions.names, sources = {}, position = 0, left = 0,
    cellInput = cell.input, cellPort = cell.cell, columnsPort = cell.columns, rowsPort = cell.rows}
  for _, definition in ipairs(definitions) do
    local own = ownAnimation(actor, state, definition)
    if not own then
      actor:removeNode(cell)
      return
    end
    state.byName[definition.name] = own
  end
  if not actor.flip then
    actor.flip = actor:createNode(sg.imageFlipNode)
    actor.flip.flipHorizontal:setValue(actor.values.flipX, true)
    actor.flip.flipVertical:setValue(actor.values.flipY, true)
  end
  actor.flip.input:setValue(cell.output)
  if actor.renderNode then actor.renderNode.image:setValue(actor.flip.output) end
  actor.animator = state
  local scene = actor.scene
  scene.animated = scene.animated or {}
  table.insert(scene.animated, state)
  local start = state.byName[actor.values.animation] or state.byName[definitions[1].name]
  Animation.start(state, start)
end

-- Starts an animation from its first frame.
function Animation.start(state, definition)
  state.current, state.position, state.left = definition, 0, 0
  state.running = true
  state.columnsPort:setValue(definition.columns, true)
  state.rowsPort:setValue(definition.rows, true)
  if definition.sheet then state.cellInput:setValue(definition.sheet) end
  if definition.sources then state.cellPort:setValue(0, true) end
  showFrame(state)
end

-- Moves an animation on by dt; returns true when a once animation has just ended.
local function step(state, dt)
  local definition = state.current
  local left = state.left + dt
  local steps = math.floor(left * definition.fps + kFrameSlack)
  if steps < 1 then
    state.left = left
    return false
  end
  state.left = left - steps / definition.fps
  local position = state.position + steps
  local ended = false
  if definition.mode == "once" then
    if position >= definition.cycle then
      position, ended = definition.cycle - 1, true
      state.running, state.left = false, 0
    end
  else
    position = position % definition.cycle
  end
  if position ~= state.position then
    state.position = position
    showFrame(state)
  end
  return ended
end

-- Advances every running animation of the scene (those started now too: their first frame
-- is already shown) and drops those of destroyed actors. onAnimationEnd is called on the
-- actor's behaviours once a once animation has shown its last frame for a whole frame.
function Animation.advance(scene, dt)
  local animated = scene.animated
  local count, dropped = #animated, false
  for index = 1, count do
    local state = animated[index]
    if state.actor.destroyed then
      dropped = true
    elseif state.running and not state.paused and step(state, dt) then
      scene:dispatchTo(state.actor, "onAnimationEnd", state.current.name)
    end
  end
  if not dropped then return end
  local kept = 0
  for index = 1, #animated do
    local state = animated[index]
    if not state.actor.destroyed then
      kept = kept + 1
      animated[kept] = state
    end
  end
  for index = #animated, kept + 1, -1 do animated[index] = nil end
end

-- --- The methods behaviours call ---

-- The actor's animations; raises at the behaviour's line when it has none.
local function animationsOf(self, method)
  if getmetatable(self) ~= Actor then
    error(string.format("call %s with a colon: actor:%s(...)", method, method), 3)
  end
  local state = self.animator
  if not state then error(method .. ": " .. messages.noAnimation(self.name, nil, {}), 3) end
  return state
end

-- Plays the named animation from its first frame; the animation already playing goes on.
function Actor:playAnimation(name)
  local state = animationsOf(self, "playAnimation")
  if type(name) ~= "string" then
    error("playAnimation: the animation name must be a string, got " .. type(name), 2)
  end
  local definition = state.byName[name]
  if not definition then error("playAnimation: " .. messages.noAnimation(self.name, name, state.names), 2) end
  if definition == state.current and state.running then
    state.paused = false
    return
  end
  state.paused = false
  Animation.start(state, definition)
end

-- Holds the frame shown; resumeAnimation goes on from there.
function Actor:pauseAnimation()
  animationsOf(self, "pauseAnimation").paused = true
end

function Actor:resumeAnimation()
  animationsOf(self, "resumeAnimation").paused = false
end

-- Stops and shows the animation's first frame; playAnimation starts it again.
function Actor:stopAnimation()
  local state = animationsOf(self, "stopAnimation")
  state.running, state.paused, state.position, state.left = false, false, 0, 0
  showFrame(state)
end

-- The current animation's name, and the number of the frame shown (from 1).
function Actor:animation()
  local state = animationsOf(self, "animation")
  return state.current.name, frameAt(state.current, state.position)
end

-- Whether the animation moves on: false once stopped, paused, or when a once animation ended.
function Actor:isAnimating()
  local state = animationsOf(self, "isAnimating")
  return state.running and not state.paused
end
