// Tests of the engine state: start-up with good and bad engine scripts, the store, callbacks, shutdown.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "QzAllocator.h"
#include "QzDatabase.h"
#include "engine_fixture.h"
#include "test_files.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class EngineStartTest : public EngineTest {
protected:
    // Compiles Lua source with our luac into a precompiled chunk and returns its bytes.
    std::string precompile(const std::string& source) {
        writeFile(folder.file("engine.lua"), source);
        const std::string command =
            std::string(QZ_LUAC) + " -o " + folder.file("engine.luo") + " " + folder.file("engine.lua");
        EXPECT_EQ(std::system(command.c_str()), 0);
        return readFile(folder.file("engine.luo"));
    }

    // Runs Qz_Init on a file holding the bytes, or Qz_InitFromBuffer when `fromBuffer`; returns
    // its status and keeps what went to standard error in `errors`.
    int startCapturing(const std::string& bytes, bool fromBuffer = false) {
        writeFile(folder.file("engine64.luo"), bytes);
        CaptureStderr();
        int status = 0;
        if (fromBuffer) {
            status = start(bytes);
        } else {
            state = Qz_NewState(0);
            status = Qz_Init(state, folder.file(bytes == "<missing>" ? "absent" : "engine64.luo").c_str(), nullptr);
        }
        errors = GetCapturedStderr();
        return status;
    }

    ScratchFolder folder;
    std::string errors;
};

TEST_F(EngineStartTest, SourceAndChunksFromOurCompilerRunAndInitEngineIsCalled) {
    EXPECT_EQ(startCapturing("function initEngine() started = _debuglevel end", true), 0);
    EXPECT_EQ(eval("return started"), "1");
    EXPECT_EQ(stackSize(), 0);
    destroy();
    EXPECT_EQ(startCapturing(precompile("function initEngine() started = 0.1 + 0.2 end")), 0);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(eval("return started"), "0.3");
}

// Each of these engine scripts fails to load or run: one report line (none for an empty
// chunk, which loads and runs), the stack is empty before initEngine is fetched, and
// initEngine's own failure stays on the stack.
TEST_F(EngineStartTest, BadEngineScriptsAreReportedInOneLineAndStartUpGoesOn) {
    const std::string good = precompile("function initEngine() end");
    std::string wrongNumberType = good;
    wrongNumberType[10] = 8;  // the header's size of a number: a double-number compiler's chunk
    const struct {
        std::string bytes;
        const char* expected;
        bool fromBuffer = false;
    } cases[] = {
        {"@@ this is not Lua @@", "unexpected symbol"},
        {std::string("\x01\xff\xfe\x00\x10garbage", 12), "engine64.luo"},
        {good.substr(0, good.size() / 2), "precompiled chunk"},
        {good.substr(0, 12), "precompiled chunk"},
        {wrongNumberType, "bad header in precompiled chunk"},
        {"error('engine broke')", "engine broke"},
        {"", ""},
        {"<missing>", "cannot open"},
        {"error('here')", "[string \"engine.luo\"]:1: here", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_NE(startCapturing(c.bytes, c.fromBuffer), 0);
        const int reported = c.expected[0] != 0;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), reported) << errors;
        EXPECT_EQ(state->errorsReported, reported);
        EXPECT_EQ(errors.rfind(reported ? "(Qz_Report_Error) Lua Error: " : "", 0), 0u) << errors;
        EXPECT_NE(errors.find(c.expected), std::string::npos) << errors;
        ASSERT_EQ(stackSize(), 1) << "only initEngine's error is left";
        EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("attempt to call a nil value"), std::string::npos);
        lua_settop(state->L, 0);
        EXPECT_EQ(eval("return 1 + 1"), "2") << "the interpreter stays usable";
        destroy();
    }
}

// An error in initEngine is returned on the stack, not reported; reporting a value without
// text prints nothing but empties the stack.
TEST_F(EngineStartTest, AnErrorInInitEngineIsReturnedNotReported) {
    EXPECT_NE(startCapturing("function initEngine() error('init failed') end", true), 0);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(stackSize(), 1);
    EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("init failed"), std::string::npos);
    lua_newtable(state->L);
    CaptureStderr();
    Qz_Report_Error(state);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(stackSize(), 0);
}

// A script whose global table raises on names it lacks, and which defines neither
// initEngine nor shutdownEngine: start-up returns the failure and shutdown completes.
TEST_F(EngineStartTest, AStrictGlobalTableWithoutTheEntryPointsFailsTheCallsNotTheHost) {
    int status = 0;
    EXPECT_NO_THROW(status = start("setmetatable(_G, {__index = function(_, k) error('undeclared ' .. k, 2) end})"));
    EXPECT_NE(status, 0);
    ASSERT_EQ(stackSize(), 1);
    EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("undeclared initEngine"), std::string::npos);
    EXPECT_NO_THROW(destroy());
}

