-- The sprite comparison in LÖVE: SPRITE_COUNT (from the environment) 8 x 8 sprites of one
-- white texture, each moved every frame on the same paths as the player's sprite benchmark;
-- prints the same frame statistics line as quillane-player --timing after 600 frames.
local count = tonumber(os.getenv("SPRITE_COUNT")) or 1000
local sprites, image, clock, intervals, last = {}, nil, 0, {}, nil

function love.load()
  local data = love.image.newImageData(8, 8)
  data:mapPixel(function() return 1, 1, 1, 1 end)
  image = love.graphics.newImage(data)
  for i = 1, count do sprites[i] = {phase = i * 0.37, x = 0, y = 0} end
end

function love.update(dt)
  clock = clock + dt
  for i = 1, #sprites do
    local s = sprites[i]
    s.x = 400 + 380 * math.sin(clock + s.phase)
    s.y = 300 + 280 * math.cos(clock * 1.3 + s.phase)
  end
end

function love.draw()
  for i = 1, #sprites do
    local s = sprites[i]
    love.graphics.draw(image, s.x - 4, 600 - s.y - 4)
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
