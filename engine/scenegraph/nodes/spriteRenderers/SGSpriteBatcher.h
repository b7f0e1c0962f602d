// SGSpriteBatcher: collects the quads of consecutive sprites and particles that share a
// texture and blend function, and draws each such run with one call.
//
// Where things sit and why: sprite renderers and particle systems no longer draw; they place
// their vertices in the space's frame on the CPU (SGSpriteFrame composes the translation and
// rotation exactly as glTranslatef and glRotatef would) and hand them, each with its colour,
// to the one process-wide batcher. The batcher keeps one run of interleaved vertices
// (x, y, s, t, r, g, b, a) and triangle indices, and draws it when the drawing state changes
// (another texture, texturing on or off, another blend function), when a space's render
// loop meets a node that draws in another way (a clear node, a nested space that moves the
// matrices), and when a space's render loop ends, so every run is drawn with the model-view
// matrix its sprites were placed in and pixels are written in the same order as before.
// Outside a space's render loop (a script calling a sprite's compute directly) a quad is
// drawn at once. A draw sets the blend function, texturing and the colour array only for
// itself and restores the host's state afterwards, so the state a node leaves behind is the
// same as when every sprite drew alone. The arrays keep their capacity, so a steady frame
// allocates nothing.
#ifndef SG_SPRITE_BATCHER_H
#define SG_SPRITE_BATCHER_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "SGColor.h"
#include "SGGL.h"

// The frame a sprite or particle draws in: translated to (x, y), rotated by angle degrees
// about z, then moved by (originX, originY); the same arithmetic as the matrix calls.
struct SGSpriteFrame {
    SGSpriteFrame(float x, float y, float angle, float originX, float originY);

    float m0, m1, m4, m5, m12, m13;  // column-major entries of the affine matrix
};

// What a run shares: texturing, the texture and the blend function.
struct SGBatchState {
    bool textured;
    GLuint texture;
    GLenum source;
    GLenum destination;

    bool operator==(const SGBatchState& other) const {
        return textured == other.textured && (!textured || texture == other.texture) &&
               source == other.source && destination == other.destination;
    }
};

// What has been drawn through the batcher so far: draw calls, sprites, and the time spent in
// spaces' render loops (the outermost scopes; a nested space's loop is inside its parent's).
// A host reads them before and after a frame to show what the frame cost.
struct SGDrawCounters {
    uint64_t drawCalls = 0;
    uint64_t sprites = 0;
    double renderSeconds = 0;
};

class SGSpriteBatcher {
public:
    // The batcher of the scene graph's drawing thread.
    static SGSpriteBatcher& shared();

    // Adds a quad of four (x, y, s, t) corners in triangle-strip order.
    void addQuad(const SGBatchState& state, const SGSpriteFrame& frame, const float* corners,
                 const SGColor& colour);
    // Adds count (x, y, s, t) vertices, every three a triangle.
    void addTriangles(const SGBatchState& state, const SGSpriteFrame& frame,
                      const float* vertices, int32_t count, const SGColor& colour);
    // Draws the pending run, if any.
    void flush();

    // Draw calls made so far (for tests and benchmarks).
    uint64_t drawCalls() const { return counters_.drawCalls; }
    const SGDrawCounters& counters() const { return counters_; }
    // A sprite node counts itself once each time it draws, however many quads it hands over.
    void countSprite() { ++counters_.sprites; }

    // Runs may grow while a scope lives (a space's render loop); its end draws what is
    // pending, also when an exception unwinds through it.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

private:
    // Starts a new run when the state differs; returns the index of the next vertex.
    GLuint prepare(const SGBatchState& state);
    void addVertices(const SGSpriteFrame& frame, const float* xyst, int32_t count,
                     const SGColor& colour);

    std::vector<float> vertices;   // interleaved x, y, s, t, r, g, b, a
    std::vector<GLuint> indices;   // three per triangle
    SGBatchState current{false, 0, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    SGColor lastColour = SGWhiteColor;
    int32_t scopes = 0;
    std::chrono::steady_clock::time_point outermostScopeStart;
    SGDrawCounters counters_;
};

#endif
