// Size queries and texture release of image records.
#include "SGImage.h"

#include <cmath>
#include <limits>

#include "SGGL.h"

int32_t SGTruncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t SGImage::getWidth() const {
    return SGTruncateToInt(textureRect.getWidth() * static_cast<float>(textureWidth));
}

int32_t SGImage::getHeight() const {
    return SGTruncateToInt(textureRect.getHeight() * static_cast<float>(textureHeight));
}

void SGImage::freeImage() const {
    const GLuint name = textureName;
    glDeleteTextures(1, &name);
}
