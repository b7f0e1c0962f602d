-- The game under a pushed menu: its clock, tween and timer stop while the menu is pushed and
-- go on from where they were after popScene; keys reach it only when the menu has gone.
local updates = 0

function onStart()
  tween(actor("box"), {x = 58}, 2)
  every(0.25, function() log("tick at game time", time()) end)
end

function onUpdate()
  updates = updates + 1
  if updates == 5 then
    pushScene("stackMenu")
    log("pushed at", time(), actor("box").x)
  elseif updates == 6 then
    log("resumed at", time(), actor("box").x)
  end
end

function onKeyDown(key) log("game key", key) end

-- The player pauses the game: the menu is there when it goes on.
function onPause() pushScene("stackMenu") end
