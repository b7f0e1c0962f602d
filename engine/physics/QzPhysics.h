// The opener of the `physics` script library.
#ifndef QZ_PHYSICS_H
#define QZ_PHYSICS_H

#include <lua.h>

// Registers the global table "physics" with the classes World, BodyDefinition, Body,
// FixtureDefinition, Fixture, PolygonShape, CircleShape and Joint. Returns 1.
int luaopen_physics(lua_State* L);

#endif
