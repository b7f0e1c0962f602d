-- Counts its callbacks and keeps what the format tests ask about.
started = 0
updates = 0

function onStart()
  started = started + 1
end

function onUpdate(dt)
  updates = updates + 1
end
