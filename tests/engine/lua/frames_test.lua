-- qzrun's frame loop: update is called once per frame with the fixed step, and a failing
-- frame costs that frame only.
local check = require("check")

frames, elapsed = 0, 0
function initEngine() end

function update(dt)
  frames = frames + 1
  elapsed = elapsed + dt
  if frames == 5 then
    check.test("five frames of a quarter second each", function()
      check.equal(frames, 5)
      check.near(elapsed, 1.25, 1e-6)
    end)
    check.finish()
  end
end

check.test("the engine script runs before any frame", function()
  check.equal(frames, 0)
end)
