// Painting of the costs overlay (a dark box, the text of the figures and the frame-time graph)
// into one picture, and its drawing.
#include "QzCostsOverlay.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kFontSize = 11;
constexpr int kPadding = 4;
constexpr int kGraphHeight = 32;
// The graph's top stands for two 60 Hz frames, so the 16.7 ms line runs through its middle.
constexpr double kGraphTopSeconds = 2.0 / 60;
constexpr uint8_t kGroundAlpha = 166;  // 0.65

void setPixel(QzOverlayImage* image, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* pixel = &image->pixels[(static_cast<size_t>(y) * image->width + x) * 4];
    pixel[0] = r;
    pixel[1] = g;
    pixel[2] = b;
    pixel[3] = a;
}

}  // namespace

void QzCostsOverlay::addFrame(const QzFrameCost& cost) {
    ring_.push(cost.intervalSeconds);
    period_.add(cost);
}

void QzCostsOverlay::refreshText(const std::function<QzEngineGauges()>& gauges) {
    const std::string text = QzFormatFrameCosts(period_, gauges(), "\n");
    period_ = {};
    if (text == text_) return;
    text_ = text;
    textImage_ = QzRenderOverlayText(text_, kFontSize, 0);
}

// The box on its dark ground, white text near its top (straight alpha: the text's coverage
// becomes both the colour and part of the alpha), and below it one column a frame, green within
// a 60 Hz frame and red beyond, crossed by the 16.7 ms line. Rows run bottom-up.
QzOverlayImage QzCostsOverlay::paintBox() const {
    QzOverlayImage box;
    box.width = std::max(textImage_.width, QzFrameTimeRing::kFrames) + 2 * kPadding;
    box.height = textImage_.height + kGraphHeight + 3 * kPadding;
    box.pixels.assign(static_cast<size_t>(box.width) * box.height * 4, 0);
    for (size_t i = 3; i < box.pixels.size(); i += 4) box.pixels[i] = kGroundAlpha;
    const int top = box.height - kPadding - textImage_.height;
    for (int y = 0; y < textImage_.height; ++y) {
        for (int x = 0; x < textImage_.width; ++x) {
            const unsigned coverage = textImage_.pixels[(static_cast<size_t>(y) * textImage_.width + x) * 4 + 3];
            const unsigned alpha = coverage + kGroundAlpha * (255 - coverage) / 255;
            const auto shade = static_cast<uint8_t>(alpha ? coverage * 255 / alpha : 0);
            setPixel(&box, kPadding + x, top + y, shade, shade, shade, static_cast<uint8_t>(alpha));
        }
    }
    for (int i = 0; i < ring_.size(); ++i) {
        const double seconds = ring_.at(i);
        const int height = static_cast<int>(std::min(1.0, seconds / kGraphTopSeconds) * kGraphHeight + 0.5);
        const bool late = seconds > 1.0 / 60 + 0.0005;
        for (int y = 0; y < height; ++y)
            setPixel(&box, kPadding + i, kPadding + y, late ? 242 : 77, late ? 64 : 217, 77, 255);
    }
    for (int x = 0; x < QzFrameTimeRing::kFrames; ++x) setPixel(&box, kPadding + x, kPadding + kGraphHeight / 2, 200, 200, 200, 255);
    return box;
}

void QzCostsOverlay::draw(int viewHeight, double now, const std::function<QzEngineGauges()>& gauges) {
    const bool refresh = !painted_ || now - lastRefresh_ >= kRefreshSeconds;
    if (refresh) {
        refreshText(gauges);
        lastRefresh_ = now;
    }
    if (refresh || now - lastPaint_ >= kGraphSeconds) {
        texture_.upload(paintBox());
        painted_ = true;
        lastPaint_ = now;
    }
    texture_.draw(kMargin, static_cast<float>(viewHeight - kMargin - texture_.height()), {1, 1, 1, 1});
}

void QzCostsOverlay::release() {
    texture_.release();
    text_.clear();
    textImage_ = {};
    painted_ = false;
}
