// Pictures and text as textures on the off-screen context: orientation, premultiplied
// blending, the formats, the fallback picture for bad files, text sizes, frames, alignment
// and fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "AssetsTestSupport.h"
#include "QzGLTexture.h"
#include "QzImageLoader.h"
#include "QzStringTexture.h"
#include "SGGLFixture.h"
#include "SGScene.h"
#include "nodes/SGSpriteNode.h"
#include "nodes/SGStringToImageNode.h"

namespace {

const std::string kResources = std::string(QZ_BINARY_DIR) + "/resources";
constexpr TestPixel kRed{255, 0, 0, 255};
constexpr TestPixel kBlue{0, 0, 255, 255};
constexpr TestPixel kMagenta{255, 0, 255, 255};

TestPixel redTopBlueBottom(int, int y) { return y < 8 ? kRed : kBlue; }
TestPixel halfRed(int, int) { return {255, 0, 0, 128}; }
TestPixel solidRed(int, int) { return kRed; }

class ImageTexture : public SGDrawingTest {
protected:
    void SetUp() override {
        SGDrawingTest::SetUp();
        QzSetResourceDirectory(kResources);
    }
    void TearDown() override {
        for (const SGImage& image : loaded) image.freeImage();
        SGDrawingTest::TearDown();
    }

    SGImage load(const std::string& path) {
        loaded.push_back(QzLoadImageFromFile(path.c_str()));
        return loaded.back();
    }

    // Draws the image over the whole frame.
    void drawFullFrame(const SGImage& image) {
        SGScene scene(nullptr, nullptr);
        auto* sprite = static_cast<SGSpriteNode*>(scene.defaultSpace.createNode(SGSpriteNodeClass));
        sprite->x.setValue(32.0f);
        sprite->y.setValue(32.0f);
        sprite->width.setValue(64.0f);
        sprite->height.setValue(64.0f);
        sprite->image.setValue(image);
        scene.render();
    }

    static bool near(Pixel actual, TestPixel expected, int tolerance) {
        for (int c = 0; c < 4; ++c) {
            if (std::abs(actual[c] - expected[c]) > tolerance) return false;
        }
        return true;
    }

    std::vector<SGImage> loaded;
};

TEST_F(ImageTexture, PictureWithRedTopHalfShowsRedAtTheTop) {
    const std::string path = assetsTestDir() + "/redtop.png";
    writePicture(path, 16, 16, redTopBlueBottom);
    const SGImage image = load(path);
    EXPECT_EQ(image.textureWidth, 16);
    EXPECT_EQ(image.width, 16u);
    EXPECT_EQ(image.premultiplied, 1u);
    drawFullFrame(image);
    EXPECT_TRUE(pixelIs(32, 60, kRed));
    EXPECT_TRUE(pixelIs(32, 4, kBlue));
}

TEST_F(ImageTexture, TransparencyBlendsAsPremultipliedColour) {
    const std::string path = assetsTestDir() + "/halfred.png";
    writePicture(path, 4, 4, halfRed);
    const SGImage image = load(path);
    EXPECT_EQ(textureRGBA(image)[0], 128) << "red is stored multiplied by alpha";
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullFrame(image);
    EXPECT_TRUE(pixelIs(32, 32, {128, 127, 0, 255})) << "half red over green";
}

// RLE8, 1024 x 1024, palette entry 0 red: one run of 16 pixels, then the end of the picture;
// the rest keeps index 0.
std::vector<uint8_t> earlyEndingRunLengthBMP() {
    return {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0, 40, 0, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0,
            1, 0, 8, 0, 1, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
            0, 0, 255, 0,  // the palette
            16, 0, 0, 1};  // the pixels
}

TEST_F(ImageTexture, FormatsAndUnusualFilesOfRealToolsLoad) {
    const std::string dir = assetsTestDir();
    constexpr TestPixel kOrange{200, 100, 50, 255};
    writePicture(dir + "/red.jpg", 8, 8, solidRed);
    writePicture(dir + "/red.bmp", 8, 8, solidRed);
    writePicture(dir + "/red.tif", 8, 8, solidRed);
    writePicture(dir + "/red.webp", 8, 8, solidRed);
    writeSolidGIF(dir + "/red.gif", 8, 8, kRed);
    writeUnusualJPEG(dir + "/cmyk.jpg", 8, 8, kOrange, {.cmyk = true});
    writeUnusualJPEG(dir + "/arithmetic.jpg", 2048, 2048, kRed, {.arithmetic = true});
    writeUnusualJPEG(dir + "/metadata.jpg", 8, 8, kRed, {.metadataBytes = 100000});
    writeBytes(dir + "/early-end.bmp", earlyEndingRunLengthBMP());
    const struct {
        const char* name;
        int width;
        TestPixel colour;
    } cases[] = {{"red.jpg", 8, kRed},           {"red.bmp", 8, kRed},         {"red.gif", 8, kRed},
                 {"red.tif", 8, kRed},           {"red.webp", 8, kRed},        {"cmyk.jpg", 8, kOrange},
                 {"arithmetic.jpg", 2048, kRed}, {"metadata.jpg", 8, kRed},    {"early-end.bmp", 1024, kRed}};
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const SGImage image = load(dir + "/" + c.name);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(image.textureWidth, c.width) << c.name << ": " << log;
        drawFullFrame(image);
        EXPECT_TRUE(near(pixel(32, 32), c.colour, 6)) << c.name << ": " << pixel(32, 32)[0] << " "
                                                      << pixel(32, 32)[1] << " " << pixel(32, 32)[2] << " "
                                                      << pixel(32, 32)[3];
    }
}

