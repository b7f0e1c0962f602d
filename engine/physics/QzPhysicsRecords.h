// The records Box2D bodies and fixtures carry as user data: IDs, collision categories and liveness.
#ifndef QZ_PHYSICS_RECORDS_H
#define QZ_PHYSICS_RECORDS_H

#include <cstdint>
#include <memory>
#include <vector>

class b2Body;
class b2Fixture;
class b2Joint;
class b2World;
struct b2BodyDef;
struct b2FixtureDef;

// Whether one Box2D body or fixture still exists. Shared by the record attached to the object
// and by every script object that names it; the record nulls `object` when it is freed, which
// happens exactly when the body or fixture is destroyed (or its world is collected).
template <class T>
struct QzLiveCell {
    T* object;  // borrowed; null once the object is gone
};

// Appends to or removes the first occurrence from a category list, keeping the order of the
// rest; removing an absent value does nothing.
void QzAddCategory(std::vector<int32_t>& categories, int32_t category);
void QzRemoveCategory(std::vector<int32_t>& categories, int32_t category);
bool QzSharesCategory(const std::vector<int32_t>& left, const std::vector<int32_t>& right);

// User data of a body: its actor ID and the collision categories it belongs to.
struct qzActorUserData {
    int32_t actorID = 0;
    std::vector<int32_t> collisionCategories;
    // Shared with script objects; set when a body takes the record.
    std::shared_ptr<QzLiveCell<b2Body>> liveness;

    qzActorUserData() = default;
    // Copies the ID and the categories; the copy is not attached to any body.
    qzActorUserData(const qzActorUserData& other);
    qzActorUserData& operator=(const qzActorUserData&) = delete;
    ~qzActorUserData();

    void addCollisionCategory(int32_t category) { QzAddCategory(collisionCategories, category); }
    void removeCollisionCategory(int32_t category) { QzRemoveCategory(collisionCategories, category); }
    // Marks the record as carried by the body; script objects made from now on see it alive.
    void attachTo(b2Body* body);
};

// User data of a fixture: its fixture ID and the body categories it collides with.
struct qzFixtureUserData {
    int32_t fixtureID = 0;
    std::vector<int32_t> collisionMaskCategories;
    // Shared with script objects; set when a fixture takes the record.
    std::shared_ptr<QzLiveCell<b2Fixture>> liveness;

    qzFixtureUserData() = default;
    // Copies the ID and the mask categories; the copy is not attached to any fixture.
    qzFixtureUserData(const qzFixtureUserData& other);
    qzFixtureUserData& operator=(const qzFixtureUserData&) = delete;
    ~qzFixtureUserData();

    void addCollisionMaskCategory(int32_t category) { QzAddCategory(collisionMaskCategories, category); }
    void removeCollisionMaskCategory(int32_t category) {
        QzRemoveCategory(collisionMaskCategories, category);
    }
    void attachTo(b2Fixture* fixture);
};

// The kinds of joint the system makes. A rope is a Box2D distance joint that only stops
// stretching, so the kind is kept in the record rather than read from Box2D.
enum class QzJointKind { revolute, distance, prismatic, weld, rope, mouse };

// User data of a joint: its kind and its liveness. Box2D destroys a joint with either of its
// bodies; the destruction listener then frees the record, which marks script objects gone.
struct qzJointUserData {
    QzJointKind kind;
    // Shared with script objects; made when the joint takes the record.
    std::shared_ptr<QzLiveCell<b2Joint>> liveness;

    explicit qzJointUserData(QzJointKind jointKind) : kind(jointKind) {}
    qzJointUserData(const qzJointUserData&) = delete;
    qzJointUserData& operator=(const qzJointUserData&) = delete;
    ~qzJointUserData();

    void attachTo(b2Joint* joint);
};

// The record a body or fixture carries, or null when it has none.
qzActorUserData* QzActorRecord(const b2Body* body);
qzFixtureUserData* QzFixtureRecord(const b2Fixture* fixture);
qzJointUserData* QzJointRecord(const b2Joint* joint);
// The record a definition hands a copy of to each body or fixture made from it.
qzActorUserData* QzActorRecord(const b2BodyDef* definition);
qzFixtureUserData* QzFixtureRecord(const b2FixtureDef* definition);

// Frees the record of a body or fixture and clears its user data. Safe when it has none.
void QzFreeActorRecord(b2Body* body);
void QzFreeFixtureRecord(b2Fixture* fixture);
void QzFreeJointRecord(b2Joint* joint);

// Frees the records of every joint, body and fixture of the world, before the world is deleted
// (b2World's destructor reports nothing to the destruction listener).
void QzFreeWorldRecords(b2World* world);

// The first fixture of the body whose record has fixture ID 2 (the body's collision sensor),
// or null.
b2Fixture* getSensorFixture(b2Body* body);

#endif
