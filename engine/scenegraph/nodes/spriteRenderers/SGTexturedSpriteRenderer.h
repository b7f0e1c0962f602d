// SGTexturedSpriteRenderer and SGFixedTexturedSpriteRenderer: a texture stretched over the
// quad, or shown at its natural size and cropped when the quad is smaller.
#ifndef SG_TEXTURED_SPRITE_RENDERER_H
#define SG_TEXTURED_SPRITE_RENDERER_H

#include "nodes/spriteRenderers/SGSpriteRenderer.h"

class SGTexturedSpriteRenderer : public SGSpriteRenderer {
public:
    void drawSprite(const SGSpriteDrawParams& params, const SGSpritePaint& paint) override;

protected:
    // Hands over the quad of half size hw × hh about the sprite's rounded position, showing r.
    static void drawQuad(const SGSpriteDrawParams& params, const SGSpritePaint& paint, float hw,
                         float hh, const SGTextureRect& r);
};

// A fixed axis never stretches the picture: a larger sprite shrinks to the picture's size,
// a smaller one shows the part the anchor selects. A stretched axis stays stretched.
class SGFixedTexturedSpriteRenderer : public SGTexturedSpriteRenderer {
public:
    void drawSprite(const SGSpriteDrawParams& params, const SGSpritePaint& paint) override;
};

// Fits the natural extent (in pixels) into the half extent of a fixed axis: a larger
// picture is cropped around the anchor, a smaller one shrinks the half extent to its own.
// `crop` is SGTextureRect::cropHorizontally or cropVertically.
void SGFitFixedAxis(double naturalExtent, float& halfExtent, SGTextureRect& r, int32_t anchor,
                    void (SGTextureRect::*crop)(float, int32_t));

#endif
