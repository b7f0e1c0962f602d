// The destruction listener that frees a fixture's record when Box2D destroys it with its body.
#ifndef QZ_DESTRUCTION_LISTENER_H
#define QZ_DESTRUCTION_LISTENER_H

#include <box2d/b2_world_callbacks.h>

class qzDestructionListener : public b2DestructionListener {
public:
    // Frees the fixture's record and clears its user data.
    void SayGoodbye(b2Fixture* fixture) override;
    // Joints are never made by this system.
    void SayGoodbye(b2Joint*) override {}
};

#endif
