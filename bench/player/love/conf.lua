-- LÖVE settings of the sprite comparison: a window of SPRITE_WIDTH × SPRITE_HEIGHT (from the
-- environment, 800 × 600 by default) without vertical sync.
function love.conf(t)
  t.window.title = "sprites"
  t.window.width = tonumber(os.getenv("SPRITE_WIDTH")) or 800
  t.window.height = tonumber(os.getenv("SPRITE_HEIGHT")) or 600
  t.window.vsync = 0
  t.modules.audio = false
  t.modules.sound = false
end
