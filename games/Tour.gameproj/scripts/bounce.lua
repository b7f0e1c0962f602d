-- Beeps when its actor hits something, and drops a new ball with the space key.
function onCollision(other)
  playSound("beep.wav", 0.5)
end

function onKeyDown(key)
  if key == "space" then spawn("ball", 240, 300) end
end
