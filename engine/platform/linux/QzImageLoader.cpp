// Image files into OpenGL textures through SDL2_image, with the fallback picture.
#include "QzImageLoader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include "QzGIFDecoder.h"
#include "QzGLTexture.h"
#include "QzShippedFiles.h"

namespace {

std::string gResourceDirectory;  // set by QzSetResourceDirectory; empty when not set

// Most headers are sized from their first bytes; JPEG and GIF may need to skip metadata
// and colour tables first.
constexpr size_t kShortHeaderBytes = 1024;
constexpr size_t kLongHeaderBytes = 64 * 1024;

uint32_t bigEndian16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t bigEndian32(const uint8_t* p) { return (bigEndian16(p) << 16) | bigEndian16(p + 2); }
uint32_t littleEndian16(const uint8_t* p) { return (uint32_t{p[1]} << 8) | p[0]; }
int32_t littleEndian32(const uint8_t* p) {
    return static_cast<int32_t>((littleEndian16(p + 2) << 16) | littleEndian16(p));
}

bool hasExtension(const std::string& path, const char* extension) {
    const size_t length = std::strlen(extension);
    return path.size() >= length && strcasecmp(path.c_str() + path.size() - length, extension) == 0;
}

// What a header states: the picture's size, and how densely its encoding can pack pixels
// at best (pixels <= file bytes x densityNumerator / densityDenominator). The density bounds
// what a file of a given real size can honestly hold.
struct ImageHeader {
    int64_t width = 0;
    int64_t height = 0;
    // Encodings whose densest packing has no useful bound (arithmetic-coded JPEG, run-length
    // BMP that ends early, formats the header reader does not know) are bounded by the
    // decoding allocation limit alone.
    bool densityBounded = true;
    int64_t densityNumerator = 1;
    int64_t densityDenominator = 1;
    bool gif = false;  // decoded here, not by SDL2_image
    bool cmyk = false;  // a four-component JPEG, which SDL2_image hands back as raw C, M, Y, K
    bool invertedCMYK = false;  // written by Adobe's tools, with every component inverted
};

// Deflate stands for at most 1032 bytes per byte, and a PNG pixel takes bitsPerPixel bits.
constexpr int64_t kDeflateBitsPerByte = 1032 * 8;

int64_t pngBitsPerPixel(uint8_t bitDepth, uint8_t colourType) {
    static constexpr int64_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int64_t channels = colourType < 7 ? kChannels[colourType] : 0;
    return std::max<int64_t>(1, bitDepth * channels);
}

bool pngHeader(const std::vector<uint8_t>& h, ImageHeader* header) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (h.size() < 26 || std::memcmp(h.data(), kSignature, 8) != 0) return false;
    header->width = bigEndian32(&h[16]);
    header->height = bigEndian32(&h[20]);
    header->densityNumerator = kDeflateBitsPerByte;
    header->densityDenominator = pngBitsPerPixel(h[24], h[25]);
    return true;
}

// The size of the canvas the first frame is decoded on: the logical screen, grown where the
// frame passes its edges (as QzDecodeGIF does). LZW codes are at most 12 bits, each standing
// for at most 4096 pixels.
bool gifHeader(const std::vector<uint8_t>& h, ImageHeader* header) {
    if (h.size() < 13 || (std::memcmp(h.data(), "GIF87a", 6) != 0 && std::memcmp(h.data(), "GIF89a", 6) != 0)) {
        return false;
    }
    size_t at = 13;
    if (h[10] & 0x80) at += 3u * (1u << ((h[10] & 7) + 1));
    while (at < h.size()) {
        if (h[at] == 0x2c) {
            if (at + 9 > h.size()) return false;
            header->width = std::max(littleEndian16(&h[6]), littleEndian16(&h[at + 1]) + littleEndian16(&h[at + 5]));
            header->height = std::max(littleEndian16(&h[8]), littleEndian16(&h[at + 3]) + littleEndian16(&h[at + 7]));
            header->densityNumerator = 4096 * 8;
            header->densityDenominator = 12;
            header->gif = true;
            return true;
        }
        if (h[at] != 0x21 || at + 2 >= h.size()) return false;
        at += 2;  // extension introducer and label, then sub-blocks up to a zero length
        while (at < h.size() && h[at] != 0) at += h[at] + 1u;
        ++at;
    }
    return false;
}

