// The body and fixture records: category lists, copies, attachment and freeing.
#include "QzPhysicsRecords.h"

#include <algorithm>

#include <box2d/box2d.h>

namespace {

constexpr int32_t kSensorFixtureID = 2;

template <class T>
void markGone(const std::shared_ptr<QzLiveCell<T>>& liveness) {
    if (liveness) liveness->object = nullptr;
}

}  // namespace

void QzAddCategory(std::vector<int32_t>& categories, int32_t category) {
    categories.push_back(category);
}

void QzRemoveCategory(std::vector<int32_t>& categories, int32_t category) {
    auto found = std::find(categories.begin(), categories.end(), category);
    if (found != categories.end()) categories.erase(found);
}

bool QzSharesCategory(const std::vector<int32_t>& left, const std::vector<int32_t>& right) {
    for (int32_t category : left) {
        if (std::find(right.begin(), right.end(), category) != right.end()) return true;
    }
    return false;
}

qzActorUserData::qzActorUserData(const qzActorUserData& other)
    : actorID(other.actorID), collisionCategories(other.collisionCategories) {}

qzActorUserData::~qzActorUserData() { markGone(liveness); }

void qzActorUserData::attachTo(b2Body* body) {
    markGone(liveness);
    liveness = std::make_shared<QzLiveCell<b2Body>>(QzLiveCell<b2Body>{body});
}

qzFixtureUserData::qzFixtureUserData(const qzFixtureUserData& other)
    : fixtureID(other.fixtureID), collisionMaskCategories(other.collisionMaskCategories) {}

qzFixtureUserData::~qzFixtureUserData() { markGone(liveness); }

void qzFixtureUserData::attachTo(b2Fixture* fixture) {
    markGone(liveness);
    liveness = std::make_shared<QzLiveCell<b2Fixture>>(QzLiveCell<b2Fixture>{fixture});
}

qzJointUserData::~qzJointUserData() { markGone(liveness); }

void qzJointUserData::attachTo(b2Joint* joint) {
    markGone(liveness);
    liveness = std::make_shared<QzLiveCell<b2Joint>>(QzLiveCell<b2Joint>{joint});
}

// Box2D 2.4 offers only a non-const GetUserData; these only read it.
qzActorUserData* QzActorRecord(const b2Body* body) {
    return reinterpret_cast<qzActorUserData*>(const_cast<b2Body*>(body)->GetUserData().pointer);
}

qzFixtureUserData* QzFixtureRecord(const b2Fixture* fixture) {
    return reinterpret_cast<qzFixtureUserData*>(const_cast<b2Fixture*>(fixture)->GetUserData().pointer);
}

qzJointUserData* QzJointRecord(const b2Joint* joint) {
    return reinterpret_cast<qzJointUserData*>(const_cast<b2Joint*>(joint)->GetUserData().pointer);
}

qzActorUserData* QzActorRecord(const b2BodyDef* definition) {
    return reinterpret_cast<qzActorUserData*>(definition->userData.pointer);
}

qzFixtureUserData* QzFixtureRecord(const b2FixtureDef* definition) {
    return reinterpret_cast<qzFixtureUserData*>(definition->userData.pointer);
}

void QzFreeActorRecord(b2Body* body) {
    delete QzActorRecord(body);
    body->GetUserData().pointer = 0;
}

void QzFreeFixtureRecord(b2Fixture* fixture) {
    delete QzFixtureRecord(fixture);
    fixture->GetUserData().pointer = 0;
}

void QzFreeJointRecord(b2Joint* joint) {
    delete QzJointRecord(joint);
    joint->GetUserData().pointer = 0;
}

void QzFreeWorldRecords(b2World* world) {
    for (b2Joint* joint = world->GetJointList(); joint; joint = joint->GetNext()) QzFreeJointRecord(joint);
    for (b2Body* body = world->GetBodyList(); body; body = body->GetNext()) {
        for (b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
            QzFreeFixtureRecord(fixture);
        }
        QzFreeActorRecord(body);
    }
}

b2Fixture* getSensorFixture(b2Body* body) {
    for (b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
        const qzFixtureUserData* record = QzFixtureRecord(fixture);
        if (record && record->fixtureID == kSensorFixtureID) return fixture;
    }
    return nullptr;
}
