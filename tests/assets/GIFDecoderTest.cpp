// The GIF reader against SDL2_image on valid files made by a small LZW encoder (sizes,
// interlacing, transparency, a table that fills, a place on a larger screen), and on damaged
// files.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include <array>
#include <cstring>
#include <map>

#include "AssetsTestSupport.h"
#include "QzGIFDecoder.h"
#include "QzImageLoader.h"

namespace {

// Codes of varying width, packed from the lowest bit as GIF packs them.
class CodeWriter {
public:
    void put(int code, int bits) {
        buffer_ |= static_cast<uint32_t>(code) << count_;
        for (count_ += bits; count_ >= 8; count_ -= 8, buffer_ >>= 8) bytes_.push_back(static_cast<uint8_t>(buffer_));
    }
    std::vector<uint8_t> finish() {
        if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(buffer_));
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t buffer_ = 0;
    int count_ = 0;
};

// The LZW codes of the indices, with a clear code first and whenever the table is full.
std::vector<uint8_t> compress(const std::vector<uint8_t>& indices, int rootBits) {
    const int clear = 1 << rootBits;
    CodeWriter out;
    std::map<std::pair<int, uint8_t>, int> table;
    int bits = rootBits + 1;
    int next = clear + 2;
    out.put(clear, bits);
    int current = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        if (const auto found = table.find({current, indices[i]}); found != table.end()) {
            current = found->second;
            continue;
        }
        out.put(current, bits);
        if (next == 4096) {
            out.put(clear, bits);
            table.clear();
            bits = rootBits + 1;
            next = clear + 2;
        } else {
            table[{current, indices[i]}] = next;
            if (next == (1 << bits)) ++bits;
            ++next;
        }
        current = indices[i];
    }
    out.put(current, bits);
    out.put(clear + 1, bits);
    return out.finish();
}

struct GIFLayout {
    int width;
    int height;
    int tableBits;  // 2 << tableBits colours
    int transparent;
    bool interlaced;
    uint32_t seed;
    int left = 0, top = 0;  // the picture's place on the logical screen
    int screenWidth = 0, screenHeight = 0;  // 0: the picture's own size
};

// A GIF of pseudo-random runs of colours; rows are stored in interlaced order when asked.
std::vector<uint8_t> makeGIF(const GIFLayout& layout) {
    const int colours = 2 << layout.tableBits;
    std::vector<std::vector<uint8_t>> rows(layout.height, std::vector<uint8_t>(layout.width));
    uint32_t state = layout.seed;
    uint8_t colour = 0;
    for (auto& row : rows) {
        for (uint8_t& index : row) {
            state = state * 1103515245 + 12345;
            if ((state >> 16) % 5 == 0) colour = static_cast<uint8_t>((state >> 8) % colours);
            index = colour;
        }
    }
    std::vector<uint8_t> stream;
    for (int pass = 0; pass < (layout.interlaced ? 4 : 1); ++pass) {
        const int start = layout.interlaced ? std::array{0, 4, 2, 1}[pass] : 0;
        const int step = layout.interlaced ? std::array{8, 8, 4, 2}[pass] : 1;
        for (int y = start; y < layout.height; y += step) stream.insert(stream.end(), rows[y].begin(), rows[y].end());
    }
    const auto littleEndian = [](std::initializer_list<int> values) {
        std::vector<uint8_t> bytes;
        for (int value : values) bytes.insert(bytes.end(), {uint8_t(value), uint8_t(value >> 8)});
        return bytes;
    };
    const std::vector<uint8_t> size = littleEndian({layout.width, layout.height});
    const std::vector<uint8_t> screen = littleEndian({layout.screenWidth ? layout.screenWidth : layout.width,
                                                      layout.screenHeight ? layout.screenHeight : layout.height});
    const std::vector<uint8_t> offset = littleEndian({layout.left, layout.top});
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
    gif.insert(gif.end(), screen.begin(), screen.end());
    gif.insert(gif.end(), {uint8_t(0x80 | layout.tableBits), 0, 0});
    for (int i = 0; i < colours; ++i) gif.insert(gif.end(), {uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(i * 5)});
    if (layout.transparent >= 0) gif.insert(gif.end(), {0x21, 0xf9, 4, 1, 0, 0, uint8_t(layout.transparent), 0});
    gif.push_back(0x2c);
    gif.insert(gif.end(), offset.begin(), offset.end());
    gif.insert(gif.end(), size.begin(), size.end());
    const int rootBits = std::max(2, layout.tableBits + 1);
    gif.insert(gif.end(), {uint8_t(layout.interlaced ? 0x40 : 0), uint8_t(rootBits)});
    const std::vector<uint8_t> codes = compress(stream, rootBits);
    for (size_t at = 0; at < codes.size(); at += 255) {
        const size_t length = std::min<size_t>(255, codes.size() - at);
        gif.push_back(static_cast<uint8_t>(length));
        gif.insert(gif.end(), codes.begin() + long(at), codes.begin() + long(at + length));
    }
    gif.insert(gif.end(), {0, 0x3b});
    return gif;
}