// Uncompressed rows hold bitsPerPixel bits a pixel. Run-length pictures may end early, the
// rest left blank, so their file's size says nothing of their pixels.
bool bmpHeader(const std::vector<uint8_t>& h, ImageHeader* header) {
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M') return false;
    int64_t bitsPerPixel = 0;
    uint32_t compression = 0;
    if (littleEndian32(&h[14]) == 12) {
        header->width = littleEndian16(&h[18]);
        header->height = littleEndian16(&h[20]);
        bitsPerPixel = littleEndian16(&h[24]);
    } else {
        header->width = littleEndian32(&h[18]);
        header->height = std::abs(int64_t{littleEndian32(&h[22])});  // negative: rows top-down
        if (h.size() >= 34) {
            bitsPerPixel = littleEndian16(&h[28]);
            compression = static_cast<uint32_t>(littleEndian32(&h[30]));
        }
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    header->densityBounded = uncompressed;
    header->densityNumerator = 8;
    header->densityDenominator = std::max<int64_t>(1, bitsPerPixel);
    return true;
}

// Huffman-coded blocks take at least one bit for every 8 x 8 pixels of a component; 1024
// pixels a byte leaves room for progressive coding of flat pictures. Arithmetic coding packs
// flat pictures without a useful bound. The segments before the frame header (metadata,
// thumbnails, colour profiles) may be of any length, so they are walked through the file.
bool jpegHeader(std::ifstream& file, ImageHeader* header) {
    uint8_t bytes[10];
    file.clear();
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes), 2) || bytes[0] != 0xff || bytes[1] != 0xd8) return false;
    bool adobe = false;
    for (;;) {
        const std::streamoff at = file.tellg();
        if (!file.read(reinterpret_cast<char*>(bytes), 4) || bytes[0] != 0xff) return false;
        const uint8_t marker = bytes[1];
        if (marker == 0xff) {  // fill byte
            file.seekg(at + 1);
            continue;
        }
        const uint32_t length = bigEndian16(&bytes[2]);
        const bool startOfFrame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 &&
                                  marker != 0xc8 && marker != 0xcc;
        if (startOfFrame) {
            if (!file.read(reinterpret_cast<char*>(bytes), 6)) return false;
            header->height = bigEndian16(&bytes[1]);
            header->width = bigEndian16(&bytes[3]);
            header->densityBounded = marker < 0xc9;
            header->densityNumerator = 1024;
            header->densityDenominator = 1;
            header->cmyk = bytes[5] == 4;
            header->invertedCMYK = header->cmyk && adobe;
            return true;
        }
        if (marker == 0xee && length >= 7) {  // APP14, which Adobe's tools write
            if (!file.read(reinterpret_cast<char*>(bytes), 5)) return false;
            adobe = std::memcmp(bytes, "Adobe", 5) == 0;
        }
        if (length < 2) return false;
        file.seekg(at + 2 + length);
    }
}

// TGA has no signature; SDL2_image recognises it by the file name too. Raw pictures hold
// bitsPerPixel bits a pixel; a run-length packet at most 128 pixels in one byte and a pixel.
bool tgaHeader(const std::string& path, const std::vector<uint8_t>& h, ImageHeader* header) {
    if (h.size() < 18 || !hasExtension(path, ".tga")) return false;
    header->width = littleEndian16(&h[12]);
    header->height = littleEndian16(&h[14]);
    const int64_t bitsPerPixel = std::max<int64_t>(8, h[16]);
    const bool runLength = (h[2] & 8) != 0;
    header->densityNumerator = runLength ? 128 * 8 : 8;
    header->densityDenominator = runLength ? 8 + bitsPerPixel : bitsPerPixel;
    return true;
}

// Reads the header of a PNG, JPEG, GIF, BMP or TGA file; *fileBytes is the file's size. Other
// files give a header of size 0 x 0; false when the file cannot be opened.
bool readImageHeader(const std::string& path, ImageHeader* result, int64_t* fileBytes, std::string* error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        *error = "the file cannot be opened";
        return false;
    }
    *fileBytes = static_cast<int64_t>(file.tellg());
    file.seekg(0);
    std::vector<uint8_t> header;
    for (size_t length : {kShortHeaderBytes, kLongHeaderBytes}) {
        const size_t had = header.size();
        header.resize(length);
        file.read(reinterpret_cast<char*>(header.data() + had), static_cast<std::streamsize>(length - had));
        header.resize(had + static_cast<size_t>(file.gcount()));
        if (pngHeader(header, result) || gifHeader(header, result) || bmpHeader(header, result) ||
            tgaHeader(path, header, result)) {
            return true;
        }
        if (header.size() < length) break;  // the whole file was read
    }
    if (jpegHeader(file, result)) return true;
    // Other formats (TIFF, WebP and the rest SDL2_image reads) are sized by decoding them.
    *result = ImageHeader{};
    result->densityBounded = false;
    return true;
}

