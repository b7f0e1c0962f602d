// Tests of qzrun's exit status: zero only when start-up, the project load and every frame
// succeeded and nothing was reported; otherwise non-zero with a line saying what failed.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

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
        {project + "Project.new = function() return {load = function() error({}) end} end", "--project /p", 1,
         "loading the project failed: (error object is a table value)"},
        {"function initEngine() end", "--project /p", 1, "loading the project failed"},
        {project + "function update() error() end", "--frames 1", 1, "update failed: (error object is a nil value)"},
        // Exactly the given frames with the fixed step.
        {kFourthFrameFails, "--frames 3 --dt 0.25", 0, ""},
        {kFourthFrameFails, "--frames 4 --dt 0.25", 1, "frame 4: update failed: fourth frame, dt 0.25"},
    };
    const std::string scriptPath = folder.file("engine.lua"), outputPath = folder.file("out.txt");
    const std::string qzrun = std::string(QZ_BINARY_DIR) + "/tools/qzrun/qzrun " + scriptPath + " ";
    const auto run = [&](const std::string& script, const std::string& arguments) {
        writeFile(scriptPath, script);
        const int raw = std::system((qzrun + arguments + " > " + outputPath + " 2>&1").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(run(c.script, c.arguments), c.status) << readFile(outputPath);
        EXPECT_NE(readFile(outputPath).find(c.says), std::string::npos) << readFile(outputPath);
    }
    for (const char* arguments : {"--frames", "--frames -1", "--frames x", "--frames 1e30", "--frames inf",
                                  "--frames 2.5", "--dt", "--bogus"}) {
        EXPECT_EQ(run(kProject, arguments), 2) << arguments;
        EXPECT_NE(readFile(outputPath).find("usage: qzrun"), std::string::npos) << arguments;
    }
}

}  // namespace
