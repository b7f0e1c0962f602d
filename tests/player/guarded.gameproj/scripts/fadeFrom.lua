-- Fades to the next scene at once; its own updates stop while it fades out.
local updates = 0
function onStart() changeScene("fadeTo", {transition = "fade", seconds = 1}) end
function onUpdate() updates = updates + 1 log("fadeFrom update", updates) end