// Pictures up to this many pixels are decoded whatever their file's size: a small picture
// costs little even when its file is damaged.
constexpr int64_t kPixelsAllowedAnyway = 256 * 256;

// Whether the file is large enough to hold the pixels its header states at its format's
// densest. A small file stating a huge picture is refused before SDL2_image allocates it.
bool fileCanHoldPixels(const ImageHeader& header, int64_t fileBytes) {
    const int64_t pixels = header.width * header.height;  // both checked against the texture limits
    if (!header.densityBounded || pixels <= kPixelsAllowedAnyway) return true;
    const int64_t bytes = std::min<int64_t>(fileBytes, int64_t{1} << 40);
    return pixels * header.densityDenominator <= bytes * header.densityNumerator;
}

// While a picture decodes, SDL (and SDL2_image through it) may not allocate more at once
// than the picture's declared size justifies. A damaged file can lead SDL2_image to a frame
// or size other than the one its header states; it then fails instead of allocating.
thread_local size_t tAllocationLimit = 0;  // bytes; 0 while no picture decodes on this thread
thread_local bool tAllocationRefused = false;
SDL_malloc_func gSDLMalloc = nullptr;
SDL_calloc_func gSDLCalloc = nullptr;
SDL_realloc_func gSDLRealloc = nullptr;

bool allocationRefused(size_t count, size_t size) {
    if (tAllocationLimit == 0 || size == 0 || count <= tAllocationLimit / size) return false;
    tAllocationRefused = true;
    return true;
}
void* SDLCALL limitedMalloc(size_t size) { return allocationRefused(1, size) ? nullptr : gSDLMalloc(size); }
void* SDLCALL limitedCalloc(size_t count, size_t size) {
    return allocationRefused(count, size) ? nullptr : gSDLCalloc(count, size);
}
void* SDLCALL limitedRealloc(void* block, size_t size) {
    return allocationRefused(1, size) ? nullptr : gSDLRealloc(block, size);
}

// Wraps SDL's own allocator once; blocks allocated before or after stay compatible, since
// every call still ends in SDL's own functions.
void limitSDLAllocations() {
    static const bool installed = [] {
        SDL_free_func free = nullptr;
        SDL_GetMemoryFunctions(&gSDLMalloc, &gSDLCalloc, &gSDLRealloc, &free);
        return SDL_SetMemoryFunctions(limitedMalloc, limitedCalloc, limitedRealloc, free) == 0;
    }();
    (void)installed;
}

// Limits SDL's allocations on this thread for as long as it lives.
class SDLAllocationLimit {
public:
    explicit SDLAllocationLimit(size_t bytes) {
        limitSDLAllocations();
        tAllocationLimit = bytes;
        tAllocationRefused = false;
    }
    ~SDLAllocationLimit() { tAllocationLimit = 0; }
    SDLAllocationLimit(const SDLAllocationLimit&) = delete;
    SDLAllocationLimit& operator=(const SDLAllocationLimit&) = delete;
    bool refused() const { return tAllocationRefused; }
};

// The largest single allocation decoding a width x height picture needs: four bytes a
// pixel with rows padded, plus room for the decoders' own tables.
size_t decodingAllocationLimit(int64_t width, int64_t height) {
    constexpr int64_t kDecoderTables = 1 << 20;
    return static_cast<size_t>(4 * (width + 4) * height + kDecoderTables);
}

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// SDL2_image's GIF reader moves on to a later frame when the first is damaged, whatever
// its size, and writes through a missing pixel buffer for frames without pixels; GIFs are
// decoded here instead.
bool decodeGIFFile(const std::string& path, QzBitmap* bitmap, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    QzGIFPicture picture;
    std::string reason;
    if (!QzDecodeGIF(bytes.data(), bytes.size(), &picture, &reason)) {
        *error = "it cannot be decoded: " + reason;
        return false;
    }
    bitmap->width = picture.width;
    bitmap->height = picture.height;
    QzPremultiplyAndFlip(picture.rgba.data(), picture.width * 4, bitmap);
    return true;
}

