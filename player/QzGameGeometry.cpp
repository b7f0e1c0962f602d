// Letterbox and crop arithmetic of the game view, and the mouse mapping through it.
#include "QzGameGeometry.h"

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
    geometry.viewportX = static_cast<int>(x);
    geometry.viewportY = static_cast<int>(y);
    geometry.viewportWidth = static_cast<int>(w);
    geometry.viewportHeight = static_cast<int>(h);
    return geometry;
}

void QzMapViewPoint(const QzViewGeometry& geometry, double x, double y, float* gameX, float* gameY) {
    *gameX = static_cast<float>(static_cast<float>(x - geometry.gameViewOffsetX) * geometry.invertedCropScaleFactorX);
    *gameY = static_cast<float>(static_cast<float>(y - geometry.gameViewOffsetY) * geometry.invertedCropScaleFactorY);
}
