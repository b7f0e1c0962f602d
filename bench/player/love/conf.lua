-- LÖVE settings of the sprite comparison: an 800 x 600 window without vertical sync.
function love.conf(t)
  t.window.title = "sprites"
  t.window.width = 800
  t.window.height = 600
  t.window.vsync = 0
  t.modules.audio = false
  t.modules.sound = false
end
