-- M turns the music off and on in every scene; the choice is saved, so a muted game stays
-- muted in the next run.
local function muted()
  return loadValue("muted") == 1
end

function onStart()
  if muted() then stopMusic() end
end

function onKeyDown(key)
  if key ~= "m" then return end
  if muted() then
    saveValue("muted", 0)
    playMusic("music.ogg")
  else
    saveValue("muted", 1)
    stopMusic()
  end
end
