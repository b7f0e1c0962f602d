// Choosing, decoding and setting the window's icon.
#include "QzWindowIcon.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "QzImageLoader.h"
#include "QzShippedFiles.h"

namespace {

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// The surface of a picture file, rows top-down, colours not premultiplied (as window icons
// are); null with *error set when the file cannot be used.
SurfacePtr iconSurface(const std::string& path, std::string* error) {
    int64_t width = 0, height = 0;
    if (!QzReadImageSize(path, &width, &height, error)) return nullptr;
    if (width > kQzMaxIconSide || height > kQzMaxIconSide) {
        *error = "its size " + std::to_string(width) + "x" + std::to_string(height) + " is more than the " +
                 std::to_string(kQzMaxIconSide) + " pixels a side an icon may have";
        return nullptr;
    }
    QzBitmap bitmap;
    if (!QzDecodeImageFile(path, &bitmap, error)) return nullptr;
    SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, bitmap.width, bitmap.height, 32, SDL_PIXELFORMAT_RGBA32));
    if (!surface) {
        *error = std::string("no surface for it: ") + SDL_GetError();
        return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(bitmap.width) * 4;
    for (int32_t y = 0; y < bitmap.height; ++y) {
        const uint8_t* source = bitmap.rgba.get() + static_cast<size_t>(bitmap.height - 1 - y) * rowBytes;
        uint8_t* target = static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
        for (size_t i = 0; i < rowBytes; i += 4) {
            const unsigned alpha = source[i + 3];
            for (size_t c = 0; c < 3; ++c)
                target[i + c] = alpha == 0 ? 0 : static_cast<uint8_t>(std::min(255u, (source[i + c] * 255u + alpha / 2) / alpha));
            target[i + 3] = static_cast<uint8_t>(alpha);
        }
    }
    return surface;
}

}  // namespace

void QzSetWindowIcon(SDL_Window* window, const QzBundle& bundle) {
    SurfacePtr icon;
    if (!bundle.info.iconFile.empty()) {
        std::string error;
        if (bundle.iconPath.empty())
            error = "Contents/Resources holds no picture of that name (a PNG, or for a .icns name a PNG named alike)";
        else
            icon = iconSurface(bundle.iconPath, &error);
        if (!icon)
            std::fprintf(stderr, "quillane-player: the bundle's icon \"%s\" cannot be used: %s; the window shows the "
                                 "player's icon\n", bundle.info.iconFile.c_str(), error.c_str());
    }
    if (!icon) {
        const std::string own = QzFindShippedFile("quillane-player.png");
        std::string error = "it is not beside the program nor in its share/quillane-player folder";
        if (!own.empty()) icon = iconSurface(own, &error);
        if (!icon) std::fprintf(stderr, "quillane-player: the player's icon cannot be used: %s\n", error.c_str());
    }
    if (icon) SDL_SetWindowIcon(window, icon.get());
}
