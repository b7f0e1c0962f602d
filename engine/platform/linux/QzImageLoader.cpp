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

#include "QzGLTexture.h"

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

bool pngSize(const std::vector<uint8_t>& h, int64_t* w, int64_t* ht) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (h.size() < 24 || std::memcmp(h.data(), kSignature, 8) != 0) return false;
    *w = bigEndian32(&h[16]);
    *ht = bigEndian32(&h[20]);
    return true;
}

// The size of the first frame: SDL2_image decodes that frame at its own size.
bool gifSize(const std::vector<uint8_t>& h, int64_t* w, int64_t* ht) {
    if (h.size() < 13 || (std::memcmp(h.data(), "GIF87a", 6) != 0 && std::memcmp(h.data(), "GIF89a", 6) != 0)) {
        return false;
    }
    size_t at = 13;
    if (h[10] & 0x80) at += 3u * (1u << ((h[10] & 7) + 1));
    while (at < h.size()) {
        if (h[at] == 0x2c) {
            if (at + 9 > h.size()) return false;
            *w = littleEndian16(&h[at + 5]);
            *ht = littleEndian16(&h[at + 7]);
            return true;
        }
        if (h[at] != 0x21 || at + 2 >= h.size()) return false;
        at += 2;  // extension introducer and label, then sub-blocks up to a zero length
        while (at < h.size() && h[at] != 0) at += h[at] + 1u;
        ++at;
    }
    return false;
}

bool bmpSize(const std::vector<uint8_t>& h, int64_t* w, int64_t* ht) {
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M') return false;
    if (littleEndian32(&h[14]) == 12) {
        *w = littleEndian16(&h[18]);
        *ht = littleEndian16(&h[20]);
    } else {
        *w = littleEndian32(&h[18]);
        *ht = std::abs(int64_t{littleEndian32(&h[22])});  // negative: rows top-down
    }
    return true;
}

bool jpegSize(const std::vector<uint8_t>& h, int64_t* w, int64_t* ht) {
    if (h.size() < 4 || h[0] != 0xff || h[1] != 0xd8) return false;
    size_t at = 2;
    while (at + 9 < h.size()) {
        if (h[at] != 0xff) return false;
        const uint8_t marker = h[at + 1];
        if (marker == 0xff) {
            ++at;
            continue;
        }
        const bool startOfFrame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 &&
                                  marker != 0xc8 && marker != 0xcc;
        if (startOfFrame) {
            *ht = bigEndian16(&h[at + 5]);
            *w = bigEndian16(&h[at + 7]);
            return true;
        }
        at += 2 + bigEndian16(&h[at + 2]);
    }
    return false;
}

// TGA has no signature; SDL2_image recognises it by the file name too.
bool tgaSize(const std::string& path, const std::vector<uint8_t>& h, int64_t* w, int64_t* ht) {
    if (h.size() < 18 || !hasExtension(path, ".tga")) return false;
    *w = littleEndian16(&h[12]);
    *ht = littleEndian16(&h[14]);
    return true;
}

std::string programDirectory() {
    std::array<char, 4096> buffer{};
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return ".";
    std::string path(buffer.data(), static_cast<size_t>(length));
    return path.substr(0, path.find_last_of('/'));
}

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// Loads the file and uploads it; the texture size is the picture's. False when either fails.
bool loadTexture(const std::string& path, SGImage* image, std::string* error) {
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

}  // namespace

bool QzReadImageSize(const std::string& path, int64_t* width, int64_t* height, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "the file cannot be opened";
        return false;
    }
    std::vector<uint8_t> header;
    for (size_t length : {kShortHeaderBytes, kLongHeaderBytes}) {
        const size_t had = header.size();
        header.resize(length);
        file.read(reinterpret_cast<char*>(header.data() + had), static_cast<std::streamsize>(length - had));
        header.resize(had + static_cast<size_t>(file.gcount()));
        if (pngSize(header, width, height) || gifSize(header, width, height) ||
            bmpSize(header, width, height) || jpegSize(header, width, height) ||
            tgaSize(path, header, width, height)) {
            return true;
        }
        if (header.size() < length) break;  // the whole file was read
    }
    *error = "it is not a PNG, JPEG, GIF, BMP or TGA picture (or its header is damaged)";
    return false;
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
    int64_t width = 0;
    int64_t height = 0;
    if (!QzReadImageSize(path, &width, &height, error)) return false;
    const char* reason = nullptr;
    if (!QzTextureSizeAllowed(width, height, &reason)) {
        *error = "its declared size " + std::to_string(width) + "x" + std::to_string(height) +
                 " is refused: " + reason;
        return false;
    }
    SurfacePtr decoded(IMG_Load(path.c_str()));
    if (!decoded) {
        *error = std::string("it cannot be decoded: ") + IMG_GetError();
        return false;
    }
    // The decoded size must be the checked one, so the check bounds what is allocated.
    if (decoded->w != width || decoded->h != height) {
        *error = "its decoded size differs from the size its header declares";
        return false;
    }
    // PNG files with alpha decode as RGBA already; anything else is converted.
    SurfacePtr rgba(decoded->format->format == SDL_PIXELFORMAT_RGBA32
                        ? decoded.release()
                        : SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_RGBA32, 0));
    if (!rgba) {
        *error = std::string("it cannot be converted to RGBA: ") + SDL_GetError();
        return false;
    }
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

SGImage QzLoadImageFromFile(const char* path) {
    if (!path || !*path) return SGImageNull;
    SGImage image;
    std::string error;
    if (loadTexture(path, &image, &error)) return image;
    std::fprintf(stderr, "QzLoadImageFromFile could not create NSImage from file %s (%s); "
                         "the image_missing picture is shown instead\n", path, error.c_str());
    std::string fallbackError;
    if (loadTexture(QzResourcePath("image_missing.png"), &image, &fallbackError)) return image;
    return SGImageNull;
}

void QzSetResourceDirectory(const std::string& directory) { gResourceDirectory = directory; }

std::string QzResourcePath(const std::string& fileName) {
    if (!gResourceDirectory.empty()) return gResourceDirectory + "/" + fileName;
    const char* environment = std::getenv("QZ_RESOURCE_DIR");
    if (environment && *environment) return std::string(environment) + "/" + fileName;
    return programDirectory() + "/" + fileName;
}
