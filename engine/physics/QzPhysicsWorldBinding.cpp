// Script functions of the classes World and BodyDefinition.
#include <memory>

#include "QzContactFilter.h"
#include "QzContactListener.h"
#include "QzDestructionListener.h"
#include "QzPhysicsBinding.h"
#include "QzPhysicsCallbacks.h"
#include "QzWorldLock.h"

namespace {

// Stateless, so one instance serves every world.
qzDestructionListener destructionListener;

// Box2D carries contact impulses from one step to the next scaled by the ratio of the two
// time steps. Positive steps within these bounds keep that ratio (and 1 / step) finite and
// non-zero; outside them the impulses become NaN and Box2D's solver fails halfway through a
// step in a way that aborts the process. Steps of 0 or less only update contacts.
constexpr float kMinimumTimeStep = 1.0e-9f;
constexpr float kMaximumTimeStep = 1.0e9f;

int worldNew(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    const b2Vec2 gravity = QzCheckVector(L, arg[1], kQzToMetres);
    // The sleep flag is any value, read as a condition (absent means false).
    const bool allowSleep = lua_toboolean(L, arg[3]) != 0;
    auto* object = QzNewObject<QzWorldObject>(L, kQzWorldMT, nullptr, nullptr, nullptr);
    object->listener = new qzContactListener(L);
    object->filter = new qzContactFilter();
    object->world = new b2World(gravity);
    object->world->SetAllowSleeping(allowSleep);
    object->world->SetContactListener(object->listener);
    object->world->SetContactFilter(object->filter);
    object->world->SetDestructionListener(&destructionListener);
    QzRememberWorldObject(L, object->world, -1);
    return 1;
}

// Frees every body and fixture record (which marks their script objects destroyed), then the
// world, its listener and its filter. Refused while the world is stepping: only a script
// calling the finaliser by hand can get here then.
int worldGC(lua_State* L) {
    QzWorldObject* object = QzCheckWorldObject(L, 1);
    if (object->world) {
        QzCheckUnlocked(object->world);
        QzFreeWorldRecords(object->world);
        delete object->world;
        object->world = nullptr;
    }
    delete object->listener;
    object->listener = nullptr;
    delete object->filter;
    object->filter = nullptr;
    return 0;
}

// The body gets its own copy of the definition's record, so that a definition used for
// several bodies never makes them share (and doubly free) one record.
int worldCreateBody(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    b2World* world = QzCheckWorld(L, arg[1]);
    const b2BodyDef* definition = QzCheckBodyDef(L, arg[2]);
    QzCheckUnlocked(world);
    b2BodyDef copy = *definition;
    auto record = std::make_unique<qzActorUserData>(*QzActorRecord(definition));
    copy.userData.pointer = reinterpret_cast<uintptr_t>(record.get());
    b2Body* body = world->CreateBody(&copy);
    record.release()->attachTo(body);
    QzKeepDynamicMassPositive(body);
    pushBody(L, body);
    return 1;
}

int worldDestroyBody(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    b2World* world = QzCheckWorld(L, arg[1]);
    b2Body* body = QzCheckBody(L, arg[2]);
    QzCheckUnlocked(world);
    if (body->GetWorld() != world) luaL_argerror(L, arg[2], "the body belongs to another world");
    QzScriptStateScope scriptState(QzListenerOf(world), L);
    QzDyingBodyScope dying(body);
    world->DestroyBody(body);
    return 0;
}

int worldStep(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    b2World* world = QzCheckWorld(L, arg[1]);
    const float timeStep = QzCheckFinite(L, arg[2]);
    if (timeStep > 0.0f && (timeStep < kMinimumTimeStep || timeStep > kMaximumTimeStep)) {
        luaL_argerror(L, arg[2], "a positive time step must lie between 1e-9 and 1e9 seconds");
    }
    const int32_t velocityIterations = QzCheckInt32(L, arg[3]);
    const int32_t positionIterations = QzCheckInt32(L, arg[4]);
    QzCheckUnlocked(world);
    QzScriptStateScope scriptState(QzListenerOf(world), L);
    QzWorldUnlockOnExit unlock(world);
    world->Step(timeStep, velocityIterations, positionIterations);
    return 0;
}

int worldSetGravity(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    b2World* world = QzCheckWorld(L, arg[1]);
    world->SetGravity(QzCheckVector(L, arg[2], kQzToMetres));
    return 0;
}

int bodyDefNew(lua_State* L) {
    auto* object = QzNewObject<QzBodyDefObject>(L, kQzBodyDefMT, nullptr);
    auto definition = std::make_unique<b2BodyDef>();
    definition->userData.pointer = reinterpret_cast<uintptr_t>(new qzActorUserData());
    object->definition = definition.release();
    return 1;
}

int bodyDefGC(lua_State* L) {
    auto* object = static_cast<QzBodyDefObject*>(luaL_checkudata(L, 1, kQzBodyDefMT));
    if (object->definition) {
        delete QzActorRecord(object->definition);
        delete object->definition;
        object->definition = nullptr;
    }
    return 0;
}

int bodyDefSetType(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    b2BodyDef* definition = QzCheckBodyDef(L, arg[1]);
    const float type = static_cast<float>(luaL_checknumber(L, arg[2]));
    if (type == 0.0f) definition->type = b2_staticBody;
    if (type == 1.0f) definition->type = b2_kinematicBody;
    if (type == 2.0f) definition->type = b2_dynamicBody;
    return 0;
}

int bodyDefSetPosition(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzCheckBodyDef(L, arg[1])->position = QzCheckVector(L, arg[2], kQzToMetres);
    return 0;
}

int bodyDefSetAngle(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckBodyDef(L, arg[1])->angle = QzCheckFinite(L, arg[2]);
    return 0;
}

int bodyDefSetFixedRotation(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckBodyDef(L, arg[1])->fixedRotation = QzCheckFlag(L, arg[2]);
    return 0;
}

int bodyDefSetActorID(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzActorRecord(QzCheckBodyDef(L, arg[1]))->actorID = QzCheckInt32(L, arg[2]);
    return 0;
}

int bodyDefAddCollisionCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzActorRecord(QzCheckBodyDef(L, arg[1]))->addCollisionCategory(QzCheckInt32(L, arg[2]));
    return 0;
}