// SDL2_image hands a four-component JPEG back as four bytes a pixel in the file's order, C, M,
// Y and K, labelled as if they were colour and alpha. They are turned into opaque RGB here:
// each colour is what its ink and the black leave of white.
bool convertCMYK(SDL_Surface* decoded, bool inverted, QzBitmap* bitmap, std::string* error) {
    if (decoded->format->BytesPerPixel != 4) {
        *error = "its CMYK colours cannot be converted: the decoder gave " +
                 std::to_string(decoded->format->BytesPerPixel) + " bytes a pixel";
        return false;
    }
    const size_t width = static_cast<size_t>(decoded->w);
    std::vector<uint8_t> rgba(width * static_cast<size_t>(decoded->h) * 4);
    for (int y = 0; y < decoded->h; ++y) {
        const uint8_t* in = static_cast<const uint8_t*>(decoded->pixels) + static_cast<size_t>(y) * decoded->pitch;
        uint8_t* out = &rgba[static_cast<size_t>(y) * width * 4];
        for (size_t x = 0; x < width; ++x, in += 4, out += 4) {
            // Left of white after each ink, as a fraction of 255.
            const auto left = [inverted](uint8_t ink) { return uint32_t{inverted ? ink : uint8_t(255 - ink)}; };
            const uint32_t black = left(in[3]);
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((left(in[c]) * black + 127) / 255);
            out[3] = 255;
        }
    }
    bitmap->width = decoded->w;
    bitmap->height = decoded->h;
    QzPremultiplyAndFlip(rgba.data(), static_cast<int32_t>(width * 4), bitmap);
    return true;
}

}  // namespace

bool QzReadImageSize(const std::string& path, int64_t* width, int64_t* height, std::string* error) {
    ImageHeader header;
    int64_t fileBytes = 0;
    if (!readImageHeader(path, &header, &fileBytes, error)) return false;
    if (header.width == 0) {
        *error = "it is not a PNG, JPEG, GIF, BMP or TGA picture (or its header is damaged)";
        return false;
    }
    *width = header.width;
    *height = header.height;
    return true;
}

void QzPremultiplyAndFlip(const uint8_t* topDown, int32_t pitch, QzBitmap* bitmap) {
    // value × alpha / 255, rounded, for every alpha and value: one lookup per channel.
    static const std::vector<uint8_t> kProducts = [] {
        std::vector<uint8_t> table(256 * 256);
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            for (uint32_t value = 0; value < 256; ++value) {
                table[alpha * 256 + value] = static_cast<uint8_t>((value * alpha + 127) / 255);
            }
        }
        return table;
    }();
    const size_t rowBytes = static_cast<size_t>(bitmap->width) * 4;
    // Every byte is written below, so the pixels are not cleared first.
    bitmap->rgba = std::make_unique_for_overwrite<uint8_t[]>(rowBytes * static_cast<size_t>(bitmap->height));
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const uint8_t* source = topDown + static_cast<size_t>(bitmap->height - 1 - y) * pitch;
        uint8_t* target = bitmap->rgba.get() + static_cast<size_t>(y) * rowBytes;
        for (size_t i = 0; i < rowBytes; i += 4) {
            const uint8_t alpha = source[i + 3];
            const uint8_t* products = &kProducts[size_t{alpha} * 256];
            target[i] = products[source[i]];
            target[i + 1] = products[source[i + 1]];
            target[i + 2] = products[source[i + 2]];
            target[i + 3] = alpha;
        }
    }
}

