-- Slides to the next scene at once.
function onStart() changeScene("slideTo", {transition = "slide", seconds = 1}) end
