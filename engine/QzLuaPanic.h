// The exception that carries an interpreter error raised outside any protected call.
#ifndef QZ_LUA_PANIC_H
#define QZ_LUA_PANIC_H

#include <stdexcept>
#include <string>

#include <lua.h>

struct QzLuaPanicError : std::runtime_error {
    explicit QzLuaPanicError(const std::string& message) : std::runtime_error(message) {}
};

// The interpreter's panic function: empties the stack and throws QzLuaPanicError with the
// error message, instead of letting the interpreter exit the process.
int Qz_LuaPanic(lua_State* L);

#endif
