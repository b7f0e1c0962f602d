-- Tries one name games may not use on each frame: each error is reported and the game goes on.
local tries = {
  function() return io.open end,
  function() return os.execute end,
  function() return os.exit end,
  function() return os.remove end,
  function() return os.rename end,
  function() return os.getenv end,
  function() return package.loaded end,
  function() return debug.getinfo end,
  function() return loadstring end,
  function() return load end,
  function() return loadfile end,
  function() return dofile end,
  function() return module end,
  function() return getmetatable end,
  function() return setfenv end,
  function() return rawset end,
  function() return _G end,
}
local frame = 0

function onUpdate()
  frame = frame + 1
  if tries[frame] then tries[frame]() end
  if frame == #tries + 1 then
    log("still playing;", "what games keep:", os.time() > 0, math.floor(2.5), string.format("%03d", 7), mine == nil)
  end
end
