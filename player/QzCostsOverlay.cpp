// Drawing of the costs overlay: a dark box with the text of the figures, and the frame-time
// graph.
#include "QzCostsOverlay.h"

#include <algorithm>
#include <cstdint>

#include <GL/gl.h>

namespace {

constexpr int kFontSize = 11;
constexpr int kPadding = 4;
constexpr int kGraphHeight = 32;
// The graph's top stands for two 60 Hz frames, so the 16.7 ms line runs through its middle.
constexpr double kGraphTopSeconds = 2.0 / 60;

// The overlay's box as one picture: the text near its top over the box's dark ground, with
// room for the graph below, so that a frame draws the box and the text with one textured quad.
QzOverlayImage boxWithText(const QzOverlayImage& text) {
    QzOverlayImage box;
    box.width = std::max(text.width, QzFrameTimeRing::kFrames) + 2 * kPadding;
    box.height = text.height + kGraphHeight + 3 * kPadding;
    constexpr uint8_t kGroundAlpha = 166;  // 0.65
    box.pixels.assign(static_cast<size_t>(box.width) * box.height * 4, 0);
    for (size_t i = 3; i < box.pixels.size(); i += 4) box.pixels[i] = kGroundAlpha;
    // White text over the ground, straight alpha: the text's coverage becomes both the colour
    // and part of the alpha. Rows run bottom-up in both pictures.
    const int top = box.height - kPadding - text.height;
    for (int y = 0; y < text.height; ++y) {
        for (int x = 0; x < text.width; ++x) {
            const unsigned coverage = text.pixels[(static_cast<size_t>(y) * text.width + x) * 4 + 3];
            uint8_t* pixel = &box.pixels[(static_cast<size_t>(top + y) * box.width + kPadding + x) * 4];
            const unsigned alpha = coverage + kGroundAlpha * (255 - coverage) / 255;
            const auto shade = static_cast<uint8_t>(alpha ? coverage * 255 / alpha : 0);
            pixel[0] = pixel[1] = pixel[2] = shade;
            pixel[3] = static_cast<uint8_t>(alpha);
        }
    }
    return box;
}

}  // namespace

void QzCostsOverlay::addFrame(const QzFrameCost& cost) {
    ring_.push(cost.intervalSeconds);
    period_.add(cost);
}

void QzCostsOverlay::refresh(double now, const std::function<QzEngineGauges()>& gauges) {
    refreshed_ = true;
    lastRefresh_ = now;
    const std::string text = QzFormatFrameCosts(period_, gauges(), "\n");
    period_ = {};
    if (text == text_) return;
    text_ = text;
    texture_.upload(boxWithText(QzRenderOverlayText(text_, kFontSize, 0)));
}

void QzCostsOverlay::draw(int viewHeight, double now, const std::function<QzEngineGauges()>& gauges) {
    if (!refreshed_ || now - lastRefresh_ >= kRefreshSeconds) refresh(now, gauges);
    const float left = kMargin, bottom = static_cast<float>(viewHeight - kMargin - texture_.height());
    texture_.draw(left, bottom, {1, 1, 1, 1});
    drawGraph(left + kPadding, bottom + kPadding);
}

// One line a frame, green within a 60 Hz frame and red beyond, and the 16.7 ms line across, all
// in one draw from a colour array; the host's state (texturing, the texture-coordinate array,
// no colour array, white) is put back afterwards.
void QzCostsOverlay::drawGraph(float x, float y) const {
    struct Vertex {
        GLfloat x, y, r, g, b, a;
    };
    Vertex vertices[2 * QzFrameTimeRing::kFrames + 2];
    int count = 0;
    for (int i = 0; i < ring_.size(); ++i) {
        const double seconds = ring_.at(i);
        const float top = y + static_cast<float>(std::min(1.0, seconds / kGraphTopSeconds)) * kGraphHeight;
        const bool late = seconds > 1.0 / 60 + 0.0005;
        const Vertex foot{x + i + 0.5f, y, late ? 0.95f : 0.3f, late ? 0.25f : 0.85f, 0.3f, 1};
        vertices[count++] = foot;
        vertices[count++] = {foot.x, top, foot.r, foot.g, foot.b, foot.a};
    }
    const float line = y + kGraphHeight / 2.0f;
    vertices[count++] = {x, line, 1, 1, 1, 0.6f};
    vertices[count++] = {x + QzFrameTimeRing::kFrames, line, 1, 1, 1, 0.6f};
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), &vertices[0].x);
    glColorPointer(4, GL_FLOAT, sizeof(Vertex), &vertices[0].r);
    glDrawArrays(GL_LINES, 0, count);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
}

void QzCostsOverlay::release() {
    texture_.release();
    text_.clear();
    refreshed_ = false;
}
