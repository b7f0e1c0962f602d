-- The assetManager script library: names tables, lists, deletion, misuse, and failures of
-- the project's path function reaching the script while the manager stays as it was.
local check = require("check")

local resolved = {}
project = {}
function project:pathForImage(name)
  resolved[name] = (resolved[name] or 0) + 1
  if name == "raise" then error("no such picture in the project") end
  if name == "number" then return 42 end
  if name == "unknown" then return nil end
  -- Files that do not exist load as the fallback picture.
  return "/nonexistent/" .. name .. ".png"
end

local function sortedNames(t)
  local names = {}
  for i = 0, #t do names[#names + 1] = t[i] end
  return table.concat(names, ",")
end

check.test("imageNames are sorted byte for byte from key 0", function()
  local am = assetManager.new()
  check.equal(next(am:imageNames()), nil, "empty manager")
  am:loadImageForName("b")
  am:loadImageForName("a")
  am:loadImageForName("B")
  local names = am:imageNames()
  check.equal(names[0], "B", "key 0")
  check.equal(names[2], "b", "key 2")
  check.equal(#names, 2, "length operator")
  am:delete()
end)

check.test("lists: duplicates load once, clean-up keeps the listed names", function()
  local am = assetManager.new()
  resolved = {}
  am:cleanupAndLoadImages({"x", "x", y = "y"})
  check.equal(resolved.x, 1, "x resolved once")
  check.equal(sortedNames(am:imageNames()), "x,y", "loaded")
  am:cleanupUnusedImages({"y"})
  check.equal(sortedNames(am:imageNames()), "y", "kept")
  am:loadImages({"z"})
  am:unloadImage("y")
  am:clearForFreedImages()
  check.equal(sortedNames(am:imageNames()), "z", "after unload")
  am:unloadAllImages()
  check.equal(next(am:imageNames()), nil, "all unloaded")
  check.raises("strings) are expected", function() am:loadImages({{}}) end)
  am:delete()
end)

check.test("path function failures reach the script and change nothing", function()
  local am = assetManager.new()
  am:loadImageForName("kept")
  check.raises("no such picture in the project", function() am:loadImageForName("raise") end)
  check.raises("returned a number", function() am:loadImageForName("number") end)
  am:loadImageForName("unknown")
  am:loadImageForName("../escape")
  check.equal(sortedNames(am:imageNames()), "kept", "only the good name")
  local saved = project
  project = nil
  check.raises("no global table 'project'", function() am:loadImageForName("other") end)
  project = saved
  am:delete()
end)

check.test("a manager made in a coroutine loads after the coroutine has gone", function()
  local loading = coroutine.create(function()
    local am = assetManager.new()
    am:loadImageForName("early")
    coroutine.yield(am)
    check.raises("no such picture in the project", function() am:loadImageForName("raise") end)
  end)
  local _, am = assert(coroutine.resume(loading))
  assert(coroutine.resume(loading))
  check.equal(coroutine.status(loading), "dead", "the loading coroutine finished")
  loading = nil
  collectgarbage()
  am:loadImageForName("late")
  check.equal(sortedNames(am:imageNames()), "early,late", "both loaded")
  am:delete()
end)

check.test("delete, deleted managers and wrong objects", function()
  local am = assetManager.new()
  am:delete()
  am:delete()
  am:flushAssets()
  check.raises("the asset manager was deleted", function() am:imageNames() end)
  check.raises("asset manager expected", function() assetManager.imageNames({}) end)
  check.raises("asset manager expected", function() scenegraph.scene.new(nil, {}) end)
  check.raises("expects 2 arguments", function() assetManager.loadImageForName("a") end)
end)

check.test("a path function cannot delete the manager while it loads", function()
  local am = assetManager.new()
  local saved = project.pathForImage
  function project:pathForImage(name) am:delete() return "x.png" end
  check.raises("is loading an asset", function() am:loadImageForName("a") end)
  project.pathForImage = saved
  am:delete()
end)

check.test("scenes hand their manager to loader nodes, which draw the image", function()
  local am = assetManager.new()
  local scene = scenegraph.scene.new(nil, am)
  local space = scene:defaultSpace()
  local loader = space:createNode(scenegraph.imageLoaderNode)
  loader.name:setValue("picture", true)
  local sprite = space:createNode(scenegraph.spriteNode)
  sprite.image:setValue(loader.asset)
  scene:render()
  check.equal(sortedNames(am:imageNames()), "picture", "loaded by the node")
  am:delete()
  scene:render()
  check.equal(space:createNode(scenegraph.imageLoaderNode) ~= nil, true, "still made without a manager")
  scene:delete()
end)

-- A short 16-bit mono WAV square wave.
local function writeWav(path)
  local function u16(n) return string.char(n % 256, math.floor(n / 256) % 256) end
  local function u32(n) return u16(n % 65536) .. u16(math.floor(n / 65536)) end
  local samples = {}
  for i = 1, 800 do samples[i] = (i % 20 < 10) and u16(8192) or u16(57344) end
  local data = table.concat(samples)
  local file = assert(io.open(path, "wb"))
  file:write("RIFF", u32(36 + #data), "WAVEfmt ", u32(16), u16(1), u16(1), u32(8000), u32(16000),
    u16(2), u16(16), "data", u32(#data), data)
  file:close()
end

check.test("sounds: loader and player nodes play, decoder failures are script errors", function()
  local dir = check.workDir()
  writeWav(dir .. "/beep.wav")
  local broken = assert(io.open(dir .. "/broken.ogg", "wb"))
  broken:write("not a sound")
  broken:close()
  function project:pathForSound(name) return dir .. "/" .. name end
  local sm = soundManager.new()
  local am = assetManager.new()
  local scene = scenegraph.scene.new(sm, am)
  local space = scene:defaultSpace()
  local loader = space:createNode(scenegraph.soundLoaderNode)
  loader.name:setValue("beep.wav", true)
  local player = space:createNode(scenegraph.soundPlayerNode)
  player.sound:setValue(loader.asset)
  player.trigger:setValue(true, true)
  check.equal(player.playing:value(), true, "playing")
  check.equal(am:soundNames()[0], "beep.wav", "loaded by the loader")
  check.raises("broken.ogg", function() am:loadSoundForName("broken.ogg") end)
  am:cleanupAndLoadSounds({"beep.wav", "beep.wav"})
  check.equal(#am:soundNames(), 0, "one sound, at key 0")
  am:unloadSound("beep.wav")
  check.equal(next(am:soundNames()), nil, "unloaded")
  scene:delete()
  am:delete()
  sm:delete()
end)

check.test("reloadImage and reloadSound load a loaded asset again in place, or say why not", function()
  local dir = check.workDir()
  writeWav(dir .. "/tone.wav")
  function project:pathForSound(name) return dir .. "/" .. name end
  local am = assetManager.new()
  check.equal(am:reloadImage("never"), false, "an image not loaded is left to its first use")
  am:loadImageForName("shown")
  local loaded, reason = am:reloadImage("shown")
  check.equal(loaded, nil, "a file that cannot be loaded")
  check.equal(type(reason) == "string" and #reason > 0, true, "with its reason")
  check.equal(sortedNames(am:imageNames()), "shown", "the old picture stays")
  am:loadSoundForName("tone.wav")
  check.equal(am:reloadSound("tone.wav"), true, "a sound replaced in place")
  local broken = assert(io.open(dir .. "/tone.wav", "wb"))
  broken:write("not a sound")
  broken:close()
  loaded, reason = am:reloadSound("tone.wav")
  check.equal(loaded, nil, "a sound that cannot be decoded")
  check.equal(string.find(reason, "tone.wav", 1, true) ~= nil, true, reason)
  check.equal(am:soundNames()[0], "tone.wav", "the old sound stays")
  check.raises("bad argument", function() am:reloadImage({}) end)
  check.raises("asset manager expected", function() assetManager.reloadSound({}, "tone.wav") end)
  am:delete()
end)

function initEngine() end
check.finish()
