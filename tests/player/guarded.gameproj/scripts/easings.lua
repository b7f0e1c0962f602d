-- Tweens a sprite from x 0 to 100 in one second with each easing; logs x half way and at the
-- end, and a sprite with a body grown, turned and faded at once.
local names = {"linear", "quadIn", "quadOut", "cubicIn", "cubicInOut", "sineIn", "backIn", "elasticOut",
  "bounceOut", "quadInOut"}
local movers = {}
local updates = 0

function onStart()
  for index, name in ipairs(names) do
    movers[index] = spawn("mover", 0, index)
    tween(movers[index], {x = 100}, 1, name)
  end
  tween(actor("grower"), {scale = 2.5, angle = 90, alpha = 0.25, y = 10}, 0.5, {easing = "sineInOut"})
end

function onUpdate()
  updates = updates + 1
  if updates ~= 31 and updates ~= 62 then return end
  for index, name in ipairs(names) do
    local x = movers[index]:position()
    log(updates == 31 and "half" or "end", name, updates == 31 and string.format("%.1f", x) or x)
  end
  if updates == 62 then
    local grower = actor("grower")
    local _, _, _, alpha = grower:getColor()
    log("grower", grower:size(), grower:angle(), alpha, grower:position())
  end
end
