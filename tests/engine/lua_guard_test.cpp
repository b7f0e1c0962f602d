// Tests of the guard that turns C++ exceptions in script-facing functions into Lua errors.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>

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

TEST(LuaGuard, ExceptionsBecomeLuaErrorsAndLuaErrorsPassThrough) {
    lua_State* L = luaL_newstate();
    const auto call = [L](lua_CFunction function) {
        lua_pushcfunction(L, function);
        const std::string outcome = lua_pcall(L, 0, 1, 0) == 0 ? "ok " : "error ";
        const std::string result = outcome + lua_tostring(L, -1);
        lua_pop(L, 1);
        return result;
    };
    EXPECT_EQ(call(QzGuarded<throwsStdException>), "error native failure");
    EXPECT_EQ(call(QzGuarded<raisesLuaError>), "error script misuse 7");
    EXPECT_EQ(call(QzGuarded<returnsNormally>), "ok 42");
    EXPECT_EQ(destructorsRun, 2) << "unwinding runs destructors in both cases";
    EXPECT_EQ(lua_gettop(L), 0);
    lua_close(L);
}

}  // namespace