std::vector<uint8_t> pngDeclaring(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = readBytes(assetsTestDir() + "/redtop.png");
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        bytes[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    return bytes;
}

TEST_F(ImageTexture, BadFilesShowTheFallbackPictureAndNameTheFile) {
    const std::string dir = assetsTestDir();
    writePicture(dir + "/redtop.png", 16, 16, redTopBlueBottom);
    std::vector<uint8_t> truncated = readBytes(dir + "/redtop.png");
    truncated.resize(truncated.size() / 2);
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"truncated.png", truncated},
        {"huge.png", pngDeclaring(100000, 100000)},
        {"zero.png", pngDeclaring(0, 16)},
        {"text.png", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"empty.png", {}},
    };
    for (const auto& [name, bytes] : files) writeBytes(dir + "/" + name, bytes);
    for (const std::string name : {"truncated.png", "huge.png", "zero.png", "text.png", "empty.png", "missing.png"}) {
        testing::internal::CaptureStderr();
        const SGImage image = load(dir + "/" + name);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(dir + "/" + name), std::string::npos) << log;
        EXPECT_EQ(image.textureWidth, 32) << name << ": the 32 x 32 fallback picture";
        drawFullFrame(image);
        EXPECT_TRUE(pixelIs(4, 60, kMagenta)) << name;
        EXPECT_TRUE(pixelIs(20, 60, {0, 0, 0, 255})) << name;
    }
}

TEST_F(ImageTexture, WithoutTheFallbackPictureABadFileGivesNoImage) {
    QzSetResourceDirectory(assetsTestDir() + "/nowhere");
    testing::internal::CaptureStderr();
    const SGImage image = QzLoadImageFromFile((assetsTestDir() + "/missing.png").c_str());
    testing::internal::GetCapturedStderr();
    QzSetResourceDirectory(kResources);
    EXPECT_EQ(image.textureName, 0u);
    EXPECT_FALSE(image.hasTexture());
}

TEST(TextureSize, SidesWhoseProductOverflowsAreRefused) {
    const char* reason = nullptr;
    EXPECT_FALSE(QzTextureSizeAllowed(4294967295, 4294967295, &reason));
    EXPECT_FALSE(QzTextureSizeAllowed(int64_t{1} << 40, int64_t{1} << 40, &reason));
}

// A header may state no more pixels than its file can hold at its format's densest; solid
// pictures, the densest a real encoder writes, still load.
TEST(ImageFileSize, SmallFilesStatingHugePicturesAreRefusedBeforeDecoding) {
    const std::string dir = assetsTestDir();
    writePicture(dir + "/redtop.png", 16, 16, redTopBlueBottom);
    std::vector<uint8_t> targa = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x10, 32, 8};
    targa.resize(18 + 4096, 0x7f);
    std::vector<uint8_t> bitmap = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                   0, 0x10, 0, 0, 0, 0x10, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0};
    bitmap.resize(54 + 4096, 0x7f);
    writeBytes(dir + "/stated.png", pngDeclaring(4096, 4096));
    writeBytes(dir + "/stated.tga", targa);
    writeBytes(dir + "/stated.bmp", bitmap);
    writePicture(dir + "/solid.png", 2048, 2048, solidRed);
    writePicture(dir + "/solid.jpg", 1024, 1024, solidRed);
    writePicture(dir + "/solid.bmp", 512, 512, solidRed);
    for (const auto& [name, refused] : std::vector<std::pair<std::string, bool>>{
             {"stated.png", true}, {"stated.tga", true}, {"stated.bmp", true},
             {"solid.png", false}, {"solid.jpg", false}, {"solid.bmp", false}}) {
        QzBitmap decoded;
        std::string error;
        const bool ok = QzDecodeImageFile(dir + "/" + name, &decoded, &error);
        EXPECT_EQ(ok, !refused) << name << ": " << error;
        EXPECT_EQ(error.find("file cannot hold that many pixels") != std::string::npos, refused) << name << ": " << error;
    }
}

