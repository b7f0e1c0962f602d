// Frees fixture records as Box2D destroys fixtures.
#include "QzDestructionListener.h"

#include "QzPhysicsRecords.h"

void qzDestructionListener::SayGoodbye(b2Fixture* fixture) { QzFreeFixtureRecord(fixture); }
