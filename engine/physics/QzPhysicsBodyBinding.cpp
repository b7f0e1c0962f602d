// Script functions of the class Body.
#include <memory>

#include "QzContactListener.h"
#include "QzPhysicsBinding.h"
#include "QzPhysicsCallbacks.h"
#include "QzPolygonShape.h"

namespace {

constexpr float kDegreesPerRadian = 180.0f / b2_pi;

// The shape a fixture definition refers to, ready for a fixture; raises when it has none or
// when its polygon cannot be set up.
const b2Shape* shapeForFixture(lua_State* L, int definitionIndex, b2PolygonShape* scratch) {
    lua_getfenv(L, definitionIndex);
    lua_getfield(L, -1, "shape");
    const b2Shape* shape = nullptr;
    if (QzIsObject(L, -1, kQzCircleShapeMT)) {
        shape = QzCheckCircleShape(L, -1);
    } else if (QzIsObject(L, -1, kQzPolygonShapeMT)) {
        const char* problem = nullptr;
        shape = QzCheckPolygonShape(L, -1)->shapeForFixture(scratch, &problem);
        if (!shape) luaL_error(L, "cannot create a fixture: %s", problem);
    } else {
        luaL_error(L, "cannot create a fixture: its definition has no shape (call setShape first)");
    }
    lua_pop(L, 2);
    return shape;
}

// The fixture gets its own copy of the definition's record. Should Box2D's mass update raise
// after the fixture was linked in, the fixture is destroyed again: the script is told that no
// fixture was made, and the body's mass data is recomputed without it.
int bodyCreateFixture(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    b2Body* body = QzCheckBody(L, arg[1]);
    const b2FixtureDef* definition = QzCheckFixtureDef(L, arg[2]);
    QzCheckUnlocked(body->GetWorld());
    b2PolygonShape scratch;
    b2FixtureDef copy = *definition;
    copy.shape = shapeForFixture(L, arg[2], &scratch);
    auto record = std::make_unique<qzFixtureUserData>(*QzFixtureRecord(definition));
    copy.userData.pointer = reinterpret_cast<uintptr_t>(record.get());
    const b2Fixture* firstBefore = body->GetFixtureList();
    try {
        b2Fixture* fixture = body->CreateFixture(&copy);
        record.release()->attachTo(fixture);
        QzKeepDynamicMassPositive(body);
        pushFixture(L, fixture);
        return 1;
    } catch (const b2Exception&) {
        if (body->GetFixtureList() != firstBefore) {
            body->DestroyFixture(body->GetFixtureList());
            QzKeepDynamicMassPositive(body);
        }
        throw;
    }
}

// Non-userdata arguments (a nil from a failed createFixture, say) make this do nothing.
int bodyDestroyFixture(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    if (!lua_isuserdata(L, arg[1]) || !lua_isuserdata(L, arg[2])) return 0;
    b2Body* body = QzCheckBody(L, arg[1]);
    b2Fixture* fixture = QzCheckFixture(L, arg[2]);
    b2World* world = body->GetWorld();
    QzCheckUnlocked(world);
    if (fixture->GetBody() != body) luaL_argerror(L, arg[2], "the fixture belongs to another body");
    // Keeps the world object alive while the ended-contact callbacks run. Once it is no longer
    // found, the collector has condemned it and its finaliser may run inside those callbacks,
    // with the world locked, where it could not free the world.
    QzPushWorldObject(L, world);
    if (lua_isnil(L, -1)) luaL_argerror(L, arg[1], "the body's world was collected");
    QzScriptStateScope scriptState(QzListenerOf(world), L);
    QzFreeFixtureRecord(fixture);
    body->DestroyFixture(fixture);
    QzKeepDynamicMassPositive(body);
    return 0;
}

int bodySetAwake(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckBody(L, arg[1])->SetAwake(QzCheckFlag(L, arg[2]));
    return 0;
}

int bodyPosition(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    return QzPushVector(L, QzCheckBody(L, arg[1])->GetPosition(), kQzToScreen);
}

int bodySetPositionAndAngle(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    b2Body* body = QzCheckBody(L, arg[1]);
    const b2Vec2 position = QzCheckVector(L, arg[2], kQzToMetres);
    const float angle = QzCheckFinite(L, arg[4]);
    QzCheckUnlocked(body->GetWorld());
    body->SetTransform(position, angle);
    return 0;
}

int bodyAngle(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, QzCheckBody(L, arg[1])->GetAngle());
    return 1;
}

