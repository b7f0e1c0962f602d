// The one guard that turns C++ exceptions escaping a script-facing function into Lua errors.
#ifndef QZ_LUA_GUARD_H
#define QZ_LUA_GUARD_H

#include <exception>
#include <new>
#include <string>

#include <lauxlib.h>
#include <lua.h>

// Wraps a lua_CFunction so that a std::exception it throws becomes a Lua error with the
// exception's text. The interpreter's own errors (raised by lua_error, which unwinds with
// a pointer, not a std::exception) pass through untouched. luaL_error is called after the
// catch block has ended, so the exception object is gone before the interpreter unwinds.
// Register functions as QzGuarded<myFunction>.
template <lua_CFunction F>
int QzGuarded(lua_State* L) {
    std::string message;
    try {
        return F(L);
    } catch (const std::bad_alloc&) {
        message = "not enough memory";
    } catch (const std::exception& e) {
        message = e.what();
    }
    return luaL_error(L, "%s", message.c_str());
}

#endif
