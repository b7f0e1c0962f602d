-- The rules of play, attached to the ball because collisions reach the behaviours of the
-- actors that touch: the paddle (arrow keys and mouse), launching, bouncing with angle
-- control, bricks laid out from each level's table, score, lives, levels and pause.
local kFieldLeft, kFieldRight = 8, 472
local kPaddleY, kPaddleSpeed = 24, 420
local kRestY = kPaddleY + 13
local kFirstColumnX, kColumnStep = 60, 40
local kTopRowY, kRowStep = 268, 18
local kMaxBounceDegrees = 62       -- off the vertical, at the paddle's very ends
local kMinVerticalShare = 0.28     -- keeps the ball from crawling sideways for ever
local kSpeedUpPerBrick, kMaxSpeedGain = 2.5, 130
local kLives = 3

local levels = readTable("levels")
local paddle, paddleHalf

local score, lives, level = 0, kLives, 1
local baseSpeed, speed = 0, 0
local launched, paused = false, false
local heldVelocity = {0, 0}
local bricks = {}                  -- brick actor -> {hits, points, r, g, b, place}
local bricksLeft = 0
local levelCleared = false         -- the next level is built after the physics step

local function clamp(value, low, high)
  return math.max(low, math.min(high, value))
end

local function showStatus()
  actor("score"):setText("Score " .. score)
  actor("lives"):setText("Lives " .. lives)
  actor("level"):setText("Level " .. level .. ": " .. levels:get(level, "title"))
end

local function say(message, hint)
  actor("message"):setText(message)
  actor("hint"):setText(hint or "")
end

-- A brick that takes more hits is drawn darker; each hit brightens it.
local function tint(brick, info)
  local shade = 1 - 0.22 * (info.hits - 1)
  brick:setColor(info.r * shade, info.g * shade, info.b * shade, 1)
end

local function buildLevel()
  local data = readTable(levels:get(level, "table"))
  for row = 1, data:rows() do
    local pattern = tostring(data:get(row, "pattern"))
    local r, g, b = string.match(data:get(row, "color"), "(%S+)%s+(%S+)%s+(%S+)")
    for column = 1, #pattern do
      local hits = tonumber(string.sub(pattern, column, column))
      if hits and hits > 0 then
        local brick = spawn("brick", kFirstColumnX + (column - 1) * kColumnStep,
          kTopRowY - (row - 1) * kRowStep)
        local info = {hits = hits, points = data:get(row, "points"), r = tonumber(r),
          g = tonumber(g), b = tonumber(b), place = string.format("row %d column %d", row, column)}
        bricks[brick] = info
        tint(brick, info)
        bricksLeft = bricksLeft + 1
      end
    end
  end
  baseSpeed = levels:get(level, "speed")
  speed = baseSpeed
  showStatus()
end

-- The ball waits on the paddle until space or a click launches it.
local function restOnPaddle()
  launched = false
  self:setVelocity(0, 0)
  self:moveTo(paddle.x, kRestY)
  say("Level " .. level .. ": " .. levels:get(level, "title"), "Space or click to launch")
end

local function launch()
  if launched or paused then return end
  launched = true
  local radians = math.rad(18)
  self:setVelocity(speed * math.sin(radians), speed * math.cos(radians))
  say("")
end

local function movePaddleTo(x)
  paddle:moveTo(clamp(x, kFieldLeft + paddleHalf, kFieldRight - paddleHalf), kPaddleY)
  if not launched then self:moveTo(paddle.x, kRestY) end
end

local function setPaused(on)
  if on == paused then return end
  paused = on
  log(on and "paused" or "going on")
  if on then
    heldVelocity = {self:velocity()}
    self:setVelocity(0, 0)
    say("Paused", "P to go on")
  else
    self:setVelocity(heldVelocity[1], heldVelocity[2])
    if launched then say("") else restOnPaddle() end
  end
end

local function endGame(won)
  saveValue("lastScore", score)
  saveValue("lastWon", won and 1 or 0)
  log(string.format("game over: score %d, level %d", score, level))
  changeScene("gameover")
end

local function loseBall()
  lives = lives - 1
  playSound("lose.ogg", 0.8)
  log(string.format("ball lost: %d lives left", lives))
  showStatus()
  if lives <= 0 then
    endGame(false)
  else
    speed = baseSpeed
    restOnPaddle()
  end
end

local function nextLevel()
  if level >= levels:rows() then
    endGame(true)
    return
  end
  level = level + 1
  playSound("level.ogg", 0.8)
  log("level " .. level)
  buildLevel()
  restOnPaddle()
end

local function hitBrick(brick)
  local info = bricks[brick]
  if not info then return end
  info.hits = info.hits - 1
  speed = math.min(speed + kSpeedUpPerBrick, baseSpeed + kMaxSpeedGain)
  playSound("brick.ogg", 0.6)
  if info.hits > 0 then
    tint(brick, info)
    return
  end
  bricks[brick] = nil
  bricksLeft = bricksLeft - 1
  score = score + info.points
  for _, name in ipairs({"sparksLeft", "sparksUp", "sparksRight", "sparksDown"}) do
    spawn(name, brick.x, brick.y):setColor(info.r, info.g, info.b, 1)
  end
  brick:destroy()
  log(string.format("brick at %s broken: score %d", info.place, score))
  showStatus()
  if bricksLeft == 0 then levelCleared = true end
end

-- Where the ball meets the paddle sets the angle: the centre sends it straight up, the
-- ends sideways.
local function bounceOffPaddle()
  local _, vy = self:velocity()
  if not launched or vy > 0 or self.y < paddle.y then return end
  local offset = clamp((self.x - paddle.x) / (paddleHalf + 6), -1, 1)
  local radians = math.rad(offset * kMaxBounceDegrees)
  self:setVelocity(speed * math.sin(radians), speed * math.cos(radians))
  playSound("paddle.ogg", 0.6)
end

-- Keeps the ball at the current speed and never too flat.
local function steadyBall()
  local vx, vy = self:velocity()
  local length = math.sqrt(vx * vx + vy * vy)
  if length < 1 then return end
  vx, vy = vx / length, vy / length
  if math.abs(vy) < kMinVerticalShare then
    vy = (vy < 0 and -1 or 1) * kMinVerticalShare
    vx = (vx < 0 and -1 or 1) * math.sqrt(1 - vy * vy)
  end
  self:setVelocity(vx * speed, vy * speed)
end

function onStart()
  paddle = actor("paddle")
  paddleHalf = paddle:size() / 2
  buildLevel()
  restOnPaddle()
end

function onUpdate(dt)
  if paused then return end
  if levelCleared then
    levelCleared = false
    nextLevel()
  end
  if isKeyDown("left") then movePaddleTo(paddle.x - kPaddleSpeed * dt) end
  if isKeyDown("right") then movePaddleTo(paddle.x + kPaddleSpeed * dt) end
  if not launched then return end
  steadyBall()
  if self.y < -12 then loseBall() end
end

function onMouseMoved(x)
  if not paused then movePaddleTo(x) end
end

function onMouseDown()
  launch()
end

function onKeyDown(key)
  if key == "space" or key == "up" then
    launch()
  elseif key == "p" then
    setPaused(not paused)
  elseif key == "esc" then
    changeScene("title")
  end
end

-- The player paused the game (its window lost focus): stay paused until P.
function onPause()
  setPaused(true)
end

function onCollision(other)
  if other.name == "brick" then
    hitBrick(other)
  elseif other.name == "paddle" then
    bounceOffPaddle()
  elseif launched then
    playSound("wall.ogg", 0.4)
  end
end
