// Globals the engine host adds to every interpreter: pre-sized tables and type codes.
#include "QzLuaAdditions.h"

#include <lauxlib.h>

#include <private/lobject.h>

namespace {

// createTable(arraySize, hashSize)
int createTable(lua_State* L) {
    const lua_Integer arraySize = luaL_checkinteger(L, 1);
    const lua_Integer hashSize = luaL_checkinteger(L, 2);
    luaL_argcheck(L, arraySize >= 0 && arraySize <= (1 << 26), 1, "size out of range");
    luaL_argcheck(L, hashSize >= 0 && hashSize <= (1 << 26), 2, "size out of range");
    lua_createtable(L, static_cast<int>(arraySize), static_cast<int>(hashSize));
    return 1;
}

// createTableT(t): a new empty table with as many array slots as t's array part and a hash
// part of t's node count. The sizes come from the table itself, not from counting entries.
int createTableT(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    const auto* table = static_cast<const Table*>(lua_topointer(L, 1));
    lua_createtable(L, table->sizearray, sizenode(table));
    return 1;
}

// typeCode(...): the type code of the last argument.
int typeCode(lua_State* L) {
    luaL_checkany(L, 1);
    lua_pushinteger(L, lua_type(L, lua_gettop(L)));
    return 1;
}

}  // namespace

int luaopen_luaExtensions(lua_State* L) {
    lua_register(L, "createTable", createTable);
    lua_register(L, "createTableT", createTableT);
    lua_register(L, "typeCode", typeCode);
    return 0;
}