bool QzDecodeImageFile(const std::string& path, QzBitmap* bitmap, std::string* error) {
    ImageHeader header;
    int64_t fileBytes = 0;
    if (!readImageHeader(path, &header, &fileBytes, error)) return false;
    const bool sizeKnown = header.width != 0 || header.height != 0;
    const std::string declared = "its declared size " + std::to_string(header.width) + "x" + std::to_string(header.height);
    const char* reason = nullptr;
    if (sizeKnown && !QzTextureSizeAllowed(header.width, header.height, &reason)) {
        *error = declared + " is refused: " + reason;
        return false;
    }
    if (!fileCanHoldPixels(header, fileBytes)) {
        *error = declared + " is refused: its " + std::to_string(fileBytes) +
                 "-byte file cannot hold that many pixels";
        return false;
    }
    if (header.gif) return decodeGIFFile(path, bitmap, error);
    SurfacePtr decoded;
    {
        // A picture whose size no header states may take as much as the largest texture.
        SDLAllocationLimit limit(sizeKnown ? decodingAllocationLimit(header.width, header.height)
                                           : decodingAllocationLimit(kQzMaxTexturePixels, 1));
        decoded.reset(IMG_Load(path.c_str()));
        if (!decoded && limit.refused()) {
            *error = (sizeKnown ? declared : std::string("its size")) +
                     " is refused: decoding it needs more memory than that size justifies";
            return false;
        }
    }
    if (!decoded) {
        *error = std::string("it cannot be decoded: ") + IMG_GetError();
        return false;
    }
    if (!sizeKnown && !QzTextureSizeAllowed(decoded->w, decoded->h, &reason)) {
        *error = "its size " + std::to_string(decoded->w) + "x" + std::to_string(decoded->h) + " is refused: " + reason;
        return false;
    }
    // The decoded size must be the checked one, so the check bounds what is allocated.
    if (sizeKnown && (decoded->w != header.width || decoded->h != header.height)) {
        *error = "its decoded size differs from the size its header declares";
        return false;
    }
    if (header.cmyk) return convertCMYK(decoded.get(), header.invertedCMYK, bitmap, error);
    // PNG files with alpha decode as RGBA already; anything else is converted.
    SurfacePtr rgba(decoded->format->format == SDL_PIXELFORMAT_RGBA32
                        ? decoded.release()
                        : SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_RGBA32, 0));
    if (!rgba) {
        *error = std::string("it cannot be converted to RGBA: ") + SDL_GetError();
        return false;
    }
    decoded.reset();  // converted: only two copies of a large picture are held at once, not three
    bitmap->width = rgba->w;
    bitmap->height = rgba->h;
    QzPremultiplyAndFlip(static_cast<const uint8_t*>(rgba->pixels), rgba->pitch, bitmap);
    return true;
}

GLuint uploadAsGLTexture(const QzBitmap& bitmap) {
    if (bitmap.width <= 0 || bitmap.height <= 0) {
        std::fprintf(stderr, "uploadAsGLTexture: invalid source image size: %fx%f\n",
                     static_cast<double>(bitmap.width), static_cast<double>(bitmap.height));
        return 0;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        std::fprintf(stderr, "uploadAsGLTexture: glGenTextures returned invalid ID\n");
        return 0;
    }
    QzFillRGBATexture(name, bitmap.width, bitmap.height, bitmap.rgba.get());
    return name;
}

bool QzLoadImageTexture(const std::string& path, SGImage* image, std::string* error) {
    QzBitmap bitmap;
    if (!QzDecodeImageFile(path, &bitmap, error)) return false;
    const GLuint name = uploadAsGLTexture(bitmap);
    if (name == 0) {
        *error = "OpenGL gave no texture for it";
        return false;
    }
    *image = SGImageNull;
    image->textureName = name;
    image->textureWidth = bitmap.width;
    image->textureHeight = bitmap.height;
    image->textureRect = {0, 0, 1, 1};
    image->premultiplied = 1;
    image->width = static_cast<uint32_t>(image->getWidth());
    image->height = static_cast<uint32_t>(image->getHeight());
    return true;
}

SGImage QzLoadImageFromFile(const char* path) {
    if (!path || !*path) return SGImageNull;
    SGImage image;
    std::string error;
    if (QzLoadImageTexture(path, &image, &error)) return image;
    std::string fallbackError;
    const std::string fallback = QzResourcePath("image_missing.png");
    const bool replaced = QzLoadImageTexture(fallback, &image, &fallbackError);
    const std::string outcome = replaced ? "the image_missing picture is shown instead"
                                         : "nothing is shown, since the fallback picture " + fallback +
                                               " cannot be used either (" + fallbackError + ")";
    std::fprintf(stderr, "QzLoadImageFromFile could not create NSImage from file %s (%s); %s\n", path,
                 error.c_str(), outcome.c_str());
    return replaced ? image : SGImageNull;
}

void QzSetResourceDirectory(const std::string& directory) { gResourceDirectory = directory; }

std::string QzResourcePath(const std::string& fileName) {
    if (!gResourceDirectory.empty()) return gResourceDirectory + "/" + fileName;
    const char* environment = std::getenv("QZ_RESOURCE_DIR");
    if (environment && *environment) return std::string(environment) + "/" + fileName;
    const std::string shipped = QzFindShippedFile(fileName);
    return shipped.empty() ? QzProgramDirectory() + "/" + fileName : shipped;
}
