// Tests of qzrun's exit status: zero only when start-up, the project load and every frame
// succeeded and nothing was reported; otherwise non-zero with a line saying what failed.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

const std::string kQzrun = std::string(QZ_BINARY_DIR) + "/tools/qzrun/qzrun";

struct QzrunResult {
    int status;
    std::string output;
};

QzrunResult runQzrun(const ScratchFolder& folder, const std::string& script, const std::string& arguments) {
    const std::string scriptPath = folder.file("engine.lua"), outputPath = folder.file("out.txt");
    writeFile(scriptPath, script);
    const int raw = std::system((kQzrun + " " + scriptPath + " " + arguments + " > " + outputPath + " 2>&1").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), readFile(outputPath)};
}

constexpr const char* kProject = R"(
function initEngine() end
function update(dt) frames = (frames or 0) + 1 end
Project = {new = function() return {load = function(self, path) loaded = path end} end}
)";

TEST(Qzrun, ExitStatusSaysWhetherEveryCallSucceeded) {
    ScratchFolder folder;
    const struct {
        const char* name;
        std::string script;
        const char* arguments;
        int status;
        const char* says;
    } cases[] = {
        {"everything succeeds", kProject, "--project /p --frames 3 --pool", 0, ""},
        {"no initEngine", "", "", 1, "initEngine failed"},
        {"the engine script raises", std::string("function initEngine() end error('boom')"), "", 1,
         "1 error(s) reported"},
        {"one frame fails", std::string(kProject) + "function update() error('frame broke') end", "--frames 2",
         1, "frame 1: update failed: "},
        {"the project load raises a string",
         std::string(kProject) + "Project.new = function() return {load = function() error('bad project') end} end",
         "--project /p", 1, "loading the project failed: "},
        {"the project load raises a table",
         std::string(kProject) + "Project.new = function() return {load = function() error({}) end} end",
         "--project /p", 1, "loading the project failed: (error object is a table value)"},
        {"no Project at all", "function initEngine() end", "--project /p", 1, "loading the project failed"},
        {"a frame raises nil", std::string(kProject) + "function update() error() end", "--frames 1", 1,
         "update failed: (error object is a nil value)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QzrunResult run = runQzrun(folder, c.script, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
}

// The frame loop runs exactly N frames with the given step: a script that fails on its
// fourth frame passes three frames and fails four, and reports the step it received.
TEST(Qzrun, RunsExactlyTheGivenFramesWithTheFixedStep) {
    ScratchFolder folder;
    const std::string script = R"(
function initEngine() end
function update(dt) frames = (frames or 0) + 1 if frames == 4 then error('fourth frame, dt ' .. dt, 0) end end
)";
    const QzrunResult three = runQzrun(folder, script, "--frames 3 --dt 0.25");
    EXPECT_EQ(three.status, 0) << three.output;
    const QzrunResult four = runQzrun(folder, script, "--frames 4 --dt 0.25");
    EXPECT_EQ(four.status, 1) << four.output;
    EXPECT_NE(four.output.find("frame 4: update failed: fourth frame, dt 0.25"), std::string::npos) << four.output;
}

// An --input timeline delivers its events through the input calls before the frame's update,
// in file order; a line that does not parse stops qzrun before it starts. External function
// calls are printed.
TEST(Qzrun, InputTimelineDeliversEventsBeforeTheirFrame) {
    ScratchFolder folder;
    const std::string script = R"(
function initEngine() end
local seen = {}
local function record(...) seen[#seen + 1] = table.concat({...}, ' ') end
function keyDown(k) record('down', k) end
function keyUp(k) record('up', k) end
function mouseDown(x, y) record('press', x, y) end
function mouseUp(x, y) record('release', x, y) end
function mouseMoved(x, y) record('move', x, y) end
function raiseExternalEvent(name, args) record(name, '[' .. args[1] .. ']') end
function systemInitiatedPause() record('pause') end
function play() record('play') end
function update()
  frame = (frame or 0) + 1
  record('frame', frame)
  if frame == 1 then callbacks.callExternalFunction('openURL', 0, 'about.html', true) end
end
function shutdownEngine() io.stdout:write(table.concat(seen, ', '), '\n') end
)";
    writeFile(folder.file("good.txt"),
              "# keys first\n2 keyDown left\n2 mouseMoved 1 2\n2 text Ada  Lovelace\n2 pause\n\n3 play\n3 keyUp left\n"
              "3 mouseDown 3.5 4\n3 mouseUp 5 6\n3 text\n");
    const QzrunResult run = runQzrun(folder, script, "--frames 3 --input " + folder.file("good.txt"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("frame 1, down left, move 1 2, keyboardInputEntered [Ada  Lovelace], pause, frame 2, "
                              "play, up left, press 3.5 4, release 5 6, keyboardInputEntered [], frame 3"),
              std::string::npos) << run.output;
    EXPECT_NE(run.output.find("qzrun: external openURL 0 about.html true"), std::string::npos) << run.output;
    for (const char* line : {"0 keyDown a", "1 keyDown", "1 jump", "1 mouseDown 1", "x keyUp a",
                             "1 keyDown a b", "1 screenshot shot.png", "1 pause now"}) {
        SCOPED_TRACE(line);
        writeFile(folder.file("bad.txt"), std::string("1 keyDown ok\n") + line + "\n");
        const QzrunResult bad = runQzrun(folder, script, "--frames 1 --input " + folder.file("bad.txt"));
        EXPECT_EQ(bad.status, 2) << bad.output;
        EXPECT_NE(bad.output.find("bad.txt:2: expected"), std::string::npos) << bad.output;
    }
    const QzrunResult missing = runQzrun(folder, script, "--input " + folder.file("none.txt"));
    EXPECT_EQ(missing.status, 2) << missing.output;
}

TEST(Qzrun, BadArgumentsShowTheUsage) {
    ScratchFolder folder;
    for (const char* arguments : {"--frames", "--frames -1", "--frames x", "--frames 1e30", "--frames inf",
                                  "--frames 2.5", "--dt", "--bogus"}) {
        SCOPED_TRACE(arguments);
        const QzrunResult run = runQzrun(folder, kProject, arguments);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find("usage: qzrun"), std::string::npos) << run.output;
    }
}

}  // namespace
