-- Runs while it slides in; its change of scene waits until the slide has ended.
function onStart() game.state.updates = 0 changeScene("slideEnd") end
function onUpdate() game.state.updates = game.state.updates + 1 end
