// Script functions of the classes PolygonShape and CircleShape.
#include <algorithm>
#include <cstdio>

#include "QzPhysicsBinding.h"
#include "QzPolygonShape.h"

namespace {

constexpr float kMinimumHalfExtent = 0.01f;

int polygonNew(lua_State* L) {
    auto* object = QzNewObject<QzPolygonShapeObject>(L, kQzPolygonShapeMT, nullptr);
    object->shape = new QzPolygonShape();
    return 1;
}

int polygonGC(lua_State* L) {
    auto* object = static_cast<QzPolygonShapeObject*>(luaL_checkudata(L, 1, kQzPolygonShapeMT));
    delete object->shape;
    object->shape = nullptr;
    return 0;
}

int polygonSetAsBox(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzPolygonShape* shape = QzCheckPolygonShape(L, arg[1]);
    const b2Vec2 size = QzCheckVector(L, arg[2], kQzToMetres);
    shape->setAsBox(std::max(size.x, kMinimumHalfExtent), std::max(size.y, kMinimumHalfExtent));
    return 0;
}

int polygonAddVertex(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    QzPolygonShape* shape = QzCheckPolygonShape(L, arg[1]);
    const b2Vec2 vertex = QzCheckVector(L, arg[2], kQzToMetres);
    // Scripts may add more vertices than Box2D takes; the extra ones are ignored.
    if (!shape->addVertex(vertex) && shape->firstIgnoredVertex()) {
        std::printf("physics: PolygonShape %p holds %d vertices already: vertex (%g, %g) and any later ones are "
                    "ignored\n", lua_topointer(L, arg[1]), static_cast<int>(b2_maxPolygonVertices),
                    lua_tonumber(L, arg[2]), lua_tonumber(L, arg[2] + 1));
    }
    return 0;
}

int circleNew(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    const float radius = QzCheckFinite(L, arg[1]) * kQzToMetres;
    if (!(radius > 0.0f)) luaL_argerror(L, arg[1], "a circle's radius must be greater than 0");
    auto* object = QzNewObject<QzCircleShapeObject>(L, kQzCircleShapeMT, nullptr);
    object->shape = new b2CircleShape();
    object->shape->m_radius = radius;
    return 1;
}

// The circle's centre relative to its body's origin, for bodies made of several shapes.
int circleSetPosition(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    b2CircleShape* shape = QzCheckCircleShape(L, arg[1]);
    shape->m_p = QzCheckVector(L, arg[2], kQzToMetres);
    return 0;
}

int circleGC(lua_State* L) {
    auto* object = static_cast<QzCircleShapeObject*>(luaL_checkudata(L, 1, kQzCircleShapeMT));
    delete object->shape;
    object->shape = nullptr;
    return 0;
}

const luaL_Reg kPolygonShapeFunctions[] = {
    {"new", QzPhysicsFunction<polygonNew>},
    {"setAsBox", QzPhysicsFunction<polygonSetAsBox>},
    {"addVertex", QzPhysicsFunction<polygonAddVertex>},
    {nullptr, nullptr},
};

const luaL_Reg kCircleShapeFunctions[] = {
    {"new", QzPhysicsFunction<circleNew>},
    {"setPosition", QzPhysicsFunction<circleSetPosition>},
    {nullptr, nullptr},
};

}  // namespace

const QzPhysicsClass kQzPolygonShapeClass = {"PolygonShape", kQzPolygonShapeMT, kPolygonShapeFunctions,
                                             QzPhysicsFunction<polygonGC>};
const QzPhysicsClass kQzCircleShapeClass = {"CircleShape", kQzCircleShapeMT, kCircleShapeFunctions,
                                            QzPhysicsFunction<circleGC>};
