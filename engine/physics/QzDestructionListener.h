// The destruction listener that frees fixture and joint records when Box2D destroys them with a body.
#ifndef QZ_DESTRUCTION_LISTENER_H
#define QZ_DESTRUCTION_LISTENER_H

#include <box2d/b2_world_callbacks.h>

class qzDestructionListener : public b2DestructionListener {
public:
    // Frees the fixture's record and clears its user data.
    void SayGoodbye(b2Fixture* fixture) override;
    // Frees the joint's record (its script objects then see it gone) and clears its user data.
    void SayGoodbye(b2Joint* joint) override;
};

#endif
