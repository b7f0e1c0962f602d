// Script functions of World that ask where fixtures are: rayCast, queryBox and queryCircle.
#include <algorithm>
#include <vector>

#include "QzPhysicsBinding.h"
#include "QzPhysicsCallbacks.h"
#include "QzWorldQueries.h"

namespace {

// Smaller boxes and circles become this size (metres), so that a point query still has an
// area for Box2D's overlap test to work with.
constexpr float kMinimumExtent = 0.001f;

void setNumber(lua_State* L, const char* field, float value) {
    lua_pushnumber(L, value);
    lua_setfield(L, -2, field);
}

// world:rayCast(x1, y1, x2, y2): a list of hits, nearest first, each a table with fixture,
// x, y (where the ray entered), normalX, normalY (the surface's outward normal) and fraction
// (0 at the start, 1 at the end of the ray).
int worldRayCast(lua_State* L) {
    const QzArgsFromTop arg(L, 5);
    const b2World* world = QzCheckWorld(L, arg[1]);
    const b2Vec2 from = QzCheckVector(L, arg[2], kQzToMetres);
    const b2Vec2 to = QzCheckVector(L, arg[4], kQzToMetres);
    const std::vector<QzRayHit> hits = QzRayCast(world, from, to);
    lua_createtable(L, static_cast<int>(hits.size()), 0);
    for (size_t index = 0; index < hits.size(); ++index) {
        const QzRayHit& hit = hits[index];
        lua_createtable(L, 0, 6);
        pushFixture(L, hit.fixture);
        lua_setfield(L, -2, "fixture");
        setNumber(L, "x", hit.point.x * kQzToScreen);
        setNumber(L, "y", hit.point.y * kQzToScreen);
        setNumber(L, "normalX", hit.normal.x);
        setNumber(L, "normalY", hit.normal.y);
        setNumber(L, "fraction", hit.fraction);
        lua_rawseti(L, -2, static_cast<int>(index + 1));
    }
    return 1;
}

int pushFixtures(lua_State* L, const std::vector<b2Fixture*>& fixtures) {
    lua_createtable(L, static_cast<int>(fixtures.size()), 0);
    for (size_t index = 0; index < fixtures.size(); ++index) {
        pushFixture(L, fixtures[index]);
        lua_rawseti(L, -2, static_cast<int>(index + 1));
    }
    return 1;
}

// world:queryBox(x1, y1, x2, y2): the fixtures overlapping the rectangle with those corners.
int worldQueryBox(lua_State* L) {
    const QzArgsFromTop arg(L, 5);
    const b2World* world = QzCheckWorld(L, arg[1]);
    const b2Vec2 corner1 = QzCheckVector(L, arg[2], kQzToMetres);
    const b2Vec2 corner2 = QzCheckVector(L, arg[4], kQzToMetres);
    const b2Vec2 half(std::max(std::abs(corner2.x - corner1.x) / 2, kMinimumExtent),
                      std::max(std::abs(corner2.y - corner1.y) / 2, kMinimumExtent));
    b2PolygonShape box;
    box.SetAsBox(half.x, half.y);
    const b2Transform at(0.5f * (corner1 + corner2), b2Rot(0.0f));
    return pushFixtures(L, QzFixturesOverlapping(world, box, at));
}

// world:queryCircle(x, y, radius): the fixtures overlapping the circle.
int worldQueryCircle(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    const b2World* world = QzCheckWorld(L, arg[1]);
    const b2Vec2 centre = QzCheckVector(L, arg[2], kQzToMetres);
    b2CircleShape circle;
    circle.m_radius = std::max(QzCheckNonNegative(L, arg[4]) * kQzToMetres, kMinimumExtent);
    return pushFixtures(L, QzFixturesOverlapping(world, circle, b2Transform(centre, b2Rot(0.0f))));
}

}  // namespace

const luaL_Reg kQzWorldQueryFunctions[] = {
    {"rayCast", QzPhysicsFunction<worldRayCast>},
    {"queryBox", QzPhysicsFunction<worldQueryBox>},
    {"queryCircle", QzPhysicsFunction<worldQueryCircle>},
    {nullptr, nullptr},
};
