-- Inside the collision callback: spawns an actor with a body, moves and widens the actor it
-- hit and destroys its own actor; each body change must take effect just after the step.
function onCollision(other)
  spawn("spark", 150, 150)
  other:moveTo(60, 40)
  other:setSize(100, 10)
  self:destroy()
  self:destroy()
end
