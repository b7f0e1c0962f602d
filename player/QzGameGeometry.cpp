// Letterbox and crop arithmetic of the game view, and the mouse mapping through it.
#include "QzGameGeometry.h"

#include <algorithm>

namespace {

// Cut toward zero to whole pixels, within a range no view reaches (an absurd aspect ratio
// would otherwise overflow the conversion).
int toPixels(double value) {
    constexpr double kLimit = 1 << 30;
    return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

}  // namespace

QzViewGeometry QzComputeViewGeometry(int width, int height, bool fullScreen, bool cropToFit,
                                     float originalAspectRatio) {
    QzViewGeometry geometry;
    geometry.clip = fullScreen;
    if (!fullScreen || width <= 0 || height <= 0 || !(originalAspectRatio > 0)) {
        geometry.viewportWidth = width;
        geometry.viewportHeight = height;
        return geometry;
    }
    const double W = width, H = height;
    const float A = originalAspectRatio;
    const float R = static_cast<float>(W / H);
    geometry.currentAspectRatio = R;
    double x = 0, y = 0, w = W, h = H;
    if (cropToFit == (A > R)) {
        w = static_cast<float>(H * A);  // fit the height
        x = (W - w) * 0.5;
    } else {
        h = static_cast<float>(W / A);  // fit the width
        y = (H - h) * 0.5;
    }
    geometry.invertedCropScaleFactorX = W / w;
    geometry.invertedCropScaleFactorY = H / h;
    geometry.gameViewOffsetX = x;
    geometry.gameViewOffsetY = y;
    geometry.viewportX = toPixels(x);
    geometry.viewportY = toPixels(y);
    geometry.viewportWidth = toPixels(w);
    geometry.viewportHeight = toPixels(h);
    return geometry;
}

void QzMapViewPoint(const QzViewGeometry& geometry, double x, double y, float* gameX, float* gameY) {
    *gameX = static_cast<float>(static_cast<float>(x - geometry.gameViewOffsetX) * geometry.invertedCropScaleFactorX);
    *gameY = static_cast<float>(static_cast<float>(y - geometry.gameViewOffsetY) * geometry.invertedCropScaleFactorY);
}
