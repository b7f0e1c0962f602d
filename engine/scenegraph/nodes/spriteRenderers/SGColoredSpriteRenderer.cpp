// Drawing of untextured sprites.
#include "nodes/spriteRenderers/SGColoredSpriteRenderer.h"

void SGColoredSpriteRenderer::drawSprite(const SGSpriteDrawParams& p, const SGSpritePaint& paint) {
    const float hw = p.halfWidth;
    const float hh = p.halfHeight;
    const float corners[16] = {-hw, hh, 0, 0, hw, hh, 0, 0, -hw, -hh, 0, 0, hw, -hh, 0, 0};
    SGSpriteBatcher::shared().addQuad(SGBatchStateFor(nullptr, paint.blend),
                                      SGSpriteFrame(p.x, p.y, p.angle, 0.0f, 0.0f), corners,
                                      paint.colour);
}