int bodySetLinearVelocity(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzCheckBody(L, arg[1])->SetLinearVelocity(QzCheckVector(L, arg[2], kQzToMetres));
    return 0;
}

int bodyLinearVelocity(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    return QzPushVector(L, QzCheckBody(L, arg[1])->GetLinearVelocity(), kQzToScreen);
}

int bodySetAngularVelocity(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckBody(L, arg[1])->SetAngularVelocity(QzCheckFinite(L, arg[2]));
    return 0;
}

int bodyAngularVelocity(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, QzCheckBody(L, arg[1])->GetAngularVelocity() * kDegreesPerRadian);
    return 1;
}

int bodySetAngularDamping(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckBody(L, arg[1])->SetAngularDamping(QzCheckNonNegative(L, arg[2]));
    return 0;
}

int bodyAngularDamping(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, QzCheckBody(L, arg[1])->GetAngularDamping());
    return 1;
}

int bodyMass(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, QzCheckBody(L, arg[1])->GetMass());
    return 1;
}

int bodyWorldCenter(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    return QzPushVector(L, QzCheckBody(L, arg[1])->GetWorldCenter(), 1.0f);
}

// The point is in metres, unscaled, like the result of worldCenter.
int bodyApplyForce(lua_State* L) {
    const QzArgsFromTop arg(L, 5);
    b2Body* body = QzCheckBody(L, arg[1]);
    const b2Vec2 force = QzCheckVector(L, arg[2], kQzToMetres);
    const b2Vec2 point = QzCheckVector(L, arg[4], 1.0f);
    body->ApplyForce(force, point, true);
    return 0;
}

int bodyActorID(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    const qzActorUserData* record = QzActorRecord(QzCheckBody(L, arg[1]));
    lua_pushnumber(L, record ? static_cast<lua_Number>(record->actorID) : -1.0f);
    return 1;
}

int bodyAddCollisionCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    qzActorUserData* record = QzActorRecord(QzCheckBody(L, arg[1]));
    const int32_t category = QzCheckInt32(L, arg[2]);
    if (record) record->addCollisionCategory(category);
    return 0;
}

int bodyRemoveCollisionCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    qzActorUserData* record = QzActorRecord(QzCheckBody(L, arg[1]));
    const int32_t category = QzCheckInt32(L, arg[2]);
    if (record) record->removeCollisionCategory(category);
    return 0;
}

int bodyGC(lua_State* L) {
    static_cast<QzBodyObject*>(luaL_checkudata(L, 1, kQzBodyMT))->body.reset();
    return 0;
}

const luaL_Reg kBodyFunctions[] = {
    {"createFixture", QzPhysicsFunction<bodyCreateFixture>},
    {"destroyFixture", QzPhysicsFunction<bodyDestroyFixture>},
    {"setAwake", QzPhysicsFunction<bodySetAwake>},
    {"position", QzPhysicsFunction<bodyPosition>},
    {"setPositionAndAngle", QzPhysicsFunction<bodySetPositionAndAngle>},
    {"angle", QzPhysicsFunction<bodyAngle>},
    {"setLinearVelocity", QzPhysicsFunction<bodySetLinearVelocity>},
    {"linearVelocity", QzPhysicsFunction<bodyLinearVelocity>},
    {"setAngularVelocity", QzPhysicsFunction<bodySetAngularVelocity>},
    {"angularVelocity", QzPhysicsFunction<bodyAngularVelocity>},
    {"setAngularDamping", QzPhysicsFunction<bodySetAngularDamping>},
    {"angularDamping", QzPhysicsFunction<bodyAngularDamping>},
    {"mass", QzPhysicsFunction<bodyMass>},
    {"worldCenter", QzPhysicsFunction<bodyWorldCenter>},
    {"applyForce", QzPhysicsFunction<bodyApplyForce>},
    {"actorID", QzPhysicsFunction<bodyActorID>},
    {"addCollisionCategory", QzPhysicsFunction<bodyAddCollisionCategory>},
    {"removeCollisionCategory", QzPhysicsFunction<bodyRemoveCollisionCategory>},
    {nullptr, nullptr},
};

}  // namespace

const QzPhysicsClass kQzBodyClass = {"Body", kQzBodyMT, kBodyFunctions, QzPhysicsFunction<bodyGC>};
