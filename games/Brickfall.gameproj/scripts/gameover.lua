-- The end of a game: shows the score and, when it makes the high-score table, asks for the
-- player's name; the table itself is updated by the scores scene.
local kTableSize = 5

local score = loadValue("lastScore") or 0
local asked = false

local function makesTheTable()
  return score > 0 and score > (loadValue("score" .. kTableSize) or 0)
end

function onStart()
  playSound("gameover.ogg", 0.8)
  if loadValue("lastWon") == 1 then actor("headline"):setText("YOU WIN!") end
  actor("score"):setText("Score " .. score)
  saveValue("pendingEntry", 0)
  if makesTheTable() then
    asked = true
    actor("news"):setText("A new high score! Type your name.")
    askText("A new high score! Your name:", loadValue("playerName") or "")
  end
end

function onTextEntered(text)
  if not asked then return end
  asked = false
  if text == "" then text = loadValue("playerName") or "Player" end
  saveValue("playerName", text)
  saveValue("pendingEntry", 1)
  changeScene("scores")
end

-- Waits a moment before keys and clicks count, so that a key still held from play does not
-- skip the scene, and while the name is being asked.
local function canLeave()
  return not asked and time() > 1
end

function onKeyDown(key)
  if canLeave() and (key == "space" or key == "return" or key == "esc") then changeScene("scores") end
end

function onMouseDown()
  if canLeave() then changeScene("scores") end
end
