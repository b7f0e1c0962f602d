// The feature tour played by quillane-player headless with key presses and a click: each
// scene's picture, written by the timeline's screenshot lines, must match its reviewed
// reference within a small per-pixel tolerance.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/picture_match.h"

namespace {

const std::string kWork = std::string(QZ_BINARY_DIR) + "/tests/enginescript/tour-work";
const std::string kPlayer = std::string(QZ_BINARY_DIR) + "/player/quillane-player";
const std::string kBundle = std::string(QZ_BINARY_DIR) + "/games/Tour.app";
const std::string kReferences = std::string(QZ_SOURCE_DIR) + "/tests/enginescript/references";

// The scenes in tour order; each is shown for kFramesPerScene frames before its screenshot.
const char* const kScenes[] = {"sprites", "flips", "spaces", "particles", "text", "layers", "physics", "joints", "camera", "overlays", "animation", "sound", "styles", "gamepad"};
constexpr int kFramesPerScene = 90;

// Right arrow to go forward, one click (on the fifth scene), left and right at the end to
// check going back; a screenshot at the end of each scene's frames. The gamepad scene is
// shown with buttons held, a stick pushed and a trigger pulled.
std::string writeTimeline() {
    const std::string path = kWork + "/timeline.txt";
    std::ofstream timeline(path);
    int frame = kFramesPerScene;
    for (const char* scene : kScenes) {
        timeline << frame << " screenshot " << kWork << "/" << scene << ".png\n";
        if (std::string(scene) == "gamepad") {
            timeline << frame - 10 << " gamepadDown a\n" << frame - 10 << " gamepadDown dpup\n"
                     << frame - 10 << " gamepadAxis leftx 1\n" << frame - 10 << " gamepadAxis righttrigger 1\n"
                     << frame + 1 << " gamepadUp a\n" << frame + 1 << " gamepadUp dpup\n";
        }
        if (std::string(scene) == "particles") {
            timeline << frame + 1 << " mouseDown 240 160\n" << frame + 1 << " mouseUp 240 160\n";
        } else {
            timeline << frame + 1 << " keyDown right\n" << frame + 2 << " keyUp right\n";
        }
        frame += kFramesPerScene;
    }
    timeline << frame << " keyDown left\n" << frame + 1 << " keyDown left\n";
    timeline << frame + kFramesPerScene << " screenshot " << kWork << "/back.png\n";
    return path;
}

TEST(TourScreenshots, EachSceneMatchesItsReference) {
    ASSERT_EQ(std::system(("rm -rf " + kWork + " && mkdir -p " + kWork).c_str()), 0);
    const std::string timeline = writeTimeline();
    const int frames = kFramesPerScene * (static_cast<int>(std::size(kScenes)) + 2);
    const std::string command = "env XDG_DATA_HOME=" + kWork + "/data " + kPlayer + " --headless --frames " +
                                std::to_string(frames) + " --input " + timeline + " " + kBundle + " > " + kWork +
                                "/out.txt 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see " << kWork << "/out.txt";

    std::vector<std::string> shots(std::begin(kScenes), std::end(kScenes));
    shots.push_back("back");
    for (const std::string& shot : shots) {
        SCOPED_TRACE(shot);
        const std::string actualPath = kWork + "/" + shot + ".png";
        // Left twice from the first scene comes back to the last scene but one.
        const std::string back = kScenes[std::size(kScenes) - 2];
        const std::string referencePath = kReferences + "/tour-" + (shot == "back" ? back : shot) + ".png";
        EXPECT_EQ(pictureMismatch(actualPath, referencePath), "");
    }
}

}  // namespace
