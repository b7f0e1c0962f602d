// Begin and end counting of touching fixture pairs, and the script calls they make.
#include "QzContactListener.h"

#include <box2d/box2d.h>

#include "QzPhysicsCallbacks.h"
#include "QzPhysicsRecords.h"

namespace {

bool bodyHasSensor(b2Fixture* fixture) { return getSensorFixture(fixture->GetBody()) != nullptr; }

}  // namespace

std::map<qzContactListener::FixturePair, int32_t>::iterator qzContactListener::findPair(b2Fixture* a,
                                                                                      b2Fixture* b) {
    auto found = contactCounts_.find({a, b});
    if (found == contactCounts_.end()) found = contactCounts_.find({b, a});
    return found;
}

void qzContactListener::BeginContact(b2Contact* contact) {
    b2Fixture* a = contact->GetFixtureA();
    b2Fixture* b = contact->GetFixtureB();
    if (!bodyHasSensor(a) || !bodyHasSensor(b)) return;
    auto found = findPair(a, b);
    if (found != contactCounts_.end()) {
        ++found->second;
        return;
    }
    if (scriptState_) callCollisionBeganCallback(scriptState_, contact);
    contactCounts_.emplace(FixturePair{a, b}, 1);
}

void qzContactListener::EndContact(b2Contact* contact) {
    auto found = findPair(contact->GetFixtureA(), contact->GetFixtureB());
    if (found == contactCounts_.end()) return;
    if (found->second > 1) {
        --found->second;
        return;
    }
    const FixturePair pair = found->first;
    contactCounts_.erase(found);
    if (scriptState_) callCollisionEndedCallback(scriptState_, pair.first, pair.second);
}
