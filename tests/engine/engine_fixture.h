// A fixture that makes an engine state from an engine script given as text, and reads it back.
#ifndef QZ_TESTS_ENGINE_FIXTURE_H
#define QZ_TESTS_ENGINE_FIXTURE_H

#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "QzEngine.h"

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override { destroy(); }

    // Creates the state and runs the script through Qz_InitFromBuffer; returns its status.
    int start(const std::string& script, const char* savePath = nullptr, int allocatorChoice = 0) {
        state = Qz_NewState(allocatorChoice);
        return Qz_InitFromBuffer(state, script.data(), script.size(), savePath);
    }

    void destroy() {
        Qz_DestroyState(state);
        state = nullptr;
    }

    // Runs Lua code in the state; returns the text of its first result ("nil" and so on for
    // other types), or "<error>" with a test failure when it raises.
    std::string eval(const std::string& code) {
        lua_State* L = state->L;
        const int top = lua_gettop(L);
        const bool failed = luaL_dostring(L, code.c_str()) != 0;
        if (failed) ADD_FAILURE() << "eval failed: " << lua_tostring(L, -1);
        const char* text = lua_gettop(L) > top ? lua_tostring(L, top + 1) : nullptr;
        std::string result = failed                 ? "<error>"
                             : text                 ? text
                             : lua_gettop(L) > top ? luaL_typename(L, top + 1)
                                                    : "<nothing>";
        lua_settop(L, top);
        return result;
    }

    int stackSize() const { return lua_gettop(state->L); }

    QzState* state = nullptr;
};

#endif
