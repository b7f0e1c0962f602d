-- Logs the contact of its fall and welds itself to what it lands on, during the step.
local weld, made

function onCollision(other, contact)
  local _, vy = self:velocity()
  local expected = 0.16 * -vy  -- the mass of 20 x 20 units at density 1 (50 units a metre)
  log(string.format("contact %s %.1f %.1f %d %.0f", other.name, contact.normalX, contact.normalY,
    #contact.points, contact.y), "hard", math.abs(contact.impulse - expected) < 0.05 * expected)
  weld = makeJoint("weld", self, other)
  log("weld waits", weld:isAlive(), weld:anchors())
end

function onUpdate()
  if weld and not made then
    made = true
    log("weld made", weld:isAlive(), weld:anchors() ~= nil)
  end
end
