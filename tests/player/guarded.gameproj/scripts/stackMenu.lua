-- A pause menu: it runs and takes the keys while the game below waits; return ends it.
function onStart() log("menu over the game; running scene", sceneName()) end

function onKeyDown(key)
  log("menu key", key)
  if key == "return" then popScene() end
end
