// Blend modes and the sprite frame shared by every renderer.
#include "nodes/spriteRenderers/SGSpriteRenderer.h"

#include "SGGL.h"

void SGSetBlendMode(int32_t mode, int32_t premultiplied) {
    const GLenum source = premultiplied ? GL_ONE : GL_SRC_ALPHA;
    switch (mode) {
    case SGBlendReplace: glBlendFunc(GL_ONE, GL_ZERO); break;
    case SGBlendAdditive: glBlendFunc(source, GL_ONE); break;
    case SGBlendScreen: glBlendFunc(source, GL_ONE_MINUS_SRC_COLOR); break;
    case SGBlendMultiply: glBlendFunc(GL_ZERO, GL_SRC_COLOR); break;
    default: glBlendFunc(source, GL_ONE_MINUS_SRC_ALPHA); break;
    }
}

void SGPushSpriteFrame(float x, float y, float angle) {
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
}
