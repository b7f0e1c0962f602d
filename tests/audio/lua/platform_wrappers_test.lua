-- The platformWrappers library seen from a script: clocks, music control on a WAV file the
-- test writes itself, and debug statements (qzrun prints them on standard output).
local check = require("check")

-- A mono 16-bit WAV file of `frames` frames of a square wave at 8000 Hz.
local function writeWav(path, frames)
  local function le(value, bytes)
    local out = {}
    for i = 1, bytes do
      out[i] = string.char(value % 256)
      value = math.floor(value / 256)
    end
    return table.concat(out)
  end
  local data = {}
  for i = 1, frames do data[i] = (i % 16 < 8) and "\0\64" or "\0\192" end
  local body = table.concat(data)
  local file = assert(io.open(path, "wb"))
  file:write("RIFF", le(36 + #body, 4), "WAVEfmt ", le(16, 4), le(1, 2), le(1, 2), le(8000, 4),
    le(16000, 4), le(2, 2), le(16, 2), "data", le(#body, 4), body)
  file:close()
end

local music = check.workDir() .. "/music.wav"
writeWav(music, 8000 * 5)

check.test("the game clock starts at 0 and goes forward", function()
  check.equal(platformWrappers.getSystemTime(), 0)
  check.truthy(platformWrappers.getSystemTime() >= 0, "second reading")
end)

check.test("getClockTime gives the seven components from key 0", function()
  local t = platformWrappers.getClockTime()
  check.equal(#t, 6)
  check.truthy(t[0] >= 2024, "year")
  check.truthy(t[1] >= 1 and t[1] <= 12, "month")
  check.truthy(t[6] >= 0 and t[6] <= 999, "millisecond")
  check.equal(t[7], nil)
end)

check.test("music plays, pauses, resumes and stops, answering 1 or 0", function()
  check.equal(platformWrappers.isMusicPlaying(), 0)
  platformWrappers.playMusic(music, 1)
  check.equal(platformWrappers.isMusicPlaying(), 1)
  platformWrappers.pauseMusic()
  check.equal(platformWrappers.isMusicPlaying(), 0)
  platformWrappers.playMusic("", 0)
  check.equal(platformWrappers.isMusicPlaying(), 1)
  platformWrappers.setMusicVolume(0.5)
  -- A fade that steps below 0 goes on: the volume is taken as 0.
  platformWrappers.setMusicVolume(-0.1)
  platformWrappers.setMusicVolume(0 / 0)
  platformWrappers.stopMusic()
  check.equal(platformWrappers.isMusicPlaying(), 0)
end)

check.test("music that cannot be read plays nothing", function()
  platformWrappers.playMusic(check.workDir() .. "/missing.ogg", 0)
  check.equal(platformWrappers.isMusicPlaying(), 0)
  platformWrappers.playMusic(check.workDir(), 0)
  check.equal(platformWrappers.isMusicPlaying(), 0)
end)

check.test("bad music arguments are refused", function()
  check.raises("bad argument #1 to '?' (string expected, got table)", platformWrappers.playMusic, {}, 1)
  check.raises("the volume must be finite", platformWrappers.setMusicVolume, 1 / 0)
  check.raises("number expected, got no value", platformWrappers.setMusicVolume)
end)

check.test("debug statements take the last argument as text", function()
  platformWrappers.logDebugStatement("first line")
  platformWrappers.logDebugStatement("ignored", 42)
  platformWrappers.logDebugStatement(true)
  check.raises("value expected", platformWrappers.logDebugStatement)
end)

check.finish()
