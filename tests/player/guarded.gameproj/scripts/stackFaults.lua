-- One misuse of the scene functions each update; the last fills the pile of pushed scenes.
local misuses = {
  function() popScene() end,
  function() pushScene("nowhere") end,
  function() changeScene("nowhere", {transition = "fade"}) end,
  function() changeScene("stackFaults", {transition = "wipe"}) end,
  function() changeScene("stackFaults", {transition = "fade", seconds = 0}) end,
  function() changeScene("stackFaults", {transition = "fade", direction = "left"}) end,
  function() changeScene("stackFaults", {speed = 2}) end,
  function() changeScene("stackFaults", "fade") end,
  function() pushScene("stackEmpty", {transition = "fade"}) end,
  function() popScene("stackEmpty") end,
  function() changeScene({}) end,
  function() for _ = 1, 8 do pushScene("stackEmpty") end popScene() pushScene("stackEmpty") pushScene("stackEmpty") end,
}
local updates = 0

function onUpdate()
  updates = updates + 1
  log("faults update", updates)
  if misuses[updates] then misuses[updates]() end
end
