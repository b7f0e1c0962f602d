// Drawing of the player's own pictures over the game: filled rectangles, text laid out
// with Pango, and images, with fixed-function OpenGL in view pixels (origin lower left).
#ifndef QZ_OVERLAY_PAINTER_H
#define QZ_OVERLAY_PAINTER_H

#include <cstdint>
#include <string>
#include <vector>

struct QzOverlayColor {
    float r, g, b, a;
};

// An RGBA picture with straight alpha, rows bottom-up.
struct QzOverlayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Lays text out in the given font size (points = pixels), wrapped at maxWidth pixels when
// maxWidth > 0, white on transparent.
QzOverlayImage QzRenderOverlayText(const std::string& text, int fontSize, int maxWidth);
// The width in pixels of text laid out as above, on one line.
int QzMeasureOverlayText(const std::string& text, int fontSize);
// The largest picture the player decodes for itself (the loading picture): a picture file
// a few hundred kilobytes long may declare gigabytes of pixels.
constexpr int64_t kQzMaxOverlayPicturePixels = 6000 * 4000;

// Reads a picture file through the engine's guarded image decoder, shrunk to fit within
// maxWidth × maxHeight keeping its shape; empty with error set when it cannot, or when it
// declares more than kQzMaxOverlayPicturePixels.
QzOverlayImage QzLoadOverlayImage(const std::string& path, int maxWidth, int maxHeight, std::string* error);

// Game thread only, with the context current and the overlay projection set.
void QzFillOverlayRect(float x, float y, float width, float height, QzOverlayColor color);
// Draws image with its lower-left corner at (x, y), scaled to width × height, its colours
// multiplied by tint.
void QzDrawOverlayImage(const QzOverlayImage& image, float x, float y, float width, float height,
                        QzOverlayColor tint);

// A picture kept in a texture of its own until it is replaced or released, for what the player
// draws over the game frame after frame unchanged. Game thread, with the context current; the
// texture must be released while the context is still current (the destructor cannot know).
class QzOverlayTexture {
public:
    void upload(const QzOverlayImage& image);
    // Draws the picture at its size with its lower-left corner at (x, y), its colours
    // multiplied by tint; nothing before an upload.
    void draw(float x, float y, QzOverlayColor tint) const;
    void release();
    int width() const { return width_; }
    int height() const { return height_; }

private:
    unsigned texture_ = 0;  // an OpenGL texture name; 0 for none
    int width_ = 0;
    int height_ = 0;
};

#endif
