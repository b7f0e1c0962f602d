// The script library `database`: load and store saved values, and the tables directory.
#include <string>

#include <lauxlib.h>

#include "QzDatabase.h"

namespace {

// The store whose address the function's upvalue holds; null once the store was closed
// (the engine's shutdownEngine still runs after that).
QzDatabase* storeOf(lua_State* L) {
    return *static_cast<QzDatabase**>(lua_touserdata(L, lua_upvalueindex(1)));
}

// Keys and values are read with the interpreter's string conversion, so numbers are stored
// as their text; anything else (nil, booleans, tables) has no text.
bool readText(lua_State* L, int index, std::string* text) {
    size_t length = 0;
    const char* chars = lua_isstring(L, index) ? lua_tolstring(L, index, &length) : nullptr;
    if (!chars) return false;
    text->assign(chars, length);
    return true;
}

// loadValueForKey(key): the key is the last argument.
int loadValueForKey(lua_State* L) {
    QzDatabase* store = storeOf(L);
    std::string key, value;
    const bool readable = store && lua_gettop(L) > 0 && readText(L, -1, &key);
    if (!readable || !QzDatabaseLoadValue(store, key, &value)) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushlstring(L, value.data(), value.size());
    return 1;
}

// storeValueForKey(value, key): the key is the last argument, the value the one before it.
// A key without text (nil, for example) could never be found again, so it is refused.
int storeValueForKey(lua_State* L) {
    QzDatabase* store = storeOf(L);
    const int top = lua_gettop(L);
    std::string key, value;
    if (!store) return 0;
    if (top == 0 || !readText(L, top, &key)) {
        store->lastStoreSucceeded = false;
        return 0;
    }
    const bool hasValue = top >= 2 && readText(L, top - 1, &value);
    QzDatabaseStoreValue(store, key, hasValue ? &value : nullptr);
    return 0;
}

// lastStoreSucceeded(): whether the last storeValueForKey kept its value (true before any).
int lastStoreSucceeded(lua_State* L) {
    QzDatabase* store = storeOf(L);
    lua_pushboolean(L, store && store->lastStoreSucceeded);
    return 1;
}

int getTablesDirectoryPath(lua_State* L) {
    QzDatabase* store = storeOf(L);
    if (!store || !store->tablesDirectory) return 0;
    lua_pushstring(L, store->tablesDirectory);
    return 1;
}

const luaL_Reg kDatabaseFunctions[] = {
    {"loadValueForKey", loadValueForKey},
    {"storeValueForKey", storeValueForKey},
    {"lastStoreSucceeded", lastStoreSucceeded},
    {"getTablesDirectoryPath", getTablesDirectoryPath},
    {nullptr, nullptr},
};

}  // namespace

void QzDatabaseLoadLib(QzDatabase* store, lua_State* L) {
    auto* handle = static_cast<QzDatabase**>(lua_newuserdata(L, sizeof(QzDatabase*)));
    *handle = store;
    store->scriptHandle = handle;
    // Anchor the handle for the interpreter's life, so the store can always clear it, even
    // after a script dropped every function of the library.
    lua_pushvalue(L, -1);
    lua_setfield(L, LUA_REGISTRYINDEX, "Qz.databaseHandle");
    luaL_openlib(L, "database", kDatabaseFunctions, 1);
    lua_pop(L, 1);
}
