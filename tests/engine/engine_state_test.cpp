// Tests of the engine state: start-up with good and bad engine scripts, the store, callbacks, shutdown.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "QzAllocator.h"
#include "QzDatabase.h"
#include "engine_fixture.h"
#include "test_files.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

constexpr const char* kReportPrefix = "(Qz_Report_Error) Lua Error: ";

int countLines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

// Compiles Lua source with our luac into a precompiled chunk and returns its bytes.
std::string precompile(const ScratchFolder& folder, const std::string& source) {
    const std::string in = folder.file("engine.lua"), out = folder.file("engine.luo");
    writeFile(in, source);
    const std::string command = std::string(QZ_LUAC) + " -o " + out + " " + in;
    EXPECT_EQ(std::system(command.c_str()), 0);
    return readFile(out);
}

class EngineStartTest : public EngineTest {
protected:
    // Runs Qz_Init on a file holding the given bytes; returns its status and what went to stderr.
    int startFromFile(const std::string& bytes, std::string* errors) {
        const std::string path = folder.file("engine64.luo");
        writeFile(path, bytes);
        state = Qz_NewState(0);
        CaptureStderr();
        const int status = Qz_Init(state, path.c_str(), nullptr);
        *errors = GetCapturedStderr();
        return status;
    }

    ScratchFolder folder;
};

TEST_F(EngineStartTest, AScriptThatRunsDefinesInitEngineWhichIsCalled) {
    EXPECT_EQ(start("function initEngine() started = _debuglevel end"), 0);
    EXPECT_EQ(eval("return started"), "1");
    EXPECT_EQ(stackSize(), 0);
}

TEST_F(EngineStartTest, APrecompiledChunkFromOurCompilerRuns) {
    std::string errors;
    EXPECT_EQ(startFromFile(precompile(folder, "function initEngine() started = 0.1 + 0.2 end"), &errors), 0);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(eval("return started"), "0.3");
}

// Each of these engine scripts fails to load or run: exactly one report line, the stack is
// empty before initEngine is fetched, and initEngine's own failure stays on the stack.
TEST_F(EngineStartTest, BadEngineScriptsAreReportedInOneLineAndStartUpGoesOn) {
    const std::string good = precompile(folder, "function initEngine() end");
    std::string wrongNumberType = good;
    wrongNumberType[10] = 8;  // the header's size of a number: a double-number compiler's chunk
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;
    } cases[] = {
        {"garbage text", "@@ this is not Lua @@", "unexpected symbol"},
        {"binary garbage", std::string("\x01\xff\xfe\x00\x10garbage", 12), "engine64.luo"},
        {"truncated precompiled chunk", good.substr(0, good.size() / 2), "precompiled chunk"},
        {"header only", good.substr(0, 12), "precompiled chunk"},
        {"chunk for double numbers", wrongNumberType, "bad header in precompiled chunk"},
        {"error while running", "error('engine broke')", "engine broke"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string errors;
        EXPECT_NE(startFromFile(c.bytes, &errors), 0);
        EXPECT_EQ(countLines(errors), 1) << errors;
        EXPECT_EQ(errors.rfind(kReportPrefix, 0), 0u) << errors;
        EXPECT_NE(errors.find(c.expected), std::string::npos) << errors;
        EXPECT_EQ(state->errorsReported, 1);
        ASSERT_EQ(stackSize(), 1) << "only initEngine's error is left";
        EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("attempt to call a nil value"), std::string::npos);
        lua_settop(state->L, 0);
        EXPECT_EQ(eval("return 1 + 1"), "2") << "the interpreter stays usable";
        destroy();
    }
}

TEST_F(EngineStartTest, AMissingOrEmptyScriptFile) {
    state = Qz_NewState(0);
    CaptureStderr();
    EXPECT_NE(Qz_Init(state, folder.file("absent.luo").c_str(), nullptr), 0);
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(countLines(errors), 1);
    EXPECT_NE(errors.find("cannot open"), std::string::npos) << errors;
    destroy();

    std::string emptyErrors;
    EXPECT_NE(startFromFile("", &emptyErrors), 0) << "an empty script defines no initEngine";
    EXPECT_EQ(emptyErrors, "") << "an empty chunk loads and runs without error";
}

