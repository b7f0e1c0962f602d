-- A behaviour that counts its frames.
frames = 0

function onUpdate(dt)
  frames = frames + 1
end
