// GIF's first picture into straight RGBA: blocks, colour tables, transparency, LZW, interlace,
// and its place on the logical screen.
#include "QzGIFDecoder.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;

// A bounds-checked cursor over the file; callers ask has() before reading.
class Reader {
public:
    Reader(const uint8_t* bytes, size_t size, size_t at) : bytes_(bytes), size_(size), at_(at) {}
    bool has(size_t count) const { return size_ - at_ >= count; }
    uint8_t byte() { return bytes_[at_++]; }
    const uint8_t* take(size_t count) {
        const uint8_t* start = bytes_ + at_;
        at_ += count;
        return start;
    }
    size_t remaining() const { return size_ - at_; }
    size_t offset() const { return at_; }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_;
};

// Reads sub-blocks up to the zero length that ends them, appending their bytes to *into
// when given. False when the file ends first (what was there is appended).
bool readSubBlocks(Reader& in, std::vector<uint8_t>* into) {
    while (in.has(1)) {
        const size_t length = in.byte();
        if (length == 0) return true;
        const size_t present = std::min(length, in.remaining());
        const uint8_t* data = in.take(present);
        if (into) into->insert(into->end(), data, data + present);
        if (present < length) return false;
    }
    return false;
}

// Decodes LZW codes into at most `count` colour indices. Stops at the end code, at the end
// of the data, or at a code the table cannot hold yet (damaged data). Returns how many
// indices were written.
size_t decodeLZW(const std::vector<uint8_t>& data, int rootBits, uint8_t* out, size_t count) {
    std::array<uint16_t, kMaxCodes> prefix{};  // the code this one extends
    std::array<uint16_t, kMaxCodes> length{};  // indices the code stands for
    std::array<uint8_t, kMaxCodes> suffix{};   // its last index
    std::array<uint8_t, kMaxCodes> first{};    // its first index
    const int clear = 1 << rootBits;
    const int end = clear + 1;
    for (int i = 0; i < clear; ++i) {
        suffix[i] = first[i] = static_cast<uint8_t>(i);
        length[i] = 1;
    }
    int bits = rootBits + 1;
    int next = clear + 2;
    int previous = -1;
    uint32_t buffer = 0;
    int buffered = 0;
    size_t at = 0;
    size_t written = 0;
    while (written < count) {
        while (buffered < bits && at < data.size()) {
            buffer |= uint32_t{data[at++]} << buffered;
            buffered += 8;
        }
        if (buffered < bits) break;
        const int code = static_cast<int>(buffer & ((1u << bits) - 1));
        buffer >>= bits;
        buffered -= bits;
        if (code == clear) {
            bits = rootBits + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code >= clear) break;  // the first code after a clear must be a root
            out[written++] = static_cast<uint8_t>(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next == kMaxCodes)) break;
        if (next < kMaxCodes) {
            // The new entry is the previous string plus the first index of this one (of
            // the previous one when this code is the entry being made).
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = code < next ? first[code] : first[previous];
            first[next] = first[previous];
            length[next] = static_cast<uint16_t>(length[previous] + 1);
            ++next;
            if (next >= (1 << bits) && bits < kMaxCodeBits) ++bits;  // at once for 1-bit roots
        }
        // The string is written back to front along its prefixes; what passes the
        // picture's end is dropped.
        int walk = code;
        for (size_t k = length[code]; k-- > 0;) {
            if (written + k < count) out[written + k] = suffix[walk];
            walk = prefix[walk];
        }
        written = std::min(count, written + length[code]);
        previous = code;
    }
    return written;
}

// The order in which an interlaced picture's rows arrive.
std::vector<int32_t> rowOrder(int32_t height, bool interlaced) {
    std::vector<int32_t> rows;
    rows.reserve(static_cast<size_t>(height));
    if (!interlaced) {
        for (int32_t y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    static constexpr int32_t kStarts[4] = {0, 4, 2, 1};
    static constexpr int32_t kSteps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int32_t y = kStarts[pass]; y < height; y += kSteps[pass]) rows.push_back(y);
    }
    return rows;
}

using Palette = std::array<std::array<uint8_t, 4>, 256>;

// Reads a colour table of 2 << (flags & 7) entries into the palette.
bool readColourTable(Reader& in, uint8_t flags, Palette* palette) {
    const size_t entries = size_t{2} << (flags & 7);
    if (!in.has(entries * 3)) return false;
    const uint8_t* rgb = in.take(entries * 3);
    for (size_t i = 0; i < entries; ++i) (*palette)[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255};
    return true;
}

