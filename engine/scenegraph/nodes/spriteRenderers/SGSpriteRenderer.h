// SGSpriteRenderer: the drawing record of a sprite, the renderer interface and the blend
// modes shared by sprites and particles.
#ifndef SG_SPRITE_RENDERER_H
#define SG_SPRITE_RENDERER_H

#include <cstdint>

#include "SGColor.h"
#include "SGImage.h"
#include "nodes/spriteRenderers/SGSpriteBatcher.h"

enum SGBlendMode : int32_t {
    SGBlendNormal = 0,
    SGBlendReplace = 1,
    SGBlendAdditive = 2,
    SGBlendScreen = 3,
    SGBlendMultiply = 4,
};

enum SGWrappingMode : int32_t {
    SGWrapStretch = 0,
    SGWrapFixed = 1,
    SGWrapTile = 2,
};

// What a renderer draws: the image (its width and height carry the tile width and height),
// the centre, the half size, the angle in degrees and the wrapping modes and anchors.
struct SGSpriteDrawParams {
    SGImage image;
    float x;
    float y;
    float halfWidth;
    float halfHeight;
    float angle;
    int32_t horizontalWrapping;
    int32_t verticalWrapping;
    int32_t horizontalAnchor;
    int32_t verticalAnchor;
};

// The blend function's source and destination factors.
struct SGBlendFactors {
    GLenum source;
    GLenum destination;
};

// The factors of the blend mode; the source factor of the blending modes is GL_ONE for a
// premultiplied texture and GL_SRC_ALPHA otherwise.
SGBlendFactors SGBlendFactorsForMode(int32_t mode, int32_t premultiplied);

// How a sprite is painted: its colour, final as drawn, and its blend function.
struct SGSpritePaint {
    SGColor colour;
    SGBlendFactors blend;
};

// Hands one sprite's quads to the sprite batcher.
class SGSpriteRenderer {
public:
    virtual void drawSprite(const SGSpriteDrawParams& params, const SGSpritePaint& paint) = 0;
    virtual ~SGSpriteRenderer() = default;
};

// The batch state of a textured sprite or particle (texture set) or a plain one.
SGBatchState SGBatchStateFor(const SGImage* texture, const SGBlendFactors& blend);

#endif
