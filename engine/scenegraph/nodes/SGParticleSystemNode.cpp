// Emission, motion and drawing of particle systems.
#include "nodes/SGParticleSystemNode.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <new>

#include "SGPortIDs.h"
#include "nodes/spriteRenderers/SGSpriteRenderer.h"

SGParticleSystemNode::SGParticleSystemNode() {
    classFlags |= SGParticleSystemNodeClass;
    addInputPort(&time, SGPortTypeNumber);
    addInputPort(&spawnParticles, SGPortTypeBoolean);
    addInputPort(&numParticles, SGPortTypeInteger);
    addInputPort(&image, SGPortTypeImage);
    addInputPort(&direction, SGPortTypeNumber);
    addInputPort(&directionSpread, SGPortTypeNumber);
    addInputPort(&speedSpread, SGPortTypeNumber);
    addInputPort(&lifetime, SGPortTypeNumber);
    addInputPort(&lifestart, SGPortTypeNumber);
    addInputPort(&color, SGPortTypeColor);
    addInputPort(&colorTarget, SGPortTypeColor);
    for (SGNumberPort* port : {&colorTransitionTime, &x, &y, &rotation, &size, &sizeTarget,
                               &sizeTransitionTime, &gravityX, &gravityY, &speed,
                               &angularVelocity}) {
        addInputPort(port, SGPortTypeNumber);
    }
    addInputPort(&blendingMode, SGPortTypeInteger);
}

SGPort* SGParticleSystemNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortTime: return &time;
    case SGPortSpawnParticles: return &spawnParticles;
    case SGPortNumParticles: return &numParticles;
    case SGPortImage: return &image;
    case SGPortDirection: return &direction;
    case SGPortDirectionSpread: return &directionSpread;
    case SGPortSpeedSpread: return &speedSpread;
    case SGPortLifetime: return &lifetime;
    case SGPortLifestart: return &lifestart;
    case SGPortColor: return &color;
    case SGPortColorTarget: return &colorTarget;
    case SGPortColorTransitionTime: return &colorTransitionTime;
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortRotation: return &rotation;
    case SGPortSize: return &size;
    case SGPortSizeTarget: return &sizeTarget;
    case SGPortSizeTransitionTime: return &sizeTransitionTime;
    case SGPortGravityX: return &gravityX;
    case SGPortGravityY: return &gravityY;
    case SGPortSpeed: return &speed;
    case SGPortAngularVelocity: return &angularVelocity;
    case SGPortBlendingMode: return &blendingMode;
    default: return nullptr;
    }
}

float SGParticleSystemNode::interpolate(float from, float to, float duration, float t) {
    const float d = to - from;
    const float v = d / duration * t;
    // fmin and fmax drop a NaN, so a duration of 0 gives the end value even when from
    // equals to (0 / 0).
    return d < 0 ? from + std::fmax(v, d) : from + std::fmin(v, d);
}

float SGParticleSystemNode::randomBetween(float a, float b) {
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    const double unit = static_cast<double>(random_() - decltype(random_)::min()) /
                        (static_cast<double>(decltype(random_)::max()) - decltype(random_)::min() + 1);
    return static_cast<float>(lo + (hi - lo) * unit);
}

void SGParticleSystemNode::compute() {
    dirty = false;
    if (!poolAllocated) {
        allocateParticles();
        updateParticleSystem();
        generateParticles();
    } else {
        updateParticleSystem();
    }
    const float t = time.numberValue();
    refreshParticles(t);
    renderAtTime(t);
}

void SGParticleSystemNode::allocateParticles() {
    assert(!poolAllocated && "particleSystem.particles == NULL");
    const int32_t count = numParticles.intValue();
    snapshot.lifestart = lifestart.numberValue();
    // Only once both reads succeeded: a read that throws (nested too deep) is retried at the
    // next frame, like every other read.
    poolAllocated = true;
    if (count <= 0) return;
    if (count > kMaxParticles) {
        std::printf("SGParticleSystemNode: %d particles requested, at most %d allowed: "
                    "the system draws nothing\n", count, kMaxParticles);
        return;
    }
    try {
        pool.assign(static_cast<size_t>(count), SGParticle{});
    } catch (const std::bad_alloc&) {
        std::printf("SGParticleSystemNode: cannot allocate %d particles: the system draws "
                    "nothing\n", count);
        pool.clear();
    }
}

