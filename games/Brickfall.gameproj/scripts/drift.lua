-- The title's ball drifts back and forth above the bricks.
function onUpdate()
  self:moveTo(240 + 150 * math.sin(time() * 1.3), 292 - 6 * math.abs(math.cos(time() * 2.6)))
end