// Every state opens the standard libraries and the extensions (the database only with a save
// path), always creates the pool allocator, and runs on it for choice 1 only.
TEST_F(EngineStartTest, TheStateOpensItsLibrariesOnTheChosenAllocator) {
    for (int choice : {0, 1, 2, -1}) {
        start("function initEngine() end", nullptr, choice);
        EXPECT_EQ(eval("return type(package) .. type(os) .. type(debug) .. type(table) .. type(io) .. "
                       "type(string) .. type(math) .. type(print) .. type(createTable) .. type(callbacks) .. "
                       "type(database)"),
                  "tabletabletabletabletabletabletablefunctionfunctiontablenil");
        void* userData = nullptr;
        EXPECT_EQ(lua_getallocf(state->L, &userData) == Qz_PoolLuaAlloc, choice == 1) << "choice " << choice;
        EXPECT_NE(state->allocator, nullptr);
        const int64_t before = Qz_TotalBytesUsed(state);
        eval("keep = {} for i = 1, 10000 do keep[i] = {i} end");
        EXPECT_EQ(before % 1024 + Qz_TotalBytesUsed(state) % 1024, 0);
        EXPECT_GT(Qz_TotalBytesUsed(state), before + 100 * 1024);
        destroy();
    }
}

// The store file is the save path followed directly by "persistent.save"; a path too long
// for the store's 1024 bytes is refused with a message, one that just fits is kept whole.
TEST_F(EngineStartTest, TheStoreLivesBesideTheSavePathPrefix) {
    std::string savePath = folder.prefix();
    while (savePath.size() + 15 < 1024) savePath += "a/";
    savePath.resize(1024 - 15);  // one byte too many for the terminator
    state = Qz_NewState(0);
    CaptureStderr();
    Qz_Init(state, folder.file("absent").c_str(), savePath.c_str());
    EXPECT_NE(GetCapturedStderr().find("save path is too long"), std::string::npos);
    EXPECT_EQ(state->store, nullptr);
    EXPECT_EQ(eval("return database"), "nil");
    destroy();

    const std::string fits = savePath.substr(0, savePath.size() - 1);
    start("function initEngine() end", fits.c_str());
    EXPECT_NE(state->store, nullptr);
    EXPECT_EQ(eval("return database.getTablesDirectoryPath()"), fits);
    destroy();

    start("function initEngine() database.storeValueForKey('5', 'score') end", folder.file("save.data").c_str());
    EXPECT_EQ(eval("return database.loadValueForKey('score')"), "5");
    EXPECT_TRUE(std::filesystem::exists(folder.file("save.datapersistent.save")));
}

// shutdownEngine runs after the store was closed: the database functions answer nil and
// store nothing instead of touching the released store.
TEST_F(EngineStartTest, TheDatabaseIsClosedWhileShutdownEngineRuns) {
    start(R"(
        function initEngine() database.storeValueForKey('kept', 'early') end
        function shutdownEngine()
          database.storeValueForKey('lost', 'late')
          if database.loadValueForKey('early') == nil and database.getTablesDirectoryPath() == nil then
            callbacks.gameDidEnd()
          end
        end)",
          folder.prefix().c_str());
    int didEnd = 0;
    state->callbackContext = &didEnd;
    state->gameDidEnd = [](void* context) { ++*static_cast<int*>(context); };
    destroy();
    EXPECT_EQ(didEnd, 1);
    QzDatabase* store = QzDatabaseOpen(folder.file("persistent.save").c_str());
    std::string value;
    EXPECT_TRUE(QzDatabaseLoadValue(store, "early", &value));
    EXPECT_FALSE(QzDatabaseLoadValue(store, "late", &value));
    QzDatabaseClose(store);
}

// Unset callbacks return no values; set ones reach the host, the external function with the
// script's arguments and returning its results.
TEST_F(EngineStartTest, CallbacksReachTheHostOrDoNothingWhenUnset) {
    start("function initEngine() end");
    EXPECT_EQ(eval("return select('#', callbacks.loadingWillStart(), callbacks.loadingWillEnd(), "
                   "callbacks.gameDidEnd(), callbacks.callExternalFunction('x'))"),
              "3") << "the three nils come from truncation";
    int calls[4] = {};
    state->callbackContext = state->externalFunctionContext = calls;
    state->loadingWillStart = [](void* c) { ++static_cast<int*>(c)[0]; };
    state->loadingWillEnd = [](void* c) { ++static_cast<int*>(c)[1]; };
    state->gameDidEnd = [](void* c) { ++static_cast<int*>(c)[2]; };
    state->callExternalFunction = [](void* c, lua_State* L) -> int32_t {
        ++static_cast<int*>(c)[3];
        lua_pushfstring(L, "%s:%d", luaL_optstring(L, 1, ""), lua_gettop(L));
        return 1;
    };
    eval("callbacks.loadingWillStart() callbacks.loadingWillEnd() callbacks.loadingWillEnd() callbacks.gameDidEnd()");
    EXPECT_EQ(eval("return callbacks.callExternalFunction('openURL', 'x')"), "openURL:2");
    EXPECT_EQ(std::to_string(calls[0]) + std::to_string(calls[1]) + std::to_string(calls[2]) + std::to_string(calls[3]),
              "1211");
}

}  // namespace
