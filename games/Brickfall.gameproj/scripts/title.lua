-- The title scene: keys for the buttons, the best score and the player's name.
local function showPlayer()
  local name = loadValue("playerName")
  if name then log("player: " .. tostring(name)) end
  actor("player"):setText(name and ("Player: " .. name) or "Press N to enter your name")
end

function onStart()
  local best, holder = loadValue("score1"), loadValue("name1")
  if best then
    actor("best"):setText(string.format("Best: %s  %d", tostring(holder), best))
    log(string.format("title: best %s %d", tostring(holder), best))
  end
  showPlayer()
end

function onKeyDown(key)
  if key == "space" or key == "return" then
    changeScene("play")
  elseif key == "h" then
    changeScene("scores")
  elseif key == "a" then
    openURL("about.html")
  elseif key == "n" then
    askText("Your name for the high-score table", loadValue("playerName") or "")
  end
end

function onTextEntered(text)
  if text ~= "" then saveValue("playerName", text) end
  showPlayer()
end
