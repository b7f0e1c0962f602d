-- The game of the overlays scene: squares that turn and a clock, until it pushes its pause
-- menu after half a second; while the menu is pushed all of it waits.
function onStart()
  for index, name in ipairs({"red", "green", "blue"}) do
    tween(actor(name), {angle = 360}, 1 + index / 2)
  end
  after(0.5, function() pushScene("pausemenu") end)
end

function onUpdate()
  actor("clock"):setText(string.format("game time %.2f s", time()))
end