TEST_F(ImageTexture, UploadOfAnEmptyBitmapIsRefused) {
    QzBitmap bitmap;
    bitmap.height = 10;
    testing::internal::CaptureStderr();
    EXPECT_EQ(uploadAsGLTexture(bitmap), 0u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("invalid source image size: 0.000000x10.000000"),
              std::string::npos);
}

// --- text ---

class TextTexture : public ImageTexture {
protected:
    SGImage text(const char* string, const char* font = "Arial", QzTextAlignment alignment = QzTextAlignCenter,
                 bool staticFrame = false) {
        loaded.push_back(QzImageFromString(string, font, 12, alignment, staticFrame, 200, 50));
        return loaded.back();
    }

    // The columns (or rows) between which the texture has ink.
    static std::pair<int, int> inkSpan(const SGImage& image, bool columns) {
        const std::vector<uint8_t> rgba = textureRGBA(image);
        int low = 1 << 30;
        int high = -1;
        for (int y = 0; y < image.textureHeight; ++y) {
            for (int x = 0; x < image.textureWidth; ++x) {
                if (rgba[(static_cast<size_t>(y) * image.textureWidth + x) * 4 + 3] < 128) continue;
                const int at = columns ? x : y;
                low = std::min(low, at);
                high = std::max(high, at);
            }
        }
        return {low, high};
    }

    SGImage styled(const char* string, const QzTextStyle& style, float size = 16) {
        loaded.push_back(QzImageFromString(string, "Arial", size, QzTextAlignLeft, false, 0, 0, style));
        return loaded.back();
    }

    // The opaque pixels of a colour (straight RGB within 60 of it), and their centre; y counts
    // rows from the bottom.
    struct Ink {
        int count = 0;
        double x = 0, y = 0;
    };
    static Ink inkOf(const SGImage& image, int r, int g, int b) {
        const std::vector<uint8_t> rgba = textureRGBA(image);
        Ink ink;
        for (int y = 0; y < image.textureHeight; ++y) {
            for (int x = 0; x < image.textureWidth; ++x) {
                const uint8_t* p = &rgba[(static_cast<size_t>(y) * image.textureWidth + x) * 4];
                if (p[3] < 200 || std::abs(p[0] - r) > 60 || std::abs(p[1] - g) > 60 || std::abs(p[2] - b) > 60) continue;
                ++ink.count;
                ink.x += x;
                ink.y += y;
            }
        }
        if (ink.count) ink.x /= ink.count, ink.y /= ink.count;
        return ink;
    }
};

TEST_F(TextTexture, DynamicFrameIsTheTextPlusMarginsAndNodeOutputsMatch) {
    const SGImage hi = text("Hi");
    const SGImage twice = text("HiHi");
    EXPECT_GT(hi.textureWidth, 8 + 6);
    EXPECT_NEAR(twice.textureWidth - hi.textureWidth, hi.textureWidth - 8, 1)
        << "the text's width is the texture's less 8";
    EXPECT_EQ(twice.textureHeight, hi.textureHeight);
    EXPECT_EQ(hi.premultiplied, 0u);

    SGStringToImageNode node(nullptr);
    node.text.setValue(std::string("Hi"));
    node.font.setValue(std::string("Arial"));
    const SGImage made = node.image.imageValue();
    EXPECT_EQ(made.textureWidth, hi.textureWidth);
    EXPECT_EQ(node.width.numberValue(), static_cast<float>(hi.textureWidth));
    EXPECT_EQ(node.height.numberValue(), static_cast<float>(hi.textureHeight));
}

TEST_F(TextTexture, StaticFrameKeepsItsSizeAndWrapsDownwards) {
    const SGImage shortText = text("a", "Arial", QzTextAlignLeft, true);
    const SGImage longText = text("a long line of words that has to wrap at the frame's width", "Arial",
                                  QzTextAlignLeft, true);
    for (const SGImage& image : {shortText, longText}) {
        EXPECT_EQ(image.textureWidth, 200);
        EXPECT_EQ(image.textureHeight, 50);
    }
    EXPECT_GT(inkSpan(shortText, false).first, 30) << "one line at the top: rows are bottom-up";
    EXPECT_LT(inkSpan(longText, false).first, inkSpan(shortText, false).first - 10) << "wrapped lines go down";
}

