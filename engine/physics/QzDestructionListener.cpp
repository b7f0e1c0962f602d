// Frees fixture and joint records as Box2D destroys them along with a body.
#include "QzDestructionListener.h"

#include "QzPhysicsRecords.h"

void qzDestructionListener::SayGoodbye(b2Fixture* fixture) { QzFreeFixtureRecord(fixture); }

void qzDestructionListener::SayGoodbye(b2Joint* joint) { QzFreeJointRecord(joint); }
