-- Destroys its actor inside the collision callback: the body must go only after the step.
function onCollision(other)
  self:destroy()
  self:destroy()
end
