// Shared by the engine tests: scratch folders, small file helpers, and a fixture that makes an
// engine state from an engine script given as text.
#ifndef QZ_TESTS_TEST_FILES_H
#define QZ_TESTS_TEST_FILES_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>
#include <unistd.h>

#include "QzEngine.h"

// A fresh folder named after the running test, removed when the object goes.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("qz-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The folder as a save path prefix: ends with a separator.
    std::string prefix() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
        std::string result = failed ? "<error>" : text ? text : lua_gettop(L) > top ? luaL_typename(L, top + 1) : "<nothing>";
        lua_settop(L, top);
        return result;
    }

    int stackSize() const { return lua_gettop(state->L); }

    QzState* state = nullptr;
};

#endif
