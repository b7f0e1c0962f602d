-- Asks during the physics step for a joint that cannot be made: reported once the step is over.
function onCollision(other)
  makeJoint("prismatic", self, other, {axis = {0, 0}})
  log("asked during the step")
end
