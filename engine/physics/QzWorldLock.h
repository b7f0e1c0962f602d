// Setting and restoring a Box2D world's lock flag, which Box2D keeps private.
#ifndef QZ_WORLD_LOCK_H
#define QZ_WORLD_LOCK_H

class b2World;

// Box2D sets the lock at the start of a step and clears it at the end, with no clean-up when
// the step is left by an exception; it also leaves the world unlocked while DestroyBody and
// DestroyFixture report ended contacts. These let the physics code restore the flag itself.
void QzSetWorldLocked(b2World* world, bool locked);

// Locks the world for the scope's life and then restores the previous state: script callbacks
// run under it, so that they cannot create or destroy bodies and fixtures while Box2D is
// walking its lists.
class QzWorldLockScope {
public:
    explicit QzWorldLockScope(b2World* world);
    ~QzWorldLockScope();
    QzWorldLockScope(const QzWorldLockScope&) = delete;
    QzWorldLockScope& operator=(const QzWorldLockScope&) = delete;

private:
    b2World* world_;  // borrowed
    bool wasLocked_;
};

// Clears the lock when the scope ends, however it ends: wraps a step, so that a step left by
// an exception does not leave the world locked for good.
class QzWorldUnlockOnExit {
public:
    explicit QzWorldUnlockOnExit(b2World* world) : world_(world) {}
    ~QzWorldUnlockOnExit() { QzSetWorldLocked(world_, false); }
    QzWorldUnlockOnExit(const QzWorldUnlockOnExit&) = delete;
    QzWorldUnlockOnExit& operator=(const QzWorldUnlockOnExit&) = delete;

private:
    b2World* world_;  // borrowed
};

#endif
