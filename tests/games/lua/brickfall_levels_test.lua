-- Brickfall played to the end by a steady hand: the paddle follows the ball (a little to one
-- side or the other), so every level is cleared in turn, the bricks come from each level's
-- table, and the last level ends the game as a win.
local check = require("check")
local harness = dofile(os.getenv("QZ_SOURCE_DIR") .. "/tests/enginescript/lua/engine_harness.lua")

local project = os.getenv("QZ_BINARY_DIR") .. "/games/Brickfall.app/Contents/Resources/Brickfall.gameproj"

local function bricksOnScreen()
  return #game.scene:actorsNamed("brick")
end

-- Plays until the scene changes or the frames run out; returns the brick counts of the
-- levels that were laid out on the way.
local function playUntilSceneChanges(limit)
  local start, laidOut, last = game.scene, {}, bricksOnScreen()
  for frame = 1, limit do
    local ball = game.scene:actorNamed("ball")
    mouseMoved(ball.x + (math.floor(frame / 97) % 5 - 2) * 9, 20)
    if frame % 60 == 0 then mouseDown(240, 20) end
    update(1 / 60)
    if game.scene ~= start then break end
    local count = bricksOnScreen()
    if count > last then laidOut[#laidOut + 1] = count end
    last = count
  end
  return laidOut
end

check.test("every level is laid out from its table and cleared in turn", function()
  harness.start(project)
  keyDown("space")
  update(1 / 60)
  check.equal(game.scene.name, "play", "space on the title plays")
  check.equal(bricksOnScreen(), 50, "level 1: five full rows of ten")
  local laidOut = playUntilSceneChanges(40000)
  check.equal(table.concat(laidOut, " "), "40 47", "bricks of levels 2 and 3")
  check.equal(game.scene.name, "gameover", "the game ended")
  check.equal(Engine.Behaviours.api.loadValue("lastWon"), 1, "won, every ball kept")
  check.truthy(Engine.Behaviours.api.loadValue("lastScore") > 4000, "score " ..
    tostring(Engine.Behaviours.api.loadValue("lastScore")))
  check.equal(#harness.problems(), 0, "reports: " .. harness.dumpProblems())
end)

shutdownEngine()
check.finish()
