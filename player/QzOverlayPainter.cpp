// Pango text layout and picture files (through the engine's guarded decoder) into RGBA pictures, and their drawing as
// textured quads.
#include "QzOverlayPainter.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <GL/gl.h>
#include <pango/pangocairo.h>

#include "QzCairoCanvas.h"
#include "QzImageLoader.h"

namespace {

using LayoutPtr = std::unique_ptr<PangoLayout, decltype(&g_object_unref)>;

constexpr int kMaxSide = QzCairoCanvas::kMaxSide;
const char kEllipsis[] = "\u2026";

LayoutPtr makeLayout(cairo_t* cairo, const std::string& text, int fontSize, int maxWidth) {
    LayoutPtr layout(pango_cairo_create_layout(cairo), g_object_unref);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, fontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    if (maxWidth > 0) {
        pango_layout_set_width(layout.get(), std::min(maxWidth, kMaxSide) * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    } else {
        // Unwrapped lines longer than a drawing surface can be end in an ellipsis there.
        pango_layout_set_width(layout.get(), kMaxSide * PANGO_SCALE);
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

// The text cut at the first line that would pass the drawing surface's height, with an
// ellipsis where it was cut; the text itself when it fits. A few lines of room are kept for
// the ellipsis to wrap onto.
std::string fittingText(cairo_t* cairo, const std::string& text, int fontSize, int maxWidth) {
    const LayoutPtr layout = makeLayout(cairo, text, fontSize, maxWidth);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);
    if (height <= kMaxSide) return text;
    const int lastY = std::max(0, kMaxSide - 4 * std::max(1, fontSize * 2));
    int index = 0, trailing = 0, line = 0, x = 0;
    pango_layout_xy_to_index(layout.get(), 0, lastY * PANGO_SCALE, &index, &trailing);
    pango_layout_index_to_line_x(layout.get(), index, false, &line, &x);
    const PangoLayoutLine* cut = pango_layout_get_line_readonly(layout.get(), line);
    return text.substr(0, static_cast<size_t>(cut ? cut->start_index : 0)) + kEllipsis;
}

// A one-pixel canvas, enough to lay text out before drawing it.
std::unique_ptr<QzCairoCanvas> measuringCanvas() {
    std::string error;
    return QzCairoCanvas::create(1, 1, &error);
}

}  // namespace

int QzMeasureOverlayText(const std::string& text, int fontSize) {
    const std::unique_ptr<QzCairoCanvas> measuring = measuringCanvas();
    if (!measuring) return 0;
    const LayoutPtr layout = makeLayout(measuring->cairo(), text, fontSize, 0);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout.get(), &width, &height);
    return width;
}

QzOverlayImage QzRenderOverlayText(const std::string& text, int fontSize, int maxWidth) {
    QzOverlayImage image;
    const std::unique_ptr<QzCairoCanvas> measuring = measuringCanvas();
    if (!measuring) return image;
    const std::string shown = fittingText(measuring->cairo(), text, fontSize, maxWidth);
    // Right-to-left lines sit at the right of the layout's width: the picture is cut to the
    // lines' own extent wherever that lies.
    PangoRectangle extent{};
    pango_layout_get_pixel_extents(makeLayout(measuring->cairo(), shown, fontSize, maxWidth).get(), nullptr, &extent);
    std::string error;
    const std::unique_ptr<QzCairoCanvas> canvas = QzCairoCanvas::create(extent.width, extent.height, &error);
    if (!canvas) {
        if (extent.width > 0 && extent.height > 0)
            std::fprintf(stderr, "quillane-player: text not shown: %s\n", error.c_str());
        return image;
    }
    cairo_set_source_rgba(canvas->cairo(), 1, 1, 1, 1);
    cairo_move_to(canvas->cairo(), -extent.x, -extent.y);
    pango_cairo_show_layout(canvas->cairo(), makeLayout(canvas->cairo(), shown, fontSize, maxWidth).get());
    image.width = canvas->width();
    image.height = canvas->height();
    image.pixels = canvas->straightRGBABottomUp();
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

namespace {

// A picture drawn at its own size takes its pixels as they are (GL_NEAREST, also the cheaper
// on a software renderer); a scaled one is filtered (GL_LINEAR).
GLuint uploadTexture(const QzOverlayImage& image, GLint filter) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void drawTexture(GLuint texture, float x, float y, float width, float height, QzOverlayColor tint) {
    const GLfloat corners[] = {x, y, x + width, y, x, y + height, x + width, y + height};
    const GLfloat coordinates[] = {0, 0, 1, 0, 0, 1, 1, 1};
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor4f(tint.r, tint.g, tint.b, tint.a);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glVertexPointer(2, GL_FLOAT, 0, corners);
    glTexCoordPointer(2, GL_FLOAT, 0, coordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

void QzDrawOverlayImage(const QzOverlayImage& image, float x, float y, float width, float height,
                        QzOverlayColor tint) {
    if (image.width == 0) return;
    // Overlay pictures change from frame to frame (typed text, a new error), so each draw
    // uploads its own short-lived texture.
    GLuint texture = uploadTexture(image, GL_LINEAR);
    drawTexture(texture, x, y, width, height, tint);
    glDeleteTextures(1, &texture);
}

void QzOverlayTexture::upload(const QzOverlayImage& image) {
    release();
    if (image.width == 0) return;
    texture_ = uploadTexture(image, GL_NEAREST);
    width_ = image.width;
    height_ = image.height;
}

void QzOverlayTexture::draw(float x, float y, QzOverlayColor tint) const {
    if (texture_) drawTexture(texture_, x, y, width_, height_, tint);
}

void QzOverlayTexture::release() {
    if (texture_) glDeleteTextures(1, &texture_);
    texture_ = 0;
    width_ = height_ = 0;
}