const luaL_Reg kWorldFunctions[] = {
    {"new", QzPhysicsFunction<worldNew>},
    {"createBody", QzPhysicsFunction<worldCreateBody>},
    {"destroyBody", QzPhysicsFunction<worldDestroyBody>},
    {"step", QzPhysicsFunction<worldStep>},
    {"setGravity", QzPhysicsFunction<worldSetGravity>},
    {nullptr, nullptr},
};

const luaL_Reg kBodyDefinitionFunctions[] = {
    {"new", QzPhysicsFunction<bodyDefNew>},
    {"setType", QzPhysicsFunction<bodyDefSetType>},
    {"setPosition", QzPhysicsFunction<bodyDefSetPosition>},
    {"setAngle", QzPhysicsFunction<bodyDefSetAngle>},
    {"setFixedRotation", QzPhysicsFunction<bodyDefSetFixedRotation>},
    {"setActorID", QzPhysicsFunction<bodyDefSetActorID>},
    {"addCollisionCategory", QzPhysicsFunction<bodyDefAddCollisionCategory>},
    {nullptr, nullptr},
};

}  // namespace

const QzPhysicsClass kQzWorldClass = {"World", kQzWorldMT, kWorldFunctions, QzPhysicsFunction<worldGC>};
const QzPhysicsClass kQzBodyDefinitionClass = {"BodyDefinition", kQzBodyDefMT, kBodyDefinitionFunctions,
                                               QzPhysicsFunction<bodyDefGC>};
