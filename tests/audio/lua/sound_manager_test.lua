-- The soundManager library seen from a script: making, updating and deleting managers, and
-- clear errors for objects that are not sound managers.
local check = require("check")

check.test("new gives a manager that update and makeCurrent accept", function()
  sharedSoundManager = soundManager.new()
  check.equal(type(sharedSoundManager), "userdata")
  sharedSoundManager:update()
  sharedSoundManager:makeCurrent()
  soundManager.update(sharedSoundManager)
end)

check.test("delete twice does nothing the second time, and a deleted manager ignores calls", function()
  local manager = soundManager.new()
  manager:delete()
  manager:delete()
  manager:update()
  manager:makeCurrent()
end)

check.test("the object is the last argument", function()
  local manager = soundManager.new()
  soundManager.update("ignored", manager)
  manager:delete()
end)

check.test("anything but a manager is refused", function()
  check.raises("SoundManager.MT expected, got table", soundManager.update, {})
  check.raises("SoundManager.MT expected, got no value", soundManager.delete)
  check.raises("SoundManager.MT expected, got userdata", soundManager.makeCurrent, io.stdout)
end)

check.finish()

function shutdownEngine()
  sharedSoundManager:delete()
end
