-- The sprite benchmark's engine script: SPRITE_COUNT coloured 8 × 8 sprites, each moved every
-- frame through its x and y ports and drawn by the scene graph. The count comes from the
-- project's game.lua ("spriteCount = N").
game = {attributes = {displaySize = {width = {_value = 800}, height = {_value = 600}}}}
devices = {}
function devices:setScreenSize(width, height) end

local scene, sprites, clock = nil, {}, 0

function initEngine() end

Project = {}
function Project.new(class) return setmetatable({}, {__index = class}) end
function Project:load(path)
  dofile(path .. "/game.lua")
  scene = scenegraph.scene.new(nil, nil)
  local space = scene:defaultSpace()
  local clear = space:createNode(scenegraph.clearNode)
  local black = space:createNode(scenegraph.colorNode)
  black.r:setValue(0, true)
  black.g:setValue(0, true)
  black.b:setValue(0, true)
  clear.color:setValue(black.output)
  for i = 1, spriteCount do
    local sprite = space:createNode(scenegraph.spriteNode)
    sprite.width:setValue(8, true)
    sprite.height:setValue(8, true)
    sprites[i] = {node = sprite, phase = i * 0.37}
  end
end

function update(dt)
  clock = clock + dt
  for i = 1, #sprites do
    local s = sprites[i]
    s.node.x:setValue(400 + 380 * math.sin(clock + s.phase), true)
    s.node.y:setValue(300 + 280 * math.cos(clock * 1.3 + s.phase), true)
  end
  scene:render()
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
