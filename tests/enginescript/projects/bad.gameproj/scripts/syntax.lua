-- A behaviour that does not compile.
function onUpdate(dt)
  local x = = 1
end
