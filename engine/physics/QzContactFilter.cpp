// The game's collision rules over fixture and body records.
#include "QzContactFilter.h"

#include <box2d/box2d.h>

#include "QzPhysicsRecords.h"

bool qzContactFilter::ShouldCollide(b2Fixture* fixtureA, b2Fixture* fixtureB) {
    const qzFixtureUserData* recordA = QzFixtureRecord(fixtureA);
    const qzFixtureUserData* recordB = QzFixtureRecord(fixtureB);
    const qzActorUserData* actorA = QzActorRecord(fixtureA->GetBody());
    const qzActorUserData* actorB = QzActorRecord(fixtureB->GetBody());
    if (!recordA || !recordB || !actorA || !actorB) return false;
    if (recordA->fixtureID != recordB->fixtureID) return false;
    if (!actorB->collisionCategories.empty() &&
        QzSharesCategory(recordA->collisionMaskCategories, actorB->collisionCategories)) {
        return true;
    }
    if (actorA->collisionCategories.empty()) return false;
    return QzSharesCategory(recordB->collisionMaskCategories, actorA->collisionCategories);
}
