// A Cairo image surface that is checked when it is made, and its pixels as straight RGBA.
#ifndef QZ_CAIRO_CANVAS_H
#define QZ_CAIRO_CANVAS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <cairo.h>

// Text textures and the player's overlay text both draw here. Cairo refuses image surfaces
// with a side above 32767 pixels (its rasteriser keeps coordinates in 16 bits) and, like a
// failed allocation, then hands back an error surface without pixels; reading such a surface
// is a crash, so every surface is made through this check.
class QzCairoCanvas {
public:
    static constexpr int32_t kMaxSide = 32767;

    // A transparent ARGB canvas of width × height, or null with *error set when a side is not
    // positive, passes kMaxSide, or Cairo cannot make the surface (its status says why).
    static std::unique_ptr<QzCairoCanvas> create(int64_t width, int64_t height, std::string* error);

    ~QzCairoCanvas();
    QzCairoCanvas(const QzCairoCanvas&) = delete;
    QzCairoCanvas& operator=(const QzCairoCanvas&) = delete;

    cairo_t* cairo() const { return cairo_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // The drawn pixels, converted from Cairo's premultiplied native-endian ARGB with the top
    // row first into straight 8-bit RGBA with the bottom row first.
    std::vector<uint8_t> straightRGBABottomUp() const;

private:
    QzCairoCanvas(cairo_surface_t* surface, cairo_t* cairo, int32_t width, int32_t height)
        : surface_(surface), cairo_(cairo), width_(width), height_(height) {}

    cairo_surface_t* surface_;  // owned
    cairo_t* cairo_;            // owned
    int32_t width_;
    int32_t height_;
};

#endif
