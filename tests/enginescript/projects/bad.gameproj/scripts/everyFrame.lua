-- A behaviour that fails on every frame.
function onUpdate(dt)
  local missing = nil
  return missing.field
end
