-- Says how often the scene before it updated: its change of scene waited for the slide.
function onStart() log("slideEnd after", game.state.updates, "slideTo updates") end
