-- The sprite comparison in LÖVE: SPRITE_COUNT (from the environment) sprites moved every frame
-- on the same paths as the player's sprite benchmark: an 8 × 8 white picture, or with
-- SPRITE_TEXTURED=1 the same 32 × 32 picture as the player's; prints the same frame statistics
-- line as quillane-player --timing after 600 frames.
local count = tonumber(os.getenv("SPRITE_COUNT")) or 1000
local textured = os.getenv("SPRITE_TEXTURED") == "1"
local sprites, image, half, clock, intervals, last = {}, nil, 4, 0, {}, nil
local width, height

function love.load()
  width, height = love.graphics.getDimensions()
  local data
  if textured then
    data = love.image.newImageData(32, 32)
    data:mapPixel(function(x, y) return x * 8 / 255, y * 8 / 255, (255 - x * 4) / 255, 1 end)
    half = 16
  else
    data = love.image.newImageData(8, 8)
    data:mapPixel(function() return 1, 1, 1, 1 end)
  end
  image = love.graphics.newImage(data)
  for i = 1, count do sprites[i] = {phase = i * 0.37, x = 0, y = 0} end
end

function love.update(dt)
  clock = clock + dt
  local hw, hh = width / 2, height / 2
  for i = 1, #sprites do
    local s = sprites[i]
    s.x = hw + (hw - 20) * math.sin(clock + s.phase)
    s.y = hh + (hh - 20) * math.cos(clock * 1.3 + s.phase)
  end
end

function love.draw()
  for i = 1, #sprites do
    local s = sprites[i]
    love.graphics.draw(image, s.x - half, height - s.y - half)
  end
  local now = love.timer.getTime()
  if last then intervals[#intervals + 1] = now - last end
  last = now
  if #intervals == 600 then
    local sum = 0
    for _, v in ipairs(intervals) do sum = sum + v end
    table.sort(intervals)
    print(string.format("timing: frames %d, mean %.3f ms, p99 %.3f ms", #intervals, sum / #intervals * 1000,
                        intervals[math.ceil(0.99 * #intervals)] * 1000))
    love.event.quit()
  end
end
