// Drawing of stretched and fixed-size textured sprites.
#include "nodes/spriteRenderers/SGTexturedSpriteRenderer.h"

#include <algorithm>
#include <cmath>

#include "SGGL.h"

void SGFitFixedAxis(double naturalExtent, float& halfExtent, SGTextureRect& r, int32_t anchor,
                    void (SGTextureRect::*crop)(float, int32_t)) {
    const double half = naturalExtent * 0.5;
    if (half > halfExtent) {
        (r.*crop)(static_cast<float>(halfExtent / half), anchor);
    } else {
        halfExtent = static_cast<float>(half);
    }
}

void SGTexturedSpriteRenderer::drawQuad(float w, float h, const SGTextureRect& r) {
    const float quad[16] = {0, h, r.s0, r.t1, w, h, r.s1, r.t1,
                            0, 0, r.s0, r.t0, w, 0, r.s1, r.t0};
    std::copy(quad, quad + 16, vertices);
    glVertexPointer(2, GL_FLOAT, 16, vertices);
    glTexCoordPointer(2, GL_FLOAT, 16, vertices + 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void SGTexturedSpriteRenderer::drawSprite(const SGSpriteDrawParams& p) {
    glBindTexture(GL_TEXTURE_2D, p.image.textureName);
    SGPushSpriteFrame(std::floor(p.x), std::floor(p.y), p.angle);
    glTranslatef(-p.halfWidth, -p.halfHeight, 0.0f);
    drawQuad(2.0f * p.halfWidth, 2.0f * p.halfHeight, p.image.textureRect);
    glPopMatrix();
}

void SGFixedTexturedSpriteRenderer::drawSprite(const SGSpriteDrawParams& p) {
    glBindTexture(GL_TEXTURE_2D, p.image.textureName);
    SGPushSpriteFrame(std::floor(p.x), std::floor(p.y), p.angle);
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
    glTranslatef(-hw, -hh, 0.0f);
    drawQuad(2.0f * hw, 2.0f * hh, r);
    glPopMatrix();
}
