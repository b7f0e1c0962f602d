// Drawing of stretched and fixed-size textured sprites.
#include "nodes/spriteRenderers/SGTexturedSpriteRenderer.h"

#include <cmath>

void SGFitFixedAxis(double naturalExtent, float& halfExtent, SGTextureRect& r, int32_t anchor,
                    void (SGTextureRect::*crop)(float, int32_t)) {
    const double half = naturalExtent * 0.5;
    if (half > halfExtent) {
        (r.*crop)(static_cast<float>(halfExtent / half), anchor);
    } else {
        halfExtent = static_cast<float>(half);
    }
}

void SGTexturedSpriteRenderer::drawQuad(const SGSpriteDrawParams& p, const SGSpritePaint& paint,
                                        float hw, float hh, const SGTextureRect& r) {
    const float w = 2.0f * hw;
    const float h = 2.0f * hh;
    const float corners[16] = {0, h, r.s0, r.t1, w, h, r.s1, r.t1,
                               0, 0, r.s0, r.t0, w, 0, r.s1, r.t0};
    SGSpriteBatcher::shared().addQuad(
        SGBatchStateFor(&p.image, paint.blend),
        SGSpriteFrame(std::floor(p.x), std::floor(p.y), p.angle, -hw, -hh), corners, paint.colour);
}

void SGTexturedSpriteRenderer::drawSprite(const SGSpriteDrawParams& p, const SGSpritePaint& paint) {
    drawQuad(p, paint, p.halfWidth, p.halfHeight, p.image.textureRect);
}

void SGFixedTexturedSpriteRenderer::drawSprite(const SGSpriteDrawParams& p,
                                               const SGSpritePaint& paint) {
    float hw = p.halfWidth;
    float hh = p.halfHeight;
    SGTextureRect r = p.image.textureRect;
    if (p.horizontalWrapping == SGWrapFixed) {
        SGFitFixedAxis(p.image.getWidth(), hw, r, p.horizontalAnchor,
                       &SGTextureRect::cropHorizontally);
    }
    if (p.verticalWrapping == SGWrapFixed) {
        SGFitFixedAxis(p.image.getHeight(), hh, r, p.verticalAnchor,
                       &SGTextureRect::cropVertically);
    }
    drawQuad(p, paint, hw, hh, r);
}
