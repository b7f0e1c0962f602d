// The feature tour played headless through qzrun with key presses and a click: each scene's
// picture must match its reviewed reference within a small per-pixel tolerance.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

namespace {

const std::string kWork = std::string(QZ_BINARY_DIR) + "/tests/enginescript/tour-work";
const std::string kQzrun = std::string(QZ_BINARY_DIR) + "/tools/qzrun/qzrun";
const std::string kResources = std::string(QZ_SOURCE_DIR) + "/games/Tour.app/Contents/Resources";
const std::string kReferences = std::string(QZ_SOURCE_DIR) + "/tests/enginescript/references";

// The scenes in tour order; each is shown for kFramesPerScene frames before its screenshot.
const char* const kScenes[] = {"sprites", "flips", "spaces", "particles", "text", "layers", "physics"};
constexpr int kFramesPerScene = 90;

// A pixel differs when a channel is off by more than this; a picture matches when at most
// kMaxDifferingPixels differ (edges of text and particles may move by a shade).
constexpr int kChannelTolerance = 12;
constexpr double kMaxDifferingShare = 0.002;

struct Picture {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> rgba;
};

bool readPNG(const std::string& path, Picture* picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    picture->width = image.width;
    picture->height = image.height;
    picture->rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture->rgba.data(), 0, nullptr) != 0;
}

size_t differingPixels(const Picture& a, const Picture& b) {
    size_t count = 0;
    for (size_t pixel = 0; pixel + 3 < a.rgba.size(); pixel += 4) {
        for (size_t channel = 0; channel < 4; ++channel) {
            if (std::abs(a.rgba[pixel + channel] - b.rgba[pixel + channel]) > kChannelTolerance) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// Right arrow to go forward, one click (on the fifth scene), left and right at the end to
// check going back; a screenshot at the end of each scene's frames.
std::string writeTimeline() {
    const std::string path = kWork + "/timeline.txt";
    std::ofstream timeline(path);
    int frame = kFramesPerScene;
    for (const char* scene : kScenes) {
        timeline << frame << " screenshot " << kWork << "/" << scene << ".png\n";
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
    const std::string command = kQzrun + " " + kResources + "/engine64.luo --project " + kResources +
                                "/Tour.gameproj --gl 480x320 --frames " + std::to_string(frames) +
                                " --input " + timeline + " --save " + kWork + "/ > " + kWork +
                                "/out.txt 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see " << kWork << "/out.txt";

    std::vector<std::string> shots(std::begin(kScenes), std::end(kScenes));
    shots.push_back("back");
    for (const std::string& shot : shots) {
        SCOPED_TRACE(shot);
        const std::string actualPath = kWork + "/" + shot + ".png";
        const std::string referencePath = kReferences + "/tour-" + (shot == "back" ? "layers" : shot) + ".png";
        Picture actual, reference;
        ASSERT_TRUE(readPNG(actualPath, &actual)) << "no screenshot " << actualPath;
        ASSERT_TRUE(readPNG(referencePath, &reference)) << "no reference " << referencePath;
        ASSERT_EQ(actual.width, reference.width);
        ASSERT_EQ(actual.height, reference.height);
        const size_t differing = differingPixels(actual, reference);
        EXPECT_LE(differing, static_cast<size_t>(kMaxDifferingShare * actual.width * actual.height))
            << "the picture changed: look at " << actualPath << " and, if it is right, copy it to "
            << referencePath;
    }
}

}  // namespace
