// Drawing of untextured sprites.
#include "nodes/spriteRenderers/SGColoredSpriteRenderer.h"

#include "SGGL.h"

void SGColoredSpriteRenderer::drawSprite(const SGSpriteDrawParams& p) {
    const float hw = p.halfWidth;
    const float hh = p.halfHeight;
    const float vertices[8] = {-hw, hh, hw, hh, -hw, -hh, hw, -hh};
    glDisable(GL_TEXTURE_2D);
    // The texture-coordinate array would still be read from whatever pointer an earlier
    // draw left behind, which may be freed memory by now.
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    SGPushSpriteFrame(p.x, p.y, p.angle);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glPopMatrix();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}
