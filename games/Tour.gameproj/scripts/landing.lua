-- Says where and how hard this body of two shapes first landed.
local landed = false

function onCollision(other, contact)
  if landed or not contact.x then return end
  landed = true
  actor("impact"):setText(string.format("landed on %s at %.0f, %.0f: impulse %.1f", other.name, contact.x,
    contact.y, contact.impulse))
end
