// Blend modes and the batch state shared by every renderer and the particle system.
#include "nodes/spriteRenderers/SGSpriteRenderer.h"

SGBlendFactors SGBlendFactorsForMode(int32_t mode, int32_t premultiplied) {
    const GLenum source = premultiplied ? GL_ONE : GL_SRC_ALPHA;
    switch (mode) {
    case SGBlendReplace: return {GL_ONE, GL_ZERO};
    case SGBlendAdditive: return {source, GL_ONE};
    case SGBlendScreen: return {source, GL_ONE_MINUS_SRC_COLOR};
    case SGBlendMultiply: return {GL_ZERO, GL_SRC_COLOR};
    default: return {source, GL_ONE_MINUS_SRC_ALPHA};
    }
}

SGBatchState SGBatchStateFor(const SGImage* texture, const SGBlendFactors& blend) {
    return {texture != nullptr, texture ? texture->textureName : 0u, blend.source,
            blend.destination};
}
