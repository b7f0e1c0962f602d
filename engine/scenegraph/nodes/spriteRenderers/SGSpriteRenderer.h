// SGSpriteRenderer: the drawing record of a sprite, the renderer interface and the blend
// modes shared by sprites and particles.
#ifndef SG_SPRITE_RENDERER_H
#define SG_SPRITE_RENDERER_H

#include <cstdint>

#include "SGImage.h"

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

// Draws one sprite with the colour and blend function already set.
class SGSpriteRenderer {
public:
    virtual void drawSprite(const SGSpriteDrawParams& params) = 0;
    virtual ~SGSpriteRenderer() = default;
};

// Sets glBlendFunc for the mode; the source factor of the blending modes is GL_ONE for a
// premultiplied texture and GL_SRC_ALPHA otherwise.
void SGSetBlendMode(int32_t mode, int32_t premultiplied);

// Pushes the model-view matrix and moves to the sprite's frame: translated to (x, y) and
// rotated by angle degrees about z. The caller pops.
void SGPushSpriteFrame(float x, float y, float angle);

#endif
