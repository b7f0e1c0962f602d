// Globals the engine host adds to every interpreter: createTable, createTableT and typeCode.
#ifndef QZ_LUA_ADDITIONS_H
#define QZ_LUA_ADDITIONS_H

#include <lua.h>

int luaopen_luaExtensions(lua_State* L);

#endif