// SDL2_image's reading of a valid file, premultiplied and bottom-up like ours.
std::vector<uint8_t> referenceDecode(const std::string& path) {
    SDL_Surface* decoded = IMG_Load(path.c_str());
    if (!decoded) return {};
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGBA32, 0);
    QzBitmap bitmap{rgba->w, rgba->h, nullptr};
    QzPremultiplyAndFlip(static_cast<const uint8_t*>(rgba->pixels), rgba->pitch, &bitmap);
    SDL_FreeSurface(rgba);
    SDL_FreeSurface(decoded);
    return {bitmap.rgba.get(), bitmap.rgba.get() + size_t(bitmap.width) * size_t(bitmap.height) * 4};
}

// SDL2_image decodes the first picture alone; ours puts it on its screen, transparent around.
TEST(GIFDecoder, ValidFilesDecodeAsSDL2ImageDecodesThemOnTheirScreen) {
    const GIFLayout layouts[] = {
        {40, 30, 3, -1, false, 1},     // 16 colours
        {37, 23, 2, 3, true, 2},       // interlaced, colour 3 transparent
        {300, 200, 7, -1, false, 3},   // 256 colours: the table fills and is cleared
        {1, 1, 0, -1, false, 4},       // the smallest picture
        {3, 9, 0, 1, true, 5},         // interlaced with fewer rows than a pass step
        {32, 32, 3, -1, false, 6, 16, 16, 64, 64},  // in the middle of a larger screen
        {20, 10, 3, -1, true, 7, 5, 2, 1, 1},       // past the edges of a smaller screen
    };
    for (const GIFLayout& layout : layouts) {
        const std::string path = assetsTestDir() + "/valid.gif";
        writeBytes(path, makeGIF(layout));
        const std::vector<uint8_t> frame = referenceDecode(path);
        ASSERT_EQ(frame.size(), size_t(layout.width) * size_t(layout.height) * 4);
        const int width = std::max(layout.screenWidth, layout.left + layout.width);
        const int height = std::max(layout.screenHeight, layout.top + layout.height);
        std::vector<uint8_t> expected(size_t(width) * size_t(height) * 4, 0);
        for (int y = 0; y < layout.height; ++y) {  // bottom-up rows
            std::copy_n(&frame[size_t(y) * size_t(layout.width) * 4], layout.width * 4,
                        &expected[(size_t(height - layout.top - layout.height + y) * size_t(width) + size_t(layout.left)) * 4]);
        }
        QzBitmap ours;
        std::string error;
        ASSERT_TRUE(QzDecodeImageFile(path, &ours, &error)) << layout.width << "x" << layout.height << ": " << error;
        ASSERT_EQ(ours.width, width);
        ASSERT_EQ(ours.height, height);
        EXPECT_EQ(std::memcmp(ours.rgba.get(), expected.data(), expected.size()), 0)
            << layout.width << "x" << layout.height << " seed " << layout.seed;
    }
}

TEST(GIFDecoder, ACutFileDecodesAsFarAsItsDataReaches) {
    const std::vector<uint8_t> whole = makeGIF({64, 64, 3, -1, false, 6});
    QzGIFPicture full;
    QzGIFPicture cut;
    std::string error;
    ASSERT_TRUE(QzDecodeGIF(whole.data(), whole.size(), &full, &error)) << error;
    ASSERT_TRUE(QzDecodeGIF(whole.data(), whole.size() / 2, &cut, &error)) << error;
    EXPECT_TRUE(std::equal(full.rgba.begin(), full.rgba.begin() + 64 * 4, cut.rgba.begin())) << "the first row";
    EXPECT_EQ(cut.rgba.back(), 0) << "the last pixel is not reached and stays transparent";
}

TEST(GIFDecoder, DamagedFilesAreRefusedWithTheirReason) {
    const std::vector<uint8_t> valid = makeGIF({4, 4, 1, -1, false, 7});
    const size_t descriptor = 13 + 3 * 4;  // after the header and four colours
    auto changed = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> file = valid;
        std::copy(bytes.begin(), bytes.end(), file.begin() + long(at));
        return file;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        const char* reason;
    } cases[] = {
        {"no pixels", changed(descriptor + 5, {0, 0}), "has no pixels"},
        {"code size 12", changed(descriptor + 10, {12}), "LZW code size of 12"},
        {"unknown block", changed(descriptor, {0x99}), "blocks are damaged at byte 25"},
        {"only a trailer", changed(descriptor, {0x3b}), "ends without a picture"},
        {"cut colour table", std::vector<uint8_t>(valid.begin(), valid.begin() + 20), "ends inside its colour table"},
        {"cut descriptor", std::vector<uint8_t>(valid.begin(), valid.begin() + long(descriptor) + 4),
         "ends inside its first picture's descriptor"},
        {"not a GIF", changed(0, {'G', 'I', 'F', '9'}), "not a GIF picture"},
    };
    for (const auto& c : cases) {
        QzGIFPicture picture;
        std::string error;
        EXPECT_FALSE(QzDecodeGIF(c.file.data(), c.file.size(), &picture, &error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

}  // namespace
