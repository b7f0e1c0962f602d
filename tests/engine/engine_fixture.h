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

    // Runs Lua code in the state and returns the value of its `return` as a string.
    std::string eval(const std::string& code) {
        lua_State* L = state->L;
        const int top = lua_gettop(L);
        if (luaL_dostring(L, code.c_str()) != 0) {
            std::string message = lua_tostring(L, -1);
            lua_settop(L, top);
            ADD_FAILURE() << "eval failed: " << message;
            return "<error>";
        }
        const char* text = lua_gettop(L) > top ? lua_tostring(L, top + 1) : nullptr;
        std::string result = text ? text : (lua_gettop(L) > top ? luaL_typename(L, top + 1) : "<nothing>");
        lua_settop(L, top);
        return result;
    }

    int stackSize() const { return lua_gettop(state->L); }

    QzState* state = nullptr;
};

#endif
