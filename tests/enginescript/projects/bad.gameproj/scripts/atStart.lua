-- A behaviour that fails when it starts.
function onStart()
  error("cannot start")
end