TEST_F(TextTexture, AlignmentPutsTheInkWhereItBelongs) {
    const char* hebrew = "\u05e9\u05dc\u05d5\u05dd!";  // right to left: "left" is still the box's left
    const struct {
        const char* text;
        QzTextAlignment alignment;
        int low, high;
    } cases[] = {{"ii", QzTextAlignLeft, 0, 30}, {"ii", QzTextAlignCenter, 85, 120}, {"ii", QzTextAlignRight, 170, 200},
                 {hebrew, QzTextAlignLeft, 0, 60}, {hebrew, QzTextAlignRight, 140, 200}};
    for (const auto& c : cases) {
        const auto [left, right] = inkSpan(text(c.text, "Arial", c.alignment, true), true);
        EXPECT_GE(left, c.low) << c.text << " " << c.alignment;
        EXPECT_LE(right, c.high) << c.text << " " << c.alignment;
    }
}

TEST_F(TextTexture, UnknownFontsDrawInArialAndTextIsStraightWhite) {
    EXPECT_EQ(StringTexture::fontNameForDisplayName("Times New Roman"), "TimesNewRomanPSMT");
    EXPECT_FALSE(StringTexture::fontNameForDisplayName("LucidaGrande"));
    const std::vector<uint8_t> arial = textureRGBA(text("Hello", "Arial"));
    EXPECT_EQ(textureRGBA(text("Hello", "LucidaGrande")), arial);
    EXPECT_EQ(textureRGBA(text("Hello", "No Such Font")), arial);
    EXPECT_NE(textureRGBA(text("Hello", "Times New Roman")), arial);
    for (size_t i = 0; i < arial.size(); i += 4) {
        if (arial[i + 3] > 0) {
            ASSERT_EQ(arial[i], 255) << "straight colour, not multiplied by alpha";
        }
    }
}

TEST_F(TextTexture, BadTextAndFramesDoNotCrash) {
    EXPECT_GT(inkSpan(text("ok\xff\xfe\xc3"), true).second, 0) << "invalid UTF-8 still draws";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(QzImageFromString("Hi", "Arial", 12, QzTextAlignLeft, true, 1e9f, 50).hasTexture());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is refused"), std::string::npos);
    EXPECT_FALSE(QzImageFromString("Hi", "Arial", NAN, QzTextAlignLeft, false, 0, 0).hasTexture());
    EXPECT_EQ(text("Hi", "Arial", QzTextAlignLeft, false).textureWidth,
              text("Hi", "Arial", static_cast<QzTextAlignment>(-7), false).textureWidth);
    loaded.push_back(QzImageFromString("Hi", "Arial", 12, QzTextAlignLeft, true, 2, 2));
    EXPECT_EQ(loaded.back().textureWidth, 2) << "a frame smaller than the margins";

    SGStringToImageNode node(nullptr);
    node.font.setValue(std::string("Arial"));
    EXPECT_FALSE(node.image.imageValue().hasTexture());
    EXPECT_EQ(node.width.numberValue(), 0.0f);
}

TEST_F(TextTexture, RecomputingAndDestroyingTextNodesLeaksNoTexture) {
    const int before = countLiveTextures();
    {
        SGStringToImageNode node(nullptr);
        node.text.setValue(std::string("Hi"));
        for (float size : {10.0f, 20.0f, 30.0f}) {
            node.fontSize.setValue(size);
            node.image.imageValue();
            EXPECT_EQ(countLiveTextures(), before + 1);
        }
    }
    EXPECT_EQ(countLiveTextures(), before);
}