TEST_F(EngineStartTest, AnErrorInInitEngineIsReturnedNotReported) {
    CaptureStderr();
    EXPECT_NE(start("function initEngine() error('init failed') end"), 0);
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_EQ(stackSize(), 1);
    EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("init failed"), std::string::npos);
}

// A script whose global table raises on names it lacks, and which defines neither
// initEngine nor shutdownEngine: start-up returns the failure and shutdown completes.
TEST_F(EngineStartTest, AStrictGlobalTableWithoutTheEntryPointsFailsTheCallsNotTheHost) {
    const char* strict = "setmetatable(_G, {__index = function(_, name) error('undeclared ' .. name, 2) end})";
    int status = 0;
    EXPECT_NO_THROW(status = start(strict));
    EXPECT_NE(status, 0);
    ASSERT_EQ(stackSize(), 1);
    EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("undeclared initEngine"), std::string::npos);
    EXPECT_NO_THROW(destroy());
}

TEST_F(EngineStartTest, ABufferScriptIsNamedEngineLuo) {
    CaptureStderr();
    start("error('here')");
    EXPECT_NE(GetCapturedStderr().find("[string \"engine.luo\"]:1: here"), std::string::npos);
}

TEST_F(EngineStartTest, ReportingANonStringPrintsNothingButEmptiesTheStack) {
    start("function initEngine() end");
    lua_newtable(state->L);
    lua_newtable(state->L);
    CaptureStderr();
    Qz_Report_Error(state);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(stackSize(), 0);
}

TEST_F(EngineStartTest, TheStandardLibrariesAndExtensionsAreOpen) {
    start("function initEngine() end");
    EXPECT_EQ(eval("return type(package) .. type(os) .. type(debug) .. type(table) .. type(io) .. "
                   "type(string) .. type(math) .. type(print) .. type(createTable) .. type(callbacks)"),
              "tabletabletabletabletabletabletablefunctionfunctiontable");
    EXPECT_EQ(eval("return database"), "nil") << "no save path, no database library";
    EXPECT_EQ(state->store, nullptr);
}

TEST_F(EngineStartTest, OnlyAllocatorChoiceOneSelectsThePool) {
    for (int choice : {0, 1, 2, -1}) {
        start("function initEngine() local t = {} for i = 1, 1000 do t[i] = {} end end", nullptr, choice);
        void* userData = nullptr;
        const bool pooled = lua_getallocf(state->L, &userData) == Qz_PoolLuaAlloc;
        EXPECT_EQ(pooled, choice == 1) << "choice " << choice;
        EXPECT_NE(state->allocator, nullptr) << "the allocator is always created";
        destroy();
    }
}

TEST_F(EngineStartTest, TotalBytesUsedIsAMultipleOf1024AndGrows) {
    start("function initEngine() end");
    const int64_t before = Qz_TotalBytesUsed(state);
    EXPECT_EQ(before % 1024, 0);
    eval("keep = {} for i = 1, 10000 do keep[i] = {i} end");
    const int64_t after = Qz_TotalBytesUsed(state);
    EXPECT_EQ(after % 1024, 0);
    EXPECT_GT(after, before + 100 * 1024);
}

TEST_F(EngineStartTest, TheStoreLivesBesideTheSavePathPrefix) {
    const std::string savePath = folder.file("save.data");
    start("function initEngine() database.storeValueForKey('5', 'score') end", savePath.c_str());
    EXPECT_EQ(eval("return database.getTablesDirectoryPath()"), savePath);
    EXPECT_EQ(eval("return database.loadValueForKey('score')"), "5");
    EXPECT_TRUE(std::filesystem::exists(savePath + "persistent.save"));
}

