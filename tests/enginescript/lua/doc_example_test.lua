-- The complete example of docs/project-format.md: its files, copied out of the page, load and
-- play without a single report, and catching a ball scores.
local check = require("check")
local harness = require("engine_harness")

-- Writes every block that follows a line "File `Catch.gameproj/PATH`:" under the folder.
local function extractExample(folder)
  local page = assert(io.open(os.getenv("QZ_SOURCE_DIR") .. "/docs/project-format.md")):read("*a")
  local count = 0
  for path, body in string.gmatch(page, "\nFile `([^`]+)`:\n\n```%w*\n(.-)```\n") do
    local target = folder .. "/" .. path
    os.execute("mkdir -p '" .. string.match(target, "^(.*)/") .. "'")
    local file = assert(io.open(target, "w"))
    file:write(body)
    file:close()
    count = count + 1
  end
  return count
end

local folder = check.workDir() .. "/example"
check.test("the page holds the example's four files", function()
  check.equal(extractExample(folder), 4, "files")
end)

check.test("the example loads and plays", function()
  local scene = harness.start(folder .. "/Catch.gameproj")
  check.equal(scene.name, "play", "start scene")
  keyDown("left")
  harness.frames(600)
  keyUp("left")
  check.equal(#harness.problems(), 0, "reports: " .. harness.dumpProblems())
  local x = game.scene:actorNamed("paddle"):position()
  check.truthy(x < 0, "the paddle moved left, to " .. x)
end)

check.test("a ball that falls on the paddle scores", function()
  local paddle = game.scene:actorNamed("paddle")
  paddle:moveTo(160, 30)
  Engine.Behaviours.api.spawn("ball", 160, 60)
  harness.frames(60)
  check.truthy((Engine.Behaviours.api.loadValue("points") or 0) >= 1, "points saved")
  if game.scene:actorNamed("score").textNode then
    check.truthy(string.find(game.scene:actorNamed("score").textNode.text:value(), "Score [1-9]"), "score shown")
  end
end)

shutdownEngine()
check.finish()
