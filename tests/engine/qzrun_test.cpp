// Tests of qzrun's exit status: zero only when start-up, the project load and every frame
// succeeded and nothing was reported; otherwise non-zero with a line saying what failed.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace {

// Runs qzrun on the script with the arguments; its output goes to the folder's out.txt.
int runQzrun(const ScratchFolder& folder, const std::string& script, const std::string& arguments) {
    const std::string scriptPath = folder.file("engine.lua");
    writeFile(scriptPath, script);
    const std::string qzrun = std::string(QZ_BINARY_DIR) + "/tools/qzrun/qzrun " + scriptPath + " ";
    const int raw = std::system((qzrun + arguments + " > " + folder.file("out.txt") + " 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

constexpr const char* kProject = R"(
function initEngine() end
function update(dt) frames = (frames or 0) + 1 end
Project = {new = function() return {load = function(self, path) loaded = path end} end}
)";

// Fails on its fourth frame, naming the step it received.
constexpr const char* kFourthFrameFails = R"(
function initEngine() end
function update(dt) frames = (frames or 0) + 1 if frames == 4 then error('fourth frame, dt ' .. dt, 0) end end
)";

TEST(Qzrun, ExitStatusSaysWhetherEveryCallSucceeded) {
    ScratchFolder folder;
    const std::string project = kProject;
    const struct {
        std::string script;
        const char* arguments;
        int status;
        const char* says;
    } cases[] = {
        {project, "--project /p --frames 3 --pool", 0, ""},
        {"", "", 1, "initEngine failed"},
        {"function initEngine() end error('boom')", "", 1, "1 error(s) reported"},
        {project + "function update() error('frame broke') end", "--frames 2", 1, "frame 1: update failed: "},
        {project + "Project.new = function() return {load = function() error('bad project') end} end",
         "--project /p", 1, "loading the project failed: "},
        {project + "function update() error() end", "--frames 1", 1, "update failed: (error object is a nil value)"},
        {project + "function problemsReported() return 2 end", "--frames 1", 1, "2 error(s) reported"},
        // Exactly the given frames with the fixed step.
        {kFourthFrameFails, "--frames 3 --dt 0.25", 0, ""},
        {kFourthFrameFails, "--frames 4 --dt 0.25", 1, "frame 4: update failed: fourth frame, dt 0.25"},
    };
    const std::string outputPath = folder.file("out.txt");
    const auto run = [&](const std::string& script, const std::string& arguments) {
        return runQzrun(folder, script, arguments);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(run(c.script, c.arguments), c.status) << readFile(outputPath);
        EXPECT_NE(readFile(outputPath).find(c.says), std::string::npos) << readFile(outputPath);
    }
    // An existing folder given to --save holds the store.
    std::filesystem::create_directories(folder.file("saves"));
    EXPECT_EQ(run(project + "database.storeValueForKey('v', 'k')", "--save " + folder.file("saves")), 0)
        << readFile(outputPath);
    EXPECT_TRUE(std::filesystem::exists(folder.file("saves") + "/persistent.save"));
    for (const char* arguments : {"--frames", "--frames -1", "--frames x", "--frames 1e30", "--frames inf",
                                  "--frames 2.5", "--dt", "--bogus"}) {
        EXPECT_EQ(run(kProject, arguments), 2) << arguments;
        EXPECT_NE(readFile(outputPath).find("usage: qzrun"), std::string::npos) << arguments;
    }
}

// An --input timeline delivers its events through the input calls before the frame's update,
// in file order; typed text answers the script's text request only; a line that does not
// parse stops qzrun before it starts. External function calls are printed.
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
  if frame == 1 then
    callbacks.callExternalFunction('openURL', 'about.html', true)
    callbacks.callExternalFunction('KeyboardInput', 'Name?', '', false)
  end
end
function shutdownEngine() io.stdout:write(table.concat(seen, ', '), '\n') end
)";
    writeFile(folder.file("good.txt"),
              "# keys first\n2 keyDown left\n2 mouseMoved 1 2\n2 text Ada  Lovelace\n2 pause\n\n3 play\n3 keyUp left\n"
              "3 mousedown 3.5 4\n3 mouseUp 5 6\n3 text\n");
    EXPECT_EQ(runQzrun(folder, script, "--frames 3 --input " + folder.file("good.txt")), 0);
    const std::string output = readFile(folder.file("out.txt"));
    EXPECT_NE(output.find("frame 1, down left, move 1 2, keyboardInputEntered [Ada  Lovelace], pause, frame 2, "
                              "play, up left, press 3.5 4, release 5 6, frame 3"),
              std::string::npos) << output;
    EXPECT_NE(output.find("qzrun: external openURL about.html true"), std::string::npos) << output;
    EXPECT_NE(output.find("frame 3: text \"\" ignored: the script has not asked for text"), std::string::npos)
        << output;
    for (const char* line : {"0 keyDown a", "1 keyDown", "1 jump", "1 mouseDown 1", "x keyUp a",
                             "1 keyDown a b", "1 screenshot shot.png", "1 pause now"}) {
        SCOPED_TRACE(line);
        writeFile(folder.file("bad.txt"), std::string("1 keyDown ok\n") + line + "\n");
        EXPECT_EQ(runQzrun(folder, script, "--frames 1 --input " + folder.file("bad.txt")), 2);
        EXPECT_NE(readFile(folder.file("out.txt")).find("bad.txt\": "), std::string::npos);
    }
    EXPECT_EQ(runQzrun(folder, script, "--input " + folder.file("none.txt")), 2);
}

}  // namespace
