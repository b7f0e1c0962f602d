// Tests of the guard that turns C++ exceptions in script-facing functions into Lua errors.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>
#include <lualib.h>

#include "QzLuaGuard.h"

namespace {

int destructorsRun = 0;
struct Witness {
    ~Witness() { ++destructorsRun; }
};

int throwsStdException(lua_State*) {
    Witness witness;
    throw std::runtime_error("native failure");
}

int raisesLuaError(lua_State* L) {
    Witness witness;
    return luaL_error(L, "script misuse %d", 7);
}

int returnsNormally(lua_State* L) {
    lua_pushinteger(L, 42);
    return 1;
}

std::string callProtected(lua_State* L, lua_CFunction function) {
    lua_pushcfunction(L, function);
    if (lua_pcall(L, 0, 1, 0) == 0) {
        std::string result = lua_tostring(L, -1);
        lua_pop(L, 1);
        return "ok " + result;
    }
    std::string message = lua_tostring(L, -1);
    lua_pop(L, 1);
    return "error " + message;
}

TEST(LuaGuard, ExceptionsBecomeLuaErrorsAndLuaErrorsPassThrough) {
    lua_State* L = luaL_newstate();
    destructorsRun = 0;
    EXPECT_EQ(callProtected(L, QzGuarded<throwsStdException>), "error native failure");
    EXPECT_EQ(callProtected(L, QzGuarded<raisesLuaError>), "error script misuse 7");
    EXPECT_EQ(callProtected(L, QzGuarded<returnsNormally>), "ok 42");
    EXPECT_EQ(destructorsRun, 2) << "unwinding runs destructors in both cases";
    EXPECT_EQ(lua_gettop(L), 0);
    lua_close(L);
}

}  // namespace