// An outline grows the texture by its width on every side and rings the white glyphs in its
// colour; a shadow grows it by its offset on every side and lies below right; both are bounded.
TEST_F(TextTexture, OutlinesAndShadowsGrowTheTextureAndDrawAroundTheGlyphs) {
    const SGImage plain = styled("HOH", {});
    QzTextStyle outline;
    outline.outlineColor = {1, 0, 0, 1};
    outline.outlineWidth = 2;
    const SGImage outlined = styled("HOH", outline);
    EXPECT_EQ(outlined.textureWidth, plain.textureWidth + 4);
    EXPECT_EQ(outlined.textureHeight, plain.textureHeight + 4);
    const Ink red = inkOf(outlined, 255, 0, 0), white = inkOf(outlined, 255, 255, 255);
    EXPECT_GT(white.count, inkOf(plain, 255, 255, 255).count / 2) << "the glyphs stay white over their outline";
    EXPECT_GT(red.count, white.count / 2) << "outline pixels around the glyphs";
    EXPECT_NEAR(red.x, white.x, 1.5);
    EXPECT_NEAR(red.y, white.y, 1.5);

    QzTextStyle shadow;
    shadow.shadowColor = {0, 0, 1, 1};
    shadow.shadowDx = 3;
    shadow.shadowDy = -2;
    const SGImage shadowed = styled("HOH", shadow);
    EXPECT_EQ(shadowed.textureWidth, plain.textureWidth + 6);
    EXPECT_EQ(shadowed.textureHeight, plain.textureHeight + 4);
    const Ink blue = inkOf(shadowed, 0, 0, 255), glyphs = inkOf(shadowed, 255, 255, 255);
    EXPECT_GT(blue.count, 20);
    EXPECT_GT(blue.x, glyphs.x + 1) << "the shadow lies right of the glyphs";
    EXPECT_LT(blue.y, glyphs.y - 0.5) << "and below them (rows count from the bottom)";

    const struct {
        double width, alpha;
        int grows;
    } bounds[] = {{1e9, 1, 2 * static_cast<int>(kQzTextEffectLimit)}, {-5, 1, 0}, {NAN, 1, 0}, {4, 0, 0}};
    for (const auto& b : bounds) {
        QzTextStyle style;
        style.outlineColor = {1, 0, 0, b.alpha};
        style.outlineWidth = b.width;
        EXPECT_EQ(styled("HOH", style).textureWidth, plain.textureWidth + b.grows) << b.width << " " << b.alpha;
    }
}

// Markup styles its runs; everything else, brackets of malformed markup and Pango's own markup
// characters included, shows as typed.
TEST_F(TextTexture, MarkupStylesItsRunsAndShowsAllElseAsTyped) {
    QzTextStyle markup;
    markup.markup = true;
    const auto width = [&](const char* string, const QzTextStyle& style) { return styled(string, style).textureWidth; };
    EXPECT_GT(width("[b]Wide words[/b]", markup), width("Wide words", {}) + 2);
    EXPECT_GT(styled("[size=32]x[/size]", markup).textureHeight, styled("x", {}).textureHeight + 10);
    EXPECT_EQ(textureRGBA(styled("<b>a &amp; b</b> [[x]", markup)), textureRGBA(styled("<b>a &amp; b</b> [x]", {})));
    EXPECT_EQ(textureRGBA(styled("[b]unclosed", markup)), textureRGBA(styled("[b]unclosed", {})));

    const SGImage coloured = styled("[color=#ff0000]MM[/color]MM", markup);
    const Ink red = inkOf(coloured, 255, 0, 0), white = inkOf(coloured, 255, 255, 255);
    EXPECT_GT(red.count, 20);
    EXPECT_NEAR(red.count, white.count, white.count / 4) << "two letters of each";
    EXPECT_LT(red.x, coloured.textureWidth / 2.0);
    EXPECT_GT(white.x, coloured.textureWidth / 2.0);
}

// Styled text in a static frame keeps the frame, wraps downwards and aligns as plain text
// does, right-to-left runs included.
TEST_F(TextTexture, StyledTextKeepsStaticFramesWrappingAndAlignment) {
    QzTextStyle style;
    style.markup = true;
    style.outlineColor = {1, 0, 0, 1};
    style.outlineWidth = 3;
    const auto framed = [&](const char* string, QzTextAlignment alignment) {
        loaded.push_back(QzImageFromString(string, "Arial", 12, alignment, true, 200, 50, style));
        return loaded.back();
    };
    const SGImage one = framed("[b]a[/b]", QzTextAlignLeft);
    const SGImage wrapped = framed("[b]a long line of words[/b] that has to wrap at the frame's width", QzTextAlignLeft);
    for (const SGImage& image : {one, wrapped}) {
        EXPECT_EQ(image.textureWidth, 200);
        EXPECT_EQ(image.textureHeight, 50);
    }
    EXPECT_LT(inkSpan(wrapped, false).first, inkSpan(one, false).first - 10) << "wrapped lines go down";
    EXPECT_LE(inkSpan(wrapped, true).second, 199) << "the outline stays inside the frame";
    const char* hebrew = "[b]\u05e9\u05dc\u05d5\u05dd[/b]!";
    EXPECT_GE(inkSpan(framed(hebrew, QzTextAlignRight), true).first, 130);
    EXPECT_LE(inkSpan(framed(hebrew, QzTextAlignLeft), true).second, 70);
    EXPECT_GE(inkSpan(framed("[i]ii[/i]", QzTextAlignRight), true).first, 160);
}

}  // namespace
