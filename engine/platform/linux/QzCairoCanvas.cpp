// Checked Cairo image surfaces and their conversion to straight RGBA.
#include "QzCairoCanvas.h"

#include <algorithm>

std::unique_ptr<QzCairoCanvas> QzCairoCanvas::create(int64_t width, int64_t height, std::string* error) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width <= 0 || height <= 0) {
        *error = "a " + size + " drawing surface has no pixels";
        return nullptr;
    }
    if (width > kMaxSide || height > kMaxSide) {
        *error = "a " + size + " drawing surface has a side above " + std::to_string(kMaxSide) +
                 " pixels, which Cairo cannot draw";
        return nullptr;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height));
    const cairo_status_t surfaceStatus = cairo_surface_status(surface);
    if (surfaceStatus != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        *error = "Cairo cannot make a " + size + " drawing surface: " + cairo_status_to_string(surfaceStatus);
        return nullptr;
    }
    cairo_t* cairo = cairo_create(surface);
    const cairo_status_t cairoStatus = cairo_status(cairo);
    if (cairoStatus != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cairo);
        cairo_surface_destroy(surface);
        *error = std::string("Cairo cannot draw on its surface: ") + cairo_status_to_string(cairoStatus);
        return nullptr;
    }
    return std::unique_ptr<QzCairoCanvas>(
        new QzCairoCanvas(surface, cairo, static_cast<int32_t>(width), static_cast<int32_t>(height)));
}

QzCairoCanvas::~QzCairoCanvas() {
    cairo_destroy(cairo_);
    cairo_surface_destroy(surface_);
}

std::vector<uint8_t> QzCairoCanvas::straightRGBABottomUp() const {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::vector<uint8_t> rgba(static_cast<size_t>(width_) * height_ * 4);
    for (int32_t y = 0; y < height_; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(height_ - 1 - y) * stride);
        uint8_t* out = rgba.data() + static_cast<size_t>(y) * width_ * 4;
        for (int32_t x = 0; x < width_; ++x, out += 4) {
            const uint32_t argb = row[x];
            const uint32_t alpha = argb >> 24;
            const uint32_t colour[3] = {(argb >> 16) & 0xff, (argb >> 8) & 0xff, argb & 0xff};
            for (int c = 0; c < 3; ++c) {
                out[c] = alpha == 0 ? 0
                                    : static_cast<uint8_t>(std::min<uint32_t>(255, (colour[c] * 255 + alpha / 2) / alpha));
            }
            out[3] = static_cast<uint8_t>(alpha);
        }
    }
    return rgba;
}
