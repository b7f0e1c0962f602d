// Shared pieces of the `physics` binding: script object layouts, checkers and argument readers.
#ifndef QZ_PHYSICS_BINDING_H
#define QZ_PHYSICS_BINDING_H

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include <box2d/box2d.h>
#include <lauxlib.h>
#include <lua.h>

#include "QzLuaArgs.h"
#include "QzLuaGuard.h"
#include "QzPhysicsRecords.h"
#include "b2_exception.h"

class QzPolygonShape;
class qzContactFilter;
class qzContactListener;

// Screen units per metre: lengths, positions, velocities, gravity and forces are scaled by
// these on the way in and out.
constexpr float kQzToMetres = 0.02f;
constexpr float kQzToScreen = 50.0f;

constexpr const char* kQzWorldMT = "physics.WorldMT";
constexpr const char* kQzBodyDefMT = "physics.BodyDefMT";
constexpr const char* kQzBodyMT = "physics.BodyMT";
constexpr const char* kQzFixtureDefMT = "physics.FixtureDefMT";
constexpr const char* kQzFixtureMT = "physics.FixtureMT";
constexpr const char* kQzPolygonShapeMT = "physics.PolygonShapeMT";
constexpr const char* kQzCircleShapeMT = "physics.CircleShapeMT";
constexpr const char* kQzJointMT = "physics.JointMT";

// Script objects. Every pointer is null once its __gc has run.
struct QzWorldObject {
    b2World* world;               // owned
    qzContactListener* listener;  // owned
    qzContactFilter* filter;      // owned
};
struct QzBodyDefObject {
    b2BodyDef* definition;  // owned, with the qzActorUserData in its user data
};
struct QzBodyObject {
    std::shared_ptr<QzLiveCell<b2Body>> body;  // shared with the body's record
};
// The shape set on a fixture definition is kept alive by the object's environment table.
struct QzFixtureDefObject {
    b2FixtureDef* definition;  // owned, with the qzFixtureUserData in its user data
};
struct QzFixtureObject {
    std::shared_ptr<QzLiveCell<b2Fixture>> fixture;  // shared with the fixture's record
};
struct QzPolygonShapeObject {
    QzPolygonShape* shape;  // owned
};
struct QzCircleShapeObject {
    b2CircleShape* shape;  // owned
};
struct QzJointObject {
    std::shared_ptr<QzLiveCell<b2Joint>> joint;  // shared with the joint's record
};

// One class of the library: its name in "physics", its metatable, functions and finaliser.
struct QzPhysicsClass {
    const char* name;
    const char* metatable;
    const luaL_Reg* functions;
    lua_CFunction gc;  // null when the class has none
};
extern const QzPhysicsClass kQzWorldClass;
extern const QzPhysicsClass kQzBodyDefinitionClass;
extern const QzPhysicsClass kQzBodyClass;
extern const QzPhysicsClass kQzFixtureDefinitionClass;
extern const QzPhysicsClass kQzFixtureClass;
extern const QzPhysicsClass kQzPolygonShapeClass;
extern const QzPhysicsClass kQzCircleShapeClass;
extern const QzPhysicsClass kQzJointClass;
// Functions of the class World that live beside the classes they serve: making and
// destroying joints, ray casts and area queries.
extern const luaL_Reg kQzWorldJointFunctions[];
extern const luaL_Reg kQzWorldQueryFunctions[];

// Every script function is registered through this: a std::exception becomes a Lua error and
// a b2Exception (Box2D's assertion, the last line of defence behind the checks made here) is
// reported on standard output and the function returns no value.
template <lua_CFunction F>
int QzPhysicsFunction(lua_State* L) {
    try {
        return QzGuarded<F>(L);
    } catch (const b2Exception& failure) {
        failure.Report();
        return 0;
    }
}

// Makes a userdata of type T with the metatable, constructed from the arguments.
template <class T, class... Args>
T* QzNewObject(lua_State* L, const char* metatable, Args&&... args) {
    void* memory = lua_newuserdata(L, sizeof(T));
    T* object = new (memory) T{std::forward<Args>(args)...};
    luaL_getmetatable(L, metatable);
    lua_setmetatable(L, -2);
    return object;
}

// True when the value at index is a userdata with the named metatable.
bool QzIsObject(lua_State* L, int index, const char* metatable);

// Checkers: the object at index, alive, or a Lua error saying what is wrong.
QzWorldObject* QzCheckWorldObject(lua_State* L, int index);
b2World* QzCheckWorld(lua_State* L, int index);
b2BodyDef* QzCheckBodyDef(lua_State* L, int index);
b2Body* QzCheckBody(lua_State* L, int index);
b2FixtureDef* QzCheckFixtureDef(lua_State* L, int index);
b2Fixture* QzCheckFixture(lua_State* L, int index);
QzPolygonShape* QzCheckPolygonShape(lua_State* L, int index);
b2CircleShape* QzCheckCircleShape(lua_State* L, int index);
b2Joint* QzCheckJoint(lua_State* L, int index);

// Bodies and fixtures cannot be created, destroyed or moved, nor the world stepped, during a
// step or inside a collision callback. Called before Box2D is touched: when the world is
// locked it throws the b2Exception Box2D's own lock assertion would raise, so the function
// reports it and returns no value, as for any Box2D assertion, and the script (a collision
// callback, typically) goes on running.
void QzCheckUnlocked(const b2World* world);

// Argument readers. Numbers must be finite; integers are truncated and must fit 32 bits.
float QzCheckFinite(lua_State* L, int index);
float QzCheckNonNegative(lua_State* L, int index);
int32_t QzCheckInt32(lua_State* L, int index);
bool QzCheckFlag(lua_State* L, int index);
// Two finite numbers at index and index + 1, multiplied by scale.
b2Vec2 QzCheckVector(lua_State* L, int index, float scale);
// Pushes the vector's two components multiplied by scale; returns 2, the count of results.
int QzPushVector(lua_State* L, const b2Vec2& vector, float scale);

// Frees a body's record at construction but keeps the body's script objects alive until the
// scope ends, when Box2D has destroyed the body: the ended-contact callbacks that DestroyBody
// makes can still use the dying body (its actorID is then -1). Its world is locked meanwhile.
class QzDyingBodyScope {
public:
    explicit QzDyingBodyScope(b2Body* body);
    ~QzDyingBodyScope();
    QzDyingBodyScope(const QzDyingBodyScope&) = delete;
    QzDyingBodyScope& operator=(const QzDyingBodyScope&) = delete;

    // The liveness of a body being destroyed by an enclosing scope, or null.
    static std::shared_ptr<QzLiveCell<b2Body>> livenessOf(const b2Body* body);

private:
    const b2Body* body_;                           // borrowed
    std::shared_ptr<QzLiveCell<b2Body>> liveness_;  // shared with the body's script objects
    const QzDyingBodyScope* outer_;                // borrowed; the scope this one is nested in
};

// Box2D 2.4 leaves a dynamic body whose fixtures have no density at mass 0: it then ignores
// gravity and no contact can move it. The game's bodies get mass 1 instead, as in Box2D 2.1.
// Call after every change that can recompute a body's mass; the world must be unlocked.
void QzKeepDynamicMassPositive(b2Body* body);

// The contact listener the binding installed on a world.
qzContactListener* QzListenerOf(b2World* world);

// Remembers the world object so that QzPushWorldObject can find it from a body (held weakly:
// it does not keep the world alive).
void QzRememberWorldObject(lua_State* L, b2World* world, int index);
// Pushes the world's script object, or nil once it has been collected.
void QzPushWorldObject(lua_State* L, b2World* world);

#endif
