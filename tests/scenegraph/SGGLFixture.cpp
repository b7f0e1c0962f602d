// The off-screen drawing fixture shared by the scene graph's drawing tests.
#include "SGGLFixture.h"

#include <cstdlib>
#include <string>

std::unique_ptr<QzOffscreenGL> SGDrawingTest::gl;

void SGDrawingTest::SetUpTestSuite() {
    if (gl) return;
    std::string error;
    gl = QzOffscreenGL::create(kWidth, kHeight, &error);
    if (!gl) {
        std::fprintf(stderr, "no off-screen OpenGL context: %s\n", error.c_str());
        std::abort();
    }
}

void SGDrawingTest::SetUp() {
    ASSERT_TRUE(gl->makeCurrent());
    QzApplyHostGLState(kWidth, kHeight);
}

void SGDrawingTest::TearDown() {
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The host's drawing state, as every node must leave it.
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY) && glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_EQ(blendFactors(), (std::array<GLint, 2>{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1) << "the model-view stack is balanced";
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1) << "the projection stack is balanced";
}

SGDrawingTest::Pixel SGDrawingTest::pixel(int x, int y) {
    unsigned char rgba[4] = {};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

bool SGDrawingTest::pixelIs(int x, int y, Pixel expected) {
    const Pixel actual = pixel(x, y);
    for (int i = 0; i < 4; ++i) {
        if (std::abs(actual[i] - expected[i]) > 2) return false;
    }
    return true;
}

int SGDrawingTest::countLitPixels() {
    const std::vector<uint8_t> pixels = gl->readPixels();
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        if (pixels[i] || pixels[i + 1] || pixels[i + 2]) ++lit;
    }
    return lit;
}

SGImage SGDrawingTest::makeTexture(int w, int h, Pixel (*colour)(int x, int y),
                                   bool premultiplied) {
    std::vector<uint8_t> data(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Pixel p = colour(x, y);
            for (int i = 0; i < 4; ++i) data[(static_cast<size_t>(y) * w + x) * 4 + i] =
                static_cast<uint8_t>(p[i]);
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
    textures.push_back(name);
    SGImage image = SGImageNull;
    image.textureName = name;
    image.textureWidth = w;
    image.textureHeight = h;
    image.textureRect = {0, 0, 1, 1};
    image.width = static_cast<uint32_t>(w);
    image.height = static_cast<uint32_t>(h);
    image.premultiplied = premultiplied ? 1 : 0;
    return image;
}

std::array<GLint, 2> SGDrawingTest::blendFactors() {
    std::array<GLint, 2> factors{};
    glGetIntegerv(GL_BLEND_SRC, &factors[0]);
    glGetIntegerv(GL_BLEND_DST, &factors[1]);
    return factors;
}

std::array<float, 16> SGDrawingTest::matrix(GLenum which) {
    std::array<float, 16> m{};
    glGetFloatv(which, m.data());
    return m;
}
