// The `physics` library opener, the shared checkers and argument readers, and the callbacks.
#include "QzPhysicsBinding.h"

#include <cmath>
#include <limits>

#include "QzContactListener.h"
#include "QzContactReport.h"
#include "QzPhysics.h"
#include "QzPhysicsCallbacks.h"
#include "QzWorldLock.h"

namespace {

constexpr const char* kWorldsByPointer = "physics.worldsByPointer";
constexpr const char* kCollisionBegan = "fixtureCollisionBegan";
constexpr const char* kCollisionEnded = "fixtureCollisionEnded";

void registerClass(lua_State* L, int library, const QzPhysicsClass& type) {
    lua_newtable(L);
    luaL_register(L, nullptr, type.functions);
    luaL_newmetatable(L, type.metatable);
    if (type.gc) {
        lua_pushcfunction(L, type.gc);
        lua_setfield(L, -2, "__gc");
    }
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    lua_setfield(L, library, type.name);
}

// A table from world pointers to world objects with weak values.
void createWorldIndex(lua_State* L) {
    lua_newtable(L);
    lua_newtable(L);
    lua_pushstring(L, "v");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_setfield(L, LUA_REGISTRYINDEX, kWorldsByPointer);
}

template <class Object>
Object* checkObject(lua_State* L, int index, const char* metatable) {
    return static_cast<Object*>(luaL_checkudata(L, index, metatable));
}

// Pushes a script object sharing the liveness, or a destroyed one when there is none.
template <class Object, class Native>
void pushLinked(lua_State* L, const char* metatable, std::shared_ptr<QzLiveCell<Native>> liveness) {
    if (!liveness) liveness = std::make_shared<QzLiveCell<Native>>(QzLiveCell<Native>{nullptr});
    QzNewObject<Object>(L, metatable, std::move(liveness));
}

thread_local const QzDyingBodyScope* innermostDyingBody = nullptr;

struct CollisionCall {
    const char* global;
    b2Fixture* fixtureA;
    b2Fixture* fixtureB;
    const QzContactReport* report;  // borrowed; null for ended contacts
};

// After the two fixtures, a began contact passes its normal (from A towards B), its impulse
// (kilograms times screen units per second) and its points (x, y in screen units, one or two).
int pushContactReport(lua_State* L, const QzContactReport& report) {
    QzPushVector(L, report.normal, 1.0f);
    lua_pushnumber(L, report.impulse * kQzToScreen);
    for (int32 index = 0; index < report.pointCount; ++index) QzPushVector(L, report.points[index], kQzToScreen);
    return 3 + 2 * report.pointCount;
}

int runCollisionCall(lua_State* L) {
    const auto* call = static_cast<const CollisionCall*>(lua_touserdata(L, 1));
    lua_getglobal(L, call->global);
    pushFixture(L, call->fixtureA);
    pushFixture(L, call->fixtureB);
    const int extra = call->report ? pushContactReport(L, *call->report) : 0;
    lua_call(L, 2 + extra, 0);
    return 0;
}

void callCollisionGlobal(lua_State* L, const char* global, b2Fixture* fixtureA, b2Fixture* fixtureB,
                         const QzContactReport* report) {
    QzWorldLockScope lock(fixtureA->GetBody()->GetWorld());
    CollisionCall call{global, fixtureA, fixtureB, report};
    if (lua_cpcall(L, runCollisionCall, &call) != 0) lua_pop(L, 1);
}

}  // namespace

int luaopen_physics(lua_State* L) {
    createWorldIndex(L);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setglobal(L, "physics");
    const int library = lua_gettop(L);
    for (const QzPhysicsClass* type : {&kQzWorldClass, &kQzBodyDefinitionClass, &kQzBodyClass,
                                       &kQzFixtureDefinitionClass, &kQzFixtureClass,
                                       &kQzPolygonShapeClass, &kQzCircleShapeClass, &kQzJointClass}) {
        registerClass(L, library, *type);
    }
    lua_getfield(L, library, kQzWorldClass.name);
    luaL_register(L, nullptr, kQzWorldJointFunctions);
    luaL_register(L, nullptr, kQzWorldQueryFunctions);
    lua_pop(L, 1);
    return 1;
}

bool QzIsObject(lua_State* L, int index, const char* metatable) {
    if (!lua_isuserdata(L, index) || !lua_getmetatable(L, index)) return false;
    luaL_getmetatable(L, metatable);
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same;
}

QzWorldObject* QzCheckWorldObject(lua_State* L, int index) {
    return checkObject<QzWorldObject>(L, index, kQzWorldMT);
}

b2World* QzCheckWorld(lua_State* L, int index) {
    b2World* world = QzCheckWorldObject(L, index)->world;
    if (!world) luaL_argerror(L, index, "the world was already destroyed");
    return world;
}

b2BodyDef* QzCheckBodyDef(lua_State* L, int index) {
    b2BodyDef* definition = checkObject<QzBodyDefObject>(L, index, kQzBodyDefMT)->definition;
    if (!definition) luaL_argerror(L, index, "the body definition was already freed");
    return definition;
}

b2Body* QzCheckBody(lua_State* L, int index) {
    const auto& liveness = checkObject<QzBodyObject>(L, index, kQzBodyMT)->body;
    if (!liveness || !liveness->object) {
        luaL_argerror(L, index, "the body was destroyed (or its world was collected)");
    }
    return liveness->object;
}

b2FixtureDef* QzCheckFixtureDef(lua_State* L, int index) {
    b2FixtureDef* definition = checkObject<QzFixtureDefObject>(L, index, kQzFixtureDefMT)->definition;
    if (!definition) luaL_argerror(L, index, "the fixture definition was already freed");
    return definition;
}

