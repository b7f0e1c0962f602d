-- Loads the built engine script into this test's engine state, collects what it reports,
-- and runs a project for a number of frames.
local harness = {reports = {}}

dofile(os.getenv("QZ_BINARY_DIR") .. "/enginescript/engine64.luo")

Engine.reportSink = function(message)
  harness.reports[#harness.reports + 1] = tostring(message)
end

-- The tests check the reports themselves: those they expect do not fail the run.
function problemsReported() return 0 end

function harness.projectPath(name)
  return os.getenv("QZ_SOURCE_DIR") .. "/tests/enginescript/projects/" .. name
end

-- Starts a fresh game on the project folder (an absolute path) and runs one frame.
function harness.start(path)
  harness.reports = {}
  shutdownEngine()
  initEngine()
  project = Project.new(Project)
  project:load(path)
  update(1 / 60)
  return game.scene
end

function harness.frames(count, dt)
  for _ = 1, count do update(dt or 1 / 60) end
end

-- How many reports contain the plain text.
function harness.reported(text)
  local count = 0
  for _, message in ipairs(harness.reports) do
    if string.find(message, text, 1, true) then count = count + 1 end
  end
  return count
end

-- The reports about the project, without those saying what this build cannot do yet.
function harness.problems()
  local problems = {}
  for _, message in ipairs(harness.reports) do
    if not string.find(message, "this player cannot", 1, true) then problems[#problems + 1] = message end
  end
  return problems
end

function harness.dumpProblems()
  return table.concat(harness.problems(), "\n")
end

return harness
