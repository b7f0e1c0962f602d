// Placing sprite vertices on the CPU and drawing runs of them with one call each.
#include "nodes/spriteRenderers/SGSpriteBatcher.h"

#include <cmath>

SGSpriteFrame::SGSpriteFrame(float x, float y, float angle, float originX, float originY) {
    // Radians in double, rounded to float for the float sine and cosine, as the matrix
    // rotation computes them; an angle of 0 gives exactly 0 and 1 either way.
    float s = 0.0f;
    float c = 1.0f;
    if (angle != 0.0f) {
        const auto radians = static_cast<float>(static_cast<double>(angle) * M_PI / 180.0);
        s = std::sin(radians);
        c = std::cos(radians);
    }
    m0 = c;
    m1 = s;
    m4 = -s;
    m5 = c;
    m12 = c * originX + m4 * originY + x;
    m13 = s * originX + c * originY + y;
}

SGSpriteBatcher& SGSpriteBatcher::shared() {
    static SGSpriteBatcher batcher;
    return batcher;
}

SGSpriteBatcher::Scope::Scope() {
    SGSpriteBatcher& batcher = shared();
    if (batcher.scopes++ == 0) batcher.outermostScopeStart = std::chrono::steady_clock::now();
}

SGSpriteBatcher::Scope::~Scope() {
    SGSpriteBatcher& batcher = shared();
    --batcher.scopes;
    batcher.flush();
    if (batcher.scopes == 0) {
        batcher.counters_.renderSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - batcher.outermostScopeStart).count();
    }
}

GLuint SGSpriteBatcher::prepare(const SGBatchState& state) {
    if (!(state == current)) {
        flush();
        current = state;
    }
    return static_cast<GLuint>(vertices.size() / 8);
}

void SGSpriteBatcher::addVertices(const SGSpriteFrame& f, const float* xyst, int32_t count,
                                  const SGColor& colour) {
    for (int32_t i = 0; i < count; ++i, xyst += 4) {
        const float x = xyst[0];
        const float y = xyst[1];
        const float vertex[8] = {f.m0 * x + f.m4 * y + f.m12, f.m1 * x + f.m5 * y + f.m13,
                                 xyst[2], xyst[3], colour.r, colour.g, colour.b, colour.a};
        vertices.insert(vertices.end(), vertex, vertex + 8);
    }
    lastColour = colour;
}

void SGSpriteBatcher::addQuad(const SGBatchState& state, const SGSpriteFrame& frame,
                              const float* corners, const SGColor& colour) {
    const GLuint first = prepare(state);
    addVertices(frame, corners, 4, colour);
    // The two triangles of the strip, with the vertex order a strip gives them.
    const GLuint quad[6] = {first, first + 1, first + 2, first + 2, first + 1, first + 3};
    indices.insert(indices.end(), quad, quad + 6);
    if (scopes == 0) flush();
}

void SGSpriteBatcher::addTriangles(const SGBatchState& state, const SGSpriteFrame& frame,
                                   const float* xyst, int32_t count, const SGColor& colour) {
    const GLuint first = prepare(state);
    addVertices(frame, xyst, count, colour);
    for (int32_t i = 0; i < count; ++i) indices.push_back(first + static_cast<GLuint>(i));
    if (scopes == 0) flush();
}

void SGSpriteBatcher::flush() {
    if (indices.empty()) {
        vertices.clear();
        return;
    }
    const bool hostBlend = current.source == GL_SRC_ALPHA &&
                           current.destination == GL_ONE_MINUS_SRC_ALPHA;
    if (!hostBlend) glBlendFunc(current.source, current.destination);
    if (current.textured) {
        glBindTexture(GL_TEXTURE_2D, current.texture);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    // Every vertex of a quad has its sprite's colour: flat shading takes it as it is, where
    // interpolating it could round a shade differently from a colour set once.
    glShadeModel(GL_FLAT);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 32, vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 32, vertices.data() + 2);
    glColorPointer(4, GL_FLOAT, 32, vertices.data() + 4);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT,
                   indices.data());
    ++counters_.drawCalls;
    glDisableClientState(GL_COLOR_ARRAY);
    glShadeModel(GL_SMOOTH);
    // The current colour is undefined after a draw from a colour array; it is left as the
    // last sprite's, as when each sprite set its own.
    glColor4f(lastColour.r, lastColour.g, lastColour.b, lastColour.a);
    if (!current.textured) glEnable(GL_TEXTURE_2D);
    if (!hostBlend) glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    vertices.clear();
    indices.clear();
}
