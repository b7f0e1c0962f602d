// SGImage: the value record of one OpenGL texture that image ports carry.
#ifndef SG_IMAGE_H
#define SG_IMAGE_H

#include <cstdint>

#include "SGTextureRect.h"

// One image inside one texture. A plain value copied freely: copies never own the texture
// (the image asset or the text node that made it does).
struct SGImage {
    uint32_t width;          // pixel width of the shown part
    uint32_t height;         // pixel height of the shown part
    uint32_t textureName;    // OpenGL texture name, 0 when none
    int32_t textureWidth;    // greater than 0 exactly when the image has a texture
    int32_t textureHeight;
    SGTextureRect textureRect;
    uint32_t premultiplied;  // non-zero when the colours are premultiplied by alpha

    bool hasTexture() const { return textureWidth > 0; }
    // The shown part's size in pixels, from the texture rectangle and the texture size,
    // cut toward zero.
    int32_t getWidth() const;
    int32_t getHeight() const;
    // Deletes the texture; changes no field.
    void freeImage() const;
};

inline constexpr SGImage SGImageNull = {0, 0, 0, 0, 0, {0, 0, 0, 0}, 0};

// Converts a float to a 32-bit integer by cutting toward zero; NaN gives 0 and values
// outside the range saturate, so no conversion is ever undefined.
int32_t SGTruncateToInt(float value);

#endif
