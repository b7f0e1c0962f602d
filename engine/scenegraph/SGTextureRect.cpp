// Flip and crop arithmetic of texture rectangles.
#include "SGTextureRect.h"

#include <cmath>
#include <utility>

namespace {

// Crops the interval [first, second] (in either direction) to the fraction of its length
// that the anchor selects.
void cropInterval(float& first, float& second, float fraction, int32_t anchor) {
    const float extent = second - first;
    const float kept = fraction * extent;
    switch (anchor) {
    case SGAnchorFirst:
        second = first + kept;
        break;
    case SGAnchorCentre:
        first = first + (extent - kept) * 0.5f;
        second = first + kept;
        break;
    case SGAnchorSecond:
        first = second - kept;
        break;
    default:
        break;
    }
}

}  // namespace

float SGTextureRect::getWidth() const { return std::fabs(s1 - s0); }

float SGTextureRect::getHeight() const { return std::fabs(t1 - t0); }

void SGTextureRect::flipHorizontally() { std::swap(s0, s1); }

void SGTextureRect::flipVertically() { std::swap(t0, t1); }

void SGTextureRect::cropHorizontally(float fraction, int32_t anchor) {
    cropInterval(s0, s1, fraction, anchor);
}

void SGTextureRect::cropVertically(float fraction, int32_t anchor) {
    cropInterval(t0, t1, fraction, anchor);
}
