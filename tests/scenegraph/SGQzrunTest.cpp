// Runs qzrun with an off-screen context on a script that draws through the scenegraph
// library, and checks the screenshot it writes.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

namespace {

const std::string kWork = std::string(QZ_BINARY_DIR) + "/tests/scenegraph/qzrun-work";
const std::string kQzrun = std::string(QZ_BINARY_DIR) + "/tools/qzrun/qzrun";

// A red 8 × 16 sprite on the left half of a 16 × 16 frame cleared to blue; its colour comes
// through a colour node.
constexpr const char* kScript = R"(
local scene = scenegraph.scene.new(nil, nil)
local space = scene:defaultSpace()
local clear = space:createNode(scenegraph.clearNode)
local colour = space:createNode(scenegraph.colorNode)
colour.r:setValue(0, true)
colour.g:setValue(0, true)
clear.color:setValue(colour.output)
local sprite = space:createNode(scenegraph.spriteNode)
local red = space:createNode(scenegraph.colorNode)
red.g:setValue(0, true)
red.b:setValue(0, true)
sprite.color:setValue(red.output)
sprite.x:setValue(4, true)
sprite.y:setValue(8, true)
sprite.width:setValue(8, true)
sprite.height:setValue(16, true)
function initEngine() end
function update(dt) scene:render() end
)";

int runQzrun(const std::string& arguments) {
    std::system(("mkdir -p " + kWork).c_str());
    std::ofstream(kWork + "/draw.lua") << kScript;
    return std::system((kQzrun + " " + kWork + "/draw.lua " + arguments + " > " + kWork +
                        "/out.txt 2>&1").c_str());
}

TEST(SGQzrun, ScreenshotShowsTheDrawnFrame) {
    const std::string png = kWork + "/shot.png";
    std::remove(png.c_str());
    ASSERT_EQ(runQzrun("--gl 16x16 --frames 2 --screenshot " + png), 0);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str()));
    image.format = PNG_FORMAT_RGBA;
    ASSERT_EQ(image.width, 16u);
    ASSERT_EQ(image.height, 16u);
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    auto at = [&](int x, int row) { return &pixels[(static_cast<size_t>(row) * 16 + x) * 4]; };
    EXPECT_EQ(at(2, 0)[0], 255);   // top-left: the sprite
    EXPECT_EQ(at(2, 15)[2], 0);
    EXPECT_EQ(at(12, 0)[2], 255);  // right half: the clear colour
    EXPECT_EQ(at(12, 15)[0], 0);
}

TEST(SGQzrun, BadOptionsAreRefused) {
    EXPECT_NE(runQzrun("--screenshot " + kWork + "/none.png"), 0) << "--screenshot needs --gl";
    EXPECT_NE(runQzrun("--gl 0x10"), 0);
    EXPECT_NE(runQzrun("--gl 16by16"), 0);
    EXPECT_NE(runQzrun("--gl 16x16 --frames 1 --screenshot /nonexistent/dir/x.png"), 0);
}

}  // namespace