void SGParticleSystemNode::updateParticleSystem() {
    Snapshot& s = snapshot;
    s.x = x.numberValue();
    s.y = y.numberValue();
    s.rotation = rotation.numberValue();
    s.lifetime = lifetime.numberValue();
    s.image = image.imageValue();
    s.direction = direction.numberValue();
    s.directionSpread = directionSpread.numberValue();
    s.speedSpread = speedSpread.numberValue();
    s.color = color.colorValue();
    s.colorTarget = colorTarget.colorValue();
    s.colorTransitionTime = colorTransitionTime.numberValue();
    s.size = size.numberValue();
    s.sizeTarget = sizeTarget.numberValue();
    s.sizeTransitionTime = sizeTransitionTime.numberValue();
    s.gravityX = gravityX.numberValue();
    s.gravityY = gravityY.numberValue();
    s.speed = speed.numberValue();
    s.angularVelocity = angularVelocity.numberValue();
}

void SGParticleSystemNode::generateParticles() {
    for (SGParticle& particle : pool) {
        particle.birthTime = randomBetween(0.0f, snapshot.lifestart);
        particle.alive = 0;
    }
}

void SGParticleSystemNode::randomizeParticle(SGParticle* p) {
    const Snapshot& s = snapshot;
    p->lifetime = randomBetween(s.lifetime * 0.5f, s.lifetime);
    const float degrees = s.direction + randomBetween(-s.directionSpread / 2, s.directionSpread / 2);
    const float speedOfThis = s.speed + randomBetween(-s.speedSpread / 2, s.speedSpread / 2);
    const float radians = static_cast<float>(degrees * 0.017453292519943295);
    p->velocityX = std::cos(radians) * speedOfThis;
    p->velocityY = std::sin(radians) * speedOfThis;
    p->startWidth = p->startHeight = s.size;
    p->targetWidth = p->targetHeight = s.sizeTarget;
    p->angularVelocity = s.angularVelocity;
    p->startRotation = s.rotation;
    p->startX = s.x;
    p->startY = s.y;
    p->colorTransitionTime = s.colorTransitionTime;
    p->alive = 1;
}

void SGParticleSystemNode::refreshParticles(float t) {
    if (!spawnParticles.boolValue()) return;
    for (SGParticle& particle : pool) {
        if (t > particle.birthTime + particle.lifetime) {
            particle.birthTime = t;
            randomizeParticle(&particle);
        }
    }
}

void SGParticleSystemNode::renderAtTime(float t) {
    const int32_t mode = blendingMode.intValue();
    const SGImage& picture = snapshot.image;
    const bool textured = picture.hasTexture();
    const bool premultiplied = textured && picture.premultiplied != 0;
    const SGBatchState state = SGBatchStateFor(textured ? &picture : nullptr,
                                               SGBlendFactorsForMode(mode, premultiplied ? 1 : 0));
    const Snapshot& s = snapshot;
    for (SGParticle& p : pool) {
        const float age = t - p.birthTime;
        if (!(age > 0 && p.lifetime > age)) continue;
        if (p.alive == 0) randomizeParticle(&p);
        const float angle = p.angularVelocity * age + p.startRotation;
        const float px = (0.5f * s.gravityX * age + p.velocityX) * age + p.startX;
        const float py = (0.5f * s.gravityY * age + p.velocityY) * age + p.startY;
        const float w = interpolate(p.startWidth, p.targetWidth, s.sizeTransitionTime, age);
        const float h = interpolate(p.startHeight, p.targetHeight, s.sizeTransitionTime, age);
        const float ct = p.colorTransitionTime;
        const float r = interpolate(s.color.r, s.colorTarget.r, ct, age);
        const float g = interpolate(s.color.g, s.colorTarget.g, ct, age);
        const float b = interpolate(s.color.b, s.colorTarget.b, ct, age);
        const float a = interpolate(s.color.a, s.colorTarget.a, ct, age);
        const SGColor colour = premultiplied ? SGColor{r * a, g * a, b * a, a} : SGColor{r, g, b, a};
        drawParticle(state, SGSpriteFrame(px, py, angle, 0.0f, 0.0f), w, h, picture.textureRect,
                     colour);
    }
}

void SGParticleSystemNode::drawParticle(const SGBatchState& state, const SGSpriteFrame& frame,
                                        float width, float height, const SGTextureRect& r,
                                        const SGColor& colour) {
    const float hw = width * 0.5f;
    const float hh = height * 0.5f;
    const float corners[16] = {-hw, -hh, r.s0, r.t0, hw, -hh, r.s1, r.t0,
                               -hw, hh, r.s0, r.t1, hw, hh, r.s1, r.t1};
    SGSpriteBatcher::shared().addQuad(state, frame, corners, colour);
}