// The first picture is drawn at its offset on a transparent canvas of the logical screen's
// size, grown where the picture passes the screen's edges (some writers state no screen).
bool decodePicture(Reader& in, Palette palette, int transparent, int32_t screenWidth, int32_t screenHeight,
                   QzGIFPicture* picture, std::string* error) {
    if (!in.has(9)) {
        *error = "the file ends inside its first picture's descriptor";
        return false;
    }
    const uint8_t* descriptor = in.take(9);
    const int32_t left = descriptor[0] | (descriptor[1] << 8);
    const int32_t top = descriptor[2] | (descriptor[3] << 8);
    const int32_t frameWidth = descriptor[4] | (descriptor[5] << 8);
    const int32_t frameHeight = descriptor[6] | (descriptor[7] << 8);
    const uint8_t flags = descriptor[8];
    if (frameWidth == 0 || frameHeight == 0) {
        *error = "its first picture has no pixels";
        return false;
    }
    if ((flags & 0x80) && !readColourTable(in, flags, &palette)) {
        *error = "the file ends inside its first picture's colour table";
        return false;
    }
    if (!in.has(1)) {
        *error = "the file ends before its first picture's pixels";
        return false;
    }
    const int rootBits = in.byte();
    if (rootBits < 1 || rootBits > 8) {
        *error = "its first picture states an LZW code size of " + std::to_string(rootBits) + " (1 to 8 work)";
        return false;
    }
    std::vector<uint8_t> data;
    readSubBlocks(in, &data);  // a cut file decodes as far as its data reaches
    const size_t count = static_cast<size_t>(frameWidth) * static_cast<size_t>(frameHeight);
    std::vector<uint8_t> indices(count);
    const size_t decoded = decodeLZW(data, rootBits, indices.data(), count);
    if (transparent >= 0) palette[static_cast<size_t>(transparent)] = {0, 0, 0, 0};
    picture->width = std::max(screenWidth, left + frameWidth);
    picture->height = std::max(screenHeight, top + frameHeight);
    const size_t canvasWidth = static_cast<size_t>(picture->width);
    picture->rgba.assign(canvasWidth * static_cast<size_t>(picture->height) * 4, 0);
    const std::vector<int32_t> rows = rowOrder(frameHeight, flags & 0x40);
    const size_t width = static_cast<size_t>(frameWidth);
    for (size_t position = 0; position < decoded; ++position) {
        const size_t row = static_cast<size_t>(top + rows[position / width]);
        const size_t column = static_cast<size_t>(left) + position % width;
        std::copy_n(palette[indices[position]].data(), 4, &picture->rgba[(row * canvasWidth + column) * 4]);
    }
    return true;
}

}  // namespace

bool QzDecodeGIF(const uint8_t* bytes, size_t size, QzGIFPicture* picture, std::string* error) {
    if (size < 13 || (std::string(reinterpret_cast<const char*>(bytes), 6) != "GIF87a" &&
                      std::string(reinterpret_cast<const char*>(bytes), 6) != "GIF89a")) {
        *error = "it is not a GIF picture";
        return false;
    }
    Palette palette;
    palette.fill({0, 0, 0, 255});  // indices past the colour table, or without one, are black
    Reader in(bytes, size, 13);
    if ((bytes[10] & 0x80) && !readColourTable(in, bytes[10], &palette)) {
        *error = "the file ends inside its colour table";
        return false;
    }
    int transparent = -1;
    while (in.has(1)) {
        const size_t offset = in.offset();
        const uint8_t introducer = in.byte();
        if (introducer == 0x2c) {
            return decodePicture(in, palette, transparent, bytes[6] | (bytes[7] << 8), bytes[8] | (bytes[9] << 8),
                                 picture, error);
        }
        if (introducer == 0x3b) {
            *error = "the file ends without a picture";
            return false;
        }
        if (introducer != 0x21 || !in.has(1)) {
            *error = "its blocks are damaged at byte " + std::to_string(offset);
            return false;
        }
        const uint8_t label = in.byte();
        std::vector<uint8_t> extension;
        if (!readSubBlocks(in, label == 0xf9 ? &extension : nullptr)) break;
        // A graphic control extension names the next picture's transparent index.
        if (label == 0xf9) transparent = extension.size() >= 4 && (extension[0] & 1) ? extension[3] : -1;
    }
    *error = "the file ends before its first picture";
    return false;
}