b2Fixture* QzCheckFixture(lua_State* L, int index) {
    const auto& liveness = checkObject<QzFixtureObject>(L, index, kQzFixtureMT)->fixture;
    if (!liveness || !liveness->object) {
        luaL_argerror(L, index, "the fixture was destroyed (or its body or world was)");
    }
    return liveness->object;
}

QzPolygonShape* QzCheckPolygonShape(lua_State* L, int index) {
    QzPolygonShape* shape = checkObject<QzPolygonShapeObject>(L, index, kQzPolygonShapeMT)->shape;
    if (!shape) luaL_argerror(L, index, "the polygon shape was already freed");
    return shape;
}

b2CircleShape* QzCheckCircleShape(lua_State* L, int index) {
    b2CircleShape* shape = checkObject<QzCircleShapeObject>(L, index, kQzCircleShapeMT)->shape;
    if (!shape) luaL_argerror(L, index, "the circle shape was already freed");
    return shape;
}

b2Joint* QzCheckJoint(lua_State* L, int index) {
    const auto& liveness = checkObject<QzJointObject>(L, index, kQzJointMT)->joint;
    if (!liveness || !liveness->object) {
        luaL_argerror(L, index, "the joint was destroyed (by itself, with one of its bodies, or with its world)");
    }
    return liveness->object;
}

void QzCheckUnlocked(const b2World* world) {
    if (world->IsLocked()) throw b2Exception("IsLocked() == false", __FILE__, __LINE__);
}

float QzCheckFinite(lua_State* L, int index) {
    const float value = static_cast<float>(luaL_checknumber(L, index));
    if (!std::isfinite(value)) luaL_argerror(L, index, "finite number expected");
    return value;
}

float QzCheckNonNegative(lua_State* L, int index) {
    const float value = QzCheckFinite(L, index);
    if (value < 0.0f) luaL_argerror(L, index, "number >= 0 expected");
    return value;
}

int32_t QzCheckInt32(lua_State* L, int index) {
    const double value = std::trunc(static_cast<double>(QzCheckFinite(L, index)));
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        luaL_argerror(L, index, "integer out of the 32-bit range");
    }
    return static_cast<int32_t>(value);
}

bool QzCheckFlag(lua_State* L, int index) {
    luaL_checkany(L, index);
    return lua_toboolean(L, index) != 0;
}

b2Vec2 QzCheckVector(lua_State* L, int index, float scale) {
    const float x = QzCheckFinite(L, index);
    const float y = QzCheckFinite(L, index + 1);
    return b2Vec2(x * scale, y * scale);
}

int QzPushVector(lua_State* L, const b2Vec2& vector, float scale) {
    lua_pushnumber(L, vector.x * scale);
    lua_pushnumber(L, vector.y * scale);
    return 2;
}

void QzKeepDynamicMassPositive(b2Body* body) {
    if (body->GetType() != b2_dynamicBody || body->GetMass() > 0.0f) return;
    // Box2D takes a mass of 0 here as 1, with no rotational inertia, at the body's origin.
    const b2MassData noMass{};
    body->SetMassData(&noMass);
}

qzContactListener* QzListenerOf(b2World* world) {
    return dynamic_cast<qzContactListener*>(world->GetContactManager().m_contactListener);
}

void QzRememberWorldObject(lua_State* L, b2World* world, int index) {
    index = index < 0 ? lua_gettop(L) + index + 1 : index;
    lua_getfield(L, LUA_REGISTRYINDEX, kWorldsByPointer);
    lua_pushlightuserdata(L, world);
    lua_pushvalue(L, index);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

void QzPushWorldObject(lua_State* L, b2World* world) {
    lua_getfield(L, LUA_REGISTRYINDEX, kWorldsByPointer);
    lua_pushlightuserdata(L, world);
    lua_rawget(L, -2);
    lua_remove(L, -2);
}

QzDyingBodyScope::QzDyingBodyScope(b2Body* body)
    : body_(body), liveness_(std::move(QzActorRecord(body)->liveness)), outer_(innermostDyingBody) {
    QzFreeActorRecord(body);
    innermostDyingBody = this;
}

QzDyingBodyScope::~QzDyingBodyScope() {
    innermostDyingBody = outer_;
    if (liveness_) liveness_->object = nullptr;
}

std::shared_ptr<QzLiveCell<b2Body>> QzDyingBodyScope::livenessOf(const b2Body* body) {
    for (const QzDyingBodyScope* scope = innermostDyingBody; scope; scope = scope->outer_) {
        if (scope->body_ == body) return scope->liveness_;
    }
    return nullptr;
}

void pushBody(lua_State* L, const b2Body* body) {
    const qzActorUserData* record = QzActorRecord(body);
    pushLinked<QzBodyObject>(L, kQzBodyMT, record ? record->liveness : QzDyingBodyScope::livenessOf(body));
}

void pushFixture(lua_State* L, const b2Fixture* fixture) {
    const qzFixtureUserData* record = QzFixtureRecord(fixture);
    pushLinked<QzFixtureObject>(L, kQzFixtureMT, record ? record->liveness : nullptr);
}

void pushJoint(lua_State* L, const b2Joint* joint) {
    const qzJointUserData* record = QzJointRecord(joint);
    pushLinked<QzJointObject>(L, kQzJointMT, record ? record->liveness : nullptr);
}

void callCollisionBeganCallback(lua_State* L, b2Contact* contact) {
    const QzContactReport report = QzReportContact(contact);
    callCollisionGlobal(L, kCollisionBegan, contact->GetFixtureA(), contact->GetFixtureB(), &report);
}

void callCollisionEndedCallback(lua_State* L, b2Fixture* fixtureA, b2Fixture* fixtureB) {
    callCollisionGlobal(L, kCollisionEnded, fixtureA, fixtureB, nullptr);
}
