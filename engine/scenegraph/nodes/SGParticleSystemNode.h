// SGParticleSystemNode: a render node that draws a fixed pool of particles emitted from
// one point, each a closed-form function of its age.
#ifndef SG_PARTICLE_SYSTEM_NODE_H
#define SG_PARTICLE_SYSTEM_NODE_H

#include <cstdint>
#include <random>
#include <vector>

#include "SGNode.h"
#include "nodes/spriteRenderers/SGSpriteBatcher.h"

// One particle of the pool.
struct SGParticle {
    float velocityX;
    float velocityY;
    float startX;
    float startY;
    float angularVelocity;
    float birthTime;
    float lifetime;
    float startWidth;
    float startHeight;
    float targetWidth;
    float targetHeight;
    float startRotation;
    float colorTransitionTime;
    int32_t alive;  // 1 once emitted
};

class SGParticleSystemNode : public SGRenderNode {
public:
    // Pools larger than this are refused with a message instead of allocated.
    static constexpr int32_t kMaxParticles = 1000000;

    SGParticleSystemNode();

    // Advances to the time port's value and draws.
    void compute() override;
    SGPort* portForID(SGPortID id) override;

    // Moves linearly from `from` toward `to` over duration and stops there.
    static float interpolate(float from, float to, float duration, float time);
    // A number from the smaller to the larger bound, drawn from this node's own generator: a
    // particle effect never takes numbers from the C library's rand(), which is also the
    // script's math.random, so what the game deals does not depend on what is drawn.
    float randomBetween(float a, float b);
    // Restarts the node's generator, so that an emitter's particles are the same every run.
    void seedRandom(uint32_t seed) { random_.seed(seed); }

    const std::vector<SGParticle>& particles() const { return pool; }
    bool hasPool() const { return poolAllocated; }

    SGNumberPort time;
    SGBooleanPort spawnParticles;
    SGIntegerPort numParticles;
    SGImagePort image;
    SGNumberPort direction;
    SGNumberPort directionSpread;  // degrees: each particle flies within ±spread/2 of direction
    SGNumberPort speedSpread;      // each particle's speed lies within ±spread/2 of speed
    SGNumberPort lifetime;
    SGNumberPort lifestart;
    SGColorPort color{SGWhiteColor};
    SGColorPort colorTarget{SGWhiteColor};
    SGNumberPort colorTransitionTime;
    SGNumberPort x;
    SGNumberPort y;
    SGNumberPort rotation;
    SGNumberPort size;
    SGNumberPort sizeTarget;
    SGNumberPort sizeTransitionTime;
    SGNumberPort gravityX;
    SGNumberPort gravityY;
    SGNumberPort speed;
    SGNumberPort angularVelocity;
    SGIntegerPort blendingMode;

private:
    // The parameters as read at the last frame.
    struct Snapshot {
        float x = 0, y = 0, rotation = 0, lifetime = 0, lifestart = 0;
        SGImage image = {0, 0, 0, 0, 0, {0, 0, 1, 1}, 0};
        float direction = 0, directionSpread = 0, speedSpread = 0;
        SGColor color = SGWhiteColor;
        SGColor colorTarget = SGWhiteColor;
        float colorTransitionTime = 0, size = 0, sizeTarget = 0, sizeTransitionTime = 0;
        float gravityX = 0, gravityY = 0, speed = 0, angularVelocity = 0;
    };

    void allocateParticles();
    void updateParticleSystem();
    void generateParticles();
    void randomizeParticle(SGParticle* particle);
    void refreshParticles(float t);
    void renderAtTime(float t);
    // Hands the particle's square, centred in its frame, to the sprite batcher.
    static void drawParticle(const SGBatchState& state, const SGSpriteFrame& frame, float width,
                             float height, const SGTextureRect& r, const SGColor& colour);

    std::vector<SGParticle> pool;  // allocated once, at the first compute
    bool poolAllocated = false;
    Snapshot snapshot;
    std::minstd_rand random_{1};
};

#endif
