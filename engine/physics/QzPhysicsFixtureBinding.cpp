// Script functions of the classes FixtureDefinition and Fixture.
#include <memory>

#include "QzPhysicsBinding.h"
#include "QzPhysicsCallbacks.h"

namespace {

// The record a new definition starts from: a copy of a live fixture's record when the
// (optional) argument is a Fixture, otherwise a fresh one.
std::unique_ptr<qzFixtureUserData> recordForNewDefinition(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    if (QzIsObject(L, arg[1], kQzFixtureMT)) {
        const qzFixtureUserData* source = QzFixtureRecord(QzCheckFixture(L, arg[1]));
        if (source) return std::make_unique<qzFixtureUserData>(*source);
    }
    return std::make_unique<qzFixtureUserData>();
}

// The environment table keeps the shape set on the definition alive as long as the definition.
int fixtureDefNew(lua_State* L) {
    auto record = recordForNewDefinition(L);
    auto* object = QzNewObject<QzFixtureDefObject>(L, kQzFixtureDefMT, nullptr);
    lua_newtable(L);
    lua_setfenv(L, -2);
    auto definition = std::make_unique<b2FixtureDef>();
    definition->userData.pointer = reinterpret_cast<uintptr_t>(record.release());
    object->definition = definition.release();
    return 1;
}

int fixtureDefGC(lua_State* L) {
    auto* object = static_cast<QzFixtureDefObject*>(luaL_checkudata(L, 1, kQzFixtureDefMT));
    if (object->definition) {
        delete QzFixtureRecord(object->definition);
        delete object->definition;
        object->definition = nullptr;
    }
    return 0;
}

int fixtureDefSetShape(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckFixtureDef(L, arg[1]);
    if (!QzIsObject(L, arg[2], kQzPolygonShapeMT) && !QzIsObject(L, arg[2], kQzCircleShapeMT)) {
        luaL_argerror(L, arg[2], "PolygonShape or CircleShape expected");
    }
    lua_getfenv(L, arg[1]);
    lua_pushvalue(L, arg[2]);
    lua_setfield(L, -2, "shape");
    return 0;
}

int fixtureDefSetDensity(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckFixtureDef(L, arg[1])->density = QzCheckNonNegative(L, arg[2]);
    return 0;
}

// Scaled like a length, as the game's tuning expects.
int fixtureDefSetFriction(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckFixtureDef(L, arg[1])->friction = QzCheckNonNegative(L, arg[2]) * kQzToMetres;
    return 0;
}

int fixtureDefSetRestitution(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckFixtureDef(L, arg[1])->restitution = QzCheckFinite(L, arg[2]);
    return 0;
}

int fixtureDefSetIsSensor(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzCheckFixtureDef(L, arg[1])->isSensor = QzCheckFlag(L, arg[2]);
    return 0;
}

int fixtureDefSetFixtureID(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzFixtureRecord(QzCheckFixtureDef(L, arg[1]))->fixtureID = QzCheckInt32(L, arg[2]);
    return 0;
}

int fixtureDefAddCollisionMaskCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    QzFixtureRecord(QzCheckFixtureDef(L, arg[1]))->addCollisionMaskCategory(QzCheckInt32(L, arg[2]));
    return 0;
}

int fixtureFixtureID(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushnumber(L, static_cast<lua_Number>(QzFixtureRecord(QzCheckFixture(L, arg[1]))->fixtureID));
    return 1;
}

int fixtureAddCollisionMaskCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    qzFixtureUserData* record = QzFixtureRecord(QzCheckFixture(L, arg[1]));
    record->addCollisionMaskCategory(QzCheckInt32(L, arg[2]));
    return 0;
}

int fixtureRemoveCollisionMaskCategory(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    qzFixtureUserData* record = QzFixtureRecord(QzCheckFixture(L, arg[1]));
    record->removeCollisionMaskCategory(QzCheckInt32(L, arg[2]));
    return 0;
}

int fixtureTestPoint(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    const b2Fixture* fixture = QzCheckFixture(L, arg[1]);
    lua_pushboolean(L, fixture->TestPoint(QzCheckVector(L, arg[2], kQzToMetres)));
    return 1;
}

int fixtureBody(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    pushBody(L, QzCheckFixture(L, arg[1])->GetBody());
    return 1;
}

int fixtureGC(lua_State* L) {
    static_cast<QzFixtureObject*>(luaL_checkudata(L, 1, kQzFixtureMT))->fixture.reset();
    return 0;
}

const luaL_Reg kFixtureDefinitionFunctions[] = {
    {"new", QzPhysicsFunction<fixtureDefNew>},
    {"setShape", QzPhysicsFunction<fixtureDefSetShape>},
    {"setDensity", QzPhysicsFunction<fixtureDefSetDensity>},
    {"setFriction", QzPhysicsFunction<fixtureDefSetFriction>},
    {"setRestitution", QzPhysicsFunction<fixtureDefSetRestitution>},
    {"setIsSensor", QzPhysicsFunction<fixtureDefSetIsSensor>},
    {"setFixtureID", QzPhysicsFunction<fixtureDefSetFixtureID>},
    {"addCollisionMaskCategory", QzPhysicsFunction<fixtureDefAddCollisionMaskCategory>},
    {nullptr, nullptr},
};

const luaL_Reg kFixtureFunctions[] = {
    {"fixtureID", QzPhysicsFunction<fixtureFixtureID>},
    {"addCollisionMaskCategory", QzPhysicsFunction<fixtureAddCollisionMaskCategory>},
    {"removeCollisionMaskCategory", QzPhysicsFunction<fixtureRemoveCollisionMaskCategory>},
    {"testPoint", QzPhysicsFunction<fixtureTestPoint>},
    {"body", QzPhysicsFunction<fixtureBody>},
    {nullptr, nullptr},
};

}  // namespace

const QzPhysicsClass kQzFixtureDefinitionClass = {"FixtureDefinition", kQzFixtureDefMT,
                                                  kFixtureDefinitionFunctions, QzPhysicsFunction<fixtureDefGC>};
const QzPhysicsClass kQzFixtureClass = {"Fixture", kQzFixtureMT, kFixtureFunctions, QzPhysicsFunction<fixtureGC>};