TEST_F(EngineStartTest, ASavePathTooLongForTheStoreIsRefusedWithAMessage) {
    std::string savePath = folder.prefix();
    while (savePath.size() + 15 < 1024) savePath += "a/";
    savePath.resize(1024 - 15);
    ASSERT_EQ(savePath.size() + 15, 1024u) << "one byte too many for the terminator";
    state = Qz_NewState(0);
    CaptureStderr();
    Qz_Init(state, folder.file("absent").c_str(), savePath.c_str());
    const std::string errors = GetCapturedStderr();
    EXPECT_NE(errors.find("save path is too long"), std::string::npos) << errors;
    EXPECT_EQ(state->store, nullptr);
    EXPECT_EQ(eval("return database"), "nil");
    destroy();

    const std::string fits = savePath.substr(0, savePath.size() - 1);
    start("function initEngine() database.storeValueForKey('1', 'k') end", fits.c_str());
    EXPECT_NE(state->store, nullptr) << "a path that just fits is kept whole";
    EXPECT_EQ(eval("return database.getTablesDirectoryPath()"), fits);
}

int gameDidEndCalls = 0;
void countGameDidEnd(void*) { ++gameDidEndCalls; }

// shutdownEngine runs after the store was closed: the database functions answer nil and
// store nothing instead of touching the released store.
TEST_F(EngineStartTest, TheDatabaseIsClosedWhileShutdownEngineRuns) {
    const std::string savePath = folder.prefix();
    start(R"(
        function initEngine() database.storeValueForKey('kept', 'early') end
        function shutdownEngine()
          database.storeValueForKey('lost', 'late')
          if database.loadValueForKey('early') == nil and database.getTablesDirectoryPath() == nil then
            callbacks.gameDidEnd()
          end
        end)",
          savePath.c_str());
    state->gameDidEnd = countGameDidEnd;
    gameDidEndCalls = 0;
    destroy();
    EXPECT_EQ(gameDidEndCalls, 1);
    QzDatabase* store = QzDatabaseOpen((savePath + "persistent.save").c_str());
    std::string value;
    EXPECT_TRUE(QzDatabaseLoadValue(store, "early", &value));
    EXPECT_FALSE(QzDatabaseLoadValue(store, "late", &value));
    QzDatabaseClose(store);
}

struct CallbackLog {
    int willStart = 0, willEnd = 0, didEnd = 0;
};

int32_t externalFunction(void* context, lua_State* L) {
    // Echoes its first argument in upper case and the argument count.
    *static_cast<int*>(context) += 1;
    const int count = lua_gettop(L);
    std::string text = luaL_optstring(L, 1, "");
    for (char& c : text) c = static_cast<char>(toupper(c));
    lua_pushstring(L, text.c_str());
    lua_pushinteger(L, count);
    return 2;
}

TEST_F(EngineStartTest, CallbacksReachTheHostOrDoNothingWhenUnset) {
    start("function initEngine() end");
    EXPECT_EQ(eval("return select('#', callbacks.loadingWillStart(), callbacks.loadingWillEnd(), "
                   "callbacks.gameDidEnd(), callbacks.callExternalFunction('x'))"),
              "3") << "unset callbacks return no values (the three nils come from truncation)";
    EXPECT_EQ(eval("return select('#', callbacks.callExternalFunction('x'))"), "0");

    CallbackLog log;
    int externalCalls = 0;
    state->callbackContext = &log;
    state->loadingWillStart = [](void* c) { ++static_cast<CallbackLog*>(c)->willStart; };
    state->loadingWillEnd = [](void* c) { ++static_cast<CallbackLog*>(c)->willEnd; };
    state->gameDidEnd = [](void* c) { ++static_cast<CallbackLog*>(c)->didEnd; };
    state->callExternalFunction = externalFunction;
    state->externalFunctionContext = &externalCalls;
    eval("callbacks.loadingWillStart() callbacks.loadingWillEnd() callbacks.loadingWillEnd() callbacks.gameDidEnd()");
    EXPECT_EQ(log.willStart, 1);
    EXPECT_EQ(log.willEnd, 2);
    EXPECT_EQ(log.didEnd, 1);
    EXPECT_EQ(eval("local a, b = callbacks.callExternalFunction('openURL', 'x') return a .. b"), "OPENURL2");
    EXPECT_EQ(externalCalls, 1);
}

}  // namespace
