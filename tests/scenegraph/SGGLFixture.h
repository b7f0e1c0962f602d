// The drawing-test fixture: one off-screen context per test program, reset to the host's
// state before every test, with helpers to read pixels and make textures.
#ifndef SG_GL_FIXTURE_H
#define SG_GL_FIXTURE_H

#include <array>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "QzOffscreenGL.h"
#include "SGGL.h"
#include "SGImage.h"

class SGDrawingTest : public ::testing::Test {
public:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 64;

    using Pixel = std::array<int, 4>;

protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The RGBA colour of the pixel whose lower-left corner is (x, y).
    static Pixel pixel(int x, int y);
    // Whether the pixel has this colour within a tolerance of 2 per channel.
    static bool pixelIs(int x, int y, Pixel expected);
    // How many pixels of the frame are not the clear colour (black).
    static int countLitPixels();
    // A w × h texture filled by colour(x, y); the image is whole (0, 0, 1, 1), textures are
    // deleted after the test.
    SGImage makeTexture(int w, int h, Pixel (*colour)(int x, int y), bool premultiplied);
    static std::array<GLint, 2> blendFactors();
    static std::array<float, 16> matrix(GLenum which);

    static std::unique_ptr<QzOffscreenGL> gl;

private:
    std::vector<GLuint> textures;
};

#endif
