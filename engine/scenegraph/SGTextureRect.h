// SGTextureRect: the part of a texture an image occupies, and its flip and crop arithmetic.
#ifndef SG_TEXTURE_RECT_H
#define SG_TEXTURE_RECT_H

#include <cstdint>

// Which edge a crop keeps: the first coordinate, the centre, or the second coordinate.
enum SGAnchorMode : int32_t {
    SGAnchorFirst = 0,
    SGAnchorCentre = 1,
    SGAnchorSecond = 2,
};

// Texture coordinates of two opposite corners: (s0, t0) is drawn at a quad's lower-left.
// A flipped rectangle has s0 > s1 (or t0 > t1); every operation keeps the direction.
struct SGTextureRect {
    float s0;
    float t0;
    float s1;
    float t1;

    float getWidth() const;
    float getHeight() const;
    void flipHorizontally();
    void flipVertically();
    // Keeps the fraction of the width (height) selected by the anchor; an unknown anchor
    // leaves the rectangle unchanged.
    void cropHorizontally(float fraction, int32_t anchor);
    void cropVertically(float fraction, int32_t anchor);
};

#endif
