// Pango text layout and picture files (through the engine's guarded decoder) into RGBA pictures, and their drawing as
// textured quads.
#include "QzOverlayPainter.h"

#include <algorithm>
#include <memory>

#include <GL/gl.h>
#include <pango/pangocairo.h>

#include "QzImageLoader.h"

namespace {

PangoLayout* makeLayout(cairo_t* cairo, const std::string& text, int fontSize, int maxWidth) {
    PangoLayout* layout = pango_cairo_create_layout(cairo);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, fontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    if (maxWidth > 0) {
        pango_layout_set_width(layout, maxWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    return layout;
}

// A one-pixel surface, enough to measure a layout before drawing it.
struct MeasuringContext {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cairo = cairo_create(surface);
    ~MeasuringContext() {
        cairo_destroy(cairo);
        cairo_surface_destroy(surface);
    }
};

}  // namespace

int QzMeasureOverlayText(const std::string& text, int fontSize) {
    MeasuringContext measuring;
    PangoLayout* layout = makeLayout(measuring.cairo, text, fontSize, 0);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    return width;
}

QzOverlayImage QzRenderOverlayText(const std::string& text, int fontSize, int maxWidth) {
    QzOverlayImage image;
    int width = 0, height = 0;
    {
        MeasuringContext measuring;
        PangoLayout* layout = makeLayout(measuring.cairo, text, fontSize, maxWidth);
        pango_layout_get_pixel_size(layout, &width, &height);
        g_object_unref(layout);
    }
    if (width <= 0 || height <= 0) return image;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cairo = cairo_create(surface);
    cairo_set_source_rgba(cairo, 1, 1, 1, 1);
    PangoLayout* layout = makeLayout(cairo, text, fontSize, maxWidth);
    pango_cairo_show_layout(cairo, layout);
    g_object_unref(layout);
    cairo_surface_flush(surface);
    // Cairo's pixels are premultiplied BGRA words, top row first; the picture is straight
    // RGBA, bottom row first.
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        const auto* source = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(row) * stride);
        uint8_t* target = &image.pixels[static_cast<size_t>(height - 1 - row) * width * 4];
        for (int column = 0; column < width; ++column) {
            const uint32_t pixel = source[column];
            const uint32_t alpha = pixel >> 24;
            const auto unpremultiply = [alpha](uint32_t channel) {
                return static_cast<uint8_t>(alpha ? (channel * 255 + alpha / 2) / alpha : 0);
            };
            target[column * 4 + 0] = unpremultiply((pixel >> 16) & 0xFF);
            target[column * 4 + 1] = unpremultiply((pixel >> 8) & 0xFF);
            target[column * 4 + 2] = unpremultiply(pixel & 0xFF);
            target[column * 4 + 3] = static_cast<uint8_t>(alpha);
        }
    }
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    return image;
}

QzOverlayImage QzLoadOverlayImage(const std::string& path, int maxWidth, int maxHeight, std::string* error) {
    QzOverlayImage image;
    int64_t width = 0, height = 0;
    if (!QzReadImageSize(path, &width, &height, error)) return image;
    if (width * height > kQzMaxOverlayPicturePixels) {
        *error = "its declared size " + std::to_string(width) + "x" + std::to_string(height) + " is more than the " +
                 std::to_string(kQzMaxOverlayPicturePixels) + " pixels a picture the player shows may have";
        return image;
    }
    QzBitmap bitmap;
    if (!QzDecodeImageFile(path, &bitmap, error)) return image;
    // Shrunk to fit, keeping its shape: every picture pixel goes into the average of the one
    // shown pixel it falls on.
    const double scale = std::min({1.0, static_cast<double>(maxWidth) / bitmap.width,
                                   static_cast<double>(maxHeight) / bitmap.height});
    image.width = std::max(1, static_cast<int>(bitmap.width * scale));
    image.height = std::max(1, static_cast<int>(bitmap.height * scale));
    std::vector<uint32_t> sums(static_cast<size_t>(image.width) * image.height * 5);
    for (int y = 0; y < bitmap.height; ++y) {
        const int row = std::min(image.height - 1, static_cast<int>(y * scale));
        for (int x = 0; x < bitmap.width; ++x) {
            uint32_t* sum = &sums[(static_cast<size_t>(row) * image.width +
                                   std::min(image.width - 1, static_cast<int>(x * scale))) * 5];
            const uint8_t* pixel = &bitmap.rgba[(static_cast<size_t>(y) * bitmap.width + x) * 4];
            for (int c = 0; c < 4; ++c) sum[c] += pixel[c];
            ++sum[4];
        }
    }
    // The decoder premultiplies by alpha; overlay pictures keep straight alpha.
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * 4);
    for (size_t i = 0; i < image.pixels.size() / 4; ++i) {
        const uint32_t* sum = &sums[i * 5];
        const uint32_t count = std::max<uint32_t>(1, sum[4]);
        const uint32_t alpha = sum[3] / count;
        image.pixels[i * 4 + 3] = static_cast<uint8_t>(alpha);
        for (int c = 0; c < 3; ++c)
            image.pixels[i * 4 + c] = alpha ? static_cast<uint8_t>(std::min<uint32_t>(255, sum[c] / count * 255 / alpha)) : 0;
    }
    return image;
}

void QzFillOverlayRect(float x, float y, float width, float height, QzOverlayColor color) {
    const GLfloat corners[] = {x, y, x + width, y, x, y + height, x + width, y + height};
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(color.r, color.g, color.b, color.a);
    glVertexPointer(2, GL_FLOAT, 0, corners);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColor4f(1, 1, 1, 1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}

void QzDrawOverlayImage(const QzOverlayImage& image, float x, float y, float width, float height,
                        QzOverlayColor tint) {
    if (image.width == 0) return;
    // Overlay pictures change from frame to frame (typed text, a new error), so each draw
    // uploads its own short-lived texture.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    const GLfloat corners[] = {x, y, x + width, y, x, y + height, x + width, y + height};
    const GLfloat coordinates[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glColor4f(tint.r, tint.g, tint.b, tint.a);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glVertexPointer(2, GL_FLOAT, 0, corners);
    glTexCoordPointer(2, GL_FLOAT, 0, coordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
}
