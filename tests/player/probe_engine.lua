-- A small engine script for the player's tests: it logs every call the player makes on
-- standard output ("probe: ..."), draws a frame that changes with the game clock, and runs
-- the game file "game.lua" of the project folder, which may change any of this.
io.stdout:setvbuf("line")

function log(...)
  local parts = {}
  for i = 1, select("#", ...) do parts[#parts + 1] = tostring((select(i, ...))) end
  print("probe: " .. table.concat(parts, " "))
end

game = {attributes = {displaySize = {width = {_value = 240}, height = {_value = 160}}}}
devices = {}
function devices:setScreenSize(width, height) log("screen", width, height) end

local scene, sprite, background
clock = 0
frames = 0

function initEngine()
  log("initEngine")
  scene = scenegraph.scene.new(nil, nil)
  local space = scene:defaultSpace()
  local clear = space:createNode(scenegraph.clearNode)
  background = space:createNode(scenegraph.colorNode)
  background.r:setValue(0, true)
  background.g:setValue(0, true)
  background.b:setValue(0.5, true)
  clear.color:setValue(background.output)
  sprite = space:createNode(scenegraph.spriteNode)
  local red = space:createNode(scenegraph.colorNode)
  red.g:setValue(0, true)
  red.b:setValue(0, true)
  sprite.color:setValue(red.output)
  sprite.width:setValue(20, true)
  sprite.height:setValue(20, true)
end

function shutdownEngine() log("shutdownEngine") end

Project = {}
function Project.new(class) return setmetatable({}, {__index = class}) end
function Project:load(path)
  log("load", path)
  local gameFile = loadfile(path .. "/game.lua")
  if gameFile then gameFile() end
end

function draw()
  sprite.x:setValue(20 + (clock * 60) % 200, true)
  sprite.y:setValue(80, true)
  scene:render()
end

function update(dt)
  frames = frames + 1
  clock = clock + dt
  if onUpdate then onUpdate(dt) end
  draw()
end

function render() draw() end
function play() log("play") end
function stop() log("stop") end
function reset() log("reset") end
function systemInitiatedPause() log("pause", "system") end
function behaviorInitiatedPause() log("pause", "behavior") end
function keyDown(name) log("keyDown", name) end
function keyUp(name) log("keyUp", name) end
function mouseDown(x, y) log("mouseDown", x, y) end
function mouseUp(x, y) log("mouseUp", x, y) end
function mouseMoved(x, y) log("mouseMoved", x, y) end
function raiseExternalEvent(name, arguments) log("event", name, arguments[1]) end
