-- The sprite benchmark's engine script: spriteCount sprites, each moved every frame through
-- its x and y ports and drawn by the scene graph: coloured 8 × 8 quads, or, with textured set,
-- the project's 32 × 32 picture "sprite.bmp" at its own size. The project's game.lua sets
-- spriteCount, textured, width and height (the window). The script keeps each sprite's x and
-- y port references, so a frame's port updates make no garbage; after a warm-up it stops the
-- collector for measuredFrames frames and prints how many bytes the interpreter allocated
-- (the player must run at least warmUpFrames + 1 + measuredFrames frames).
game = {attributes = {displaySize = {width = {_value = 800}, height = {_value = 600}}}}
devices = {}
function devices:setScreenSize(width, height) end

local scene, sprites, clock, frame = nil, {}, 0, 0
local warmUpFrames, measuredFrames, bytesBefore = 60, 600, 0

function initEngine()
  if assetManager and not sharedAssetManager then sharedAssetManager = assetManager.new() end
end

Project = {}
function Project.new(class) return setmetatable({}, {__index = class}) end
function Project:pathForImage(name) return self.path .. "/" .. name end
function Project:pathForSound(name) return self.path .. "/" .. name end
function Project:load(path)
  self.path = path
  dofile(path .. "/game.lua")
  game.attributes.displaySize.width._value = width or 800
  game.attributes.displaySize.height._value = height or 600
  scene = scenegraph.scene.new(nil, sharedAssetManager)
  local space = scene:defaultSpace()
  local clear = space:createNode(scenegraph.clearNode)
  local black = space:createNode(scenegraph.colorNode)
  black.r:setValue(0, true)
  black.g:setValue(0, true)
  black.b:setValue(0, true)
  clear.color:setValue(black.output)
  local picture, size = nil, 8
  if textured then
    picture = space:createNode(scenegraph.imageLoaderNode)
    picture.name:setValue("sprite.bmp", true)
    size = 32
  end
  for i = 1, spriteCount do
    local sprite = space:createNode(scenegraph.spriteNode)
    sprite.width:setValue(size, true)
    sprite.height:setValue(size, true)
    if picture then sprite.image:setValue(picture.asset) end
    sprites[i] = {x = sprite.x, y = sprite.y, phase = i * 0.37}
  end
end

-- The collector is stopped one frame before the count starts: a full collection shrinks the
-- interpreter's buffers, and the first frame after it grows them back once.
local function countFrame()
  frame = frame + 1
  if frame == warmUpFrames then
    collectgarbage("collect")
    collectgarbage("stop")
  elseif frame == warmUpFrames + 1 then
    bytesBefore = collectgarbage("count") * 1024
  elseif frame == warmUpFrames + 1 + measuredFrames then
    local bytes = collectgarbage("count") * 1024 - bytesBefore
    collectgarbage("restart")
    print(string.format("interpreter: %.0f bytes allocated over %d frames, %.1f per frame",
      bytes, measuredFrames, bytes / measuredFrames))
  end
end

function update(dt)
  clock = clock + dt
  local halfWidth, halfHeight = game.attributes.displaySize.width._value / 2,
    game.attributes.displaySize.height._value / 2
  for i = 1, #sprites do
    local s = sprites[i]
    s.x:setValue(halfWidth + (halfWidth - 20) * math.sin(clock + s.phase), true)
    s.y:setValue(halfHeight + (halfHeight - 20) * math.cos(clock * 1.3 + s.phase), true)
  end
  scene:render()
  countFrame()
end

function render() scene:render() end
function play() end
function stop() end
function reset() end
function mouseMoved() end
function mouseDown() end
function mouseUp() end
function keyDown() end
function keyUp() end
