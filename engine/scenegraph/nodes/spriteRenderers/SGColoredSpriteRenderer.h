// SGColoredSpriteRenderer: draws a sprite without a texture as a plain coloured quad.
#ifndef SG_COLORED_SPRITE_RENDERER_H
#define SG_COLORED_SPRITE_RENDERER_H

#include "nodes/spriteRenderers/SGSpriteRenderer.h"

class SGColoredSpriteRenderer : public SGSpriteRenderer {
public:
    // Texturing is off while its run draws and on again after it.
    void drawSprite(const SGSpriteDrawParams& params, const SGSpritePaint& paint) override;
};

#endif
