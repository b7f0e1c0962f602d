// Tests of the engine state: start-up with good and bad engine scripts, the store, callbacks,
// shutdown, and the game lifecycle, display, frame and input calls.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "QzAllocator.h"
#include "QzDatabase.h"
#include "QzEngine.h"
#include "QzLuaPanic.h"
#include "support/test_files.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// Makes an engine state from an engine script given as text, and reads it back.
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

    // Runs Lua code in the state; returns its first result as text (its type name when it
    // has none), or its error with a test failure.
    std::string eval(const std::string& code) {
        lua_State* L = state->L;
        const int top = lua_gettop(L);
        EXPECT_EQ(luaL_dostring(L, code.c_str()), 0) << lua_tostring(L, -1);
        const char* text = lua_tostring(L, top + 1);
        const std::string result = lua_gettop(L) == top ? "<nothing>" : text ? text : luaL_typename(L, top + 1);
        lua_settop(L, top);
        return result;
    }

    int stackSize() const { return lua_gettop(state->L); }

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

    QzState* state = nullptr;
    ScratchFolder folder;
    std::string errors;
};

TEST_F(EngineTest, SourceAndChunksFromOurCompilerRunAndInitEngineIsCalled) {
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
TEST_F(EngineTest, BadEngineScriptsAreReportedInOneLineAndStartUpGoesOn) {
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

// An error in initEngine is returned on the stack, not reported, also from a global table
// that raises on the names it lacks; reporting a value without text prints nothing but
// empties the stack.
TEST_F(EngineTest, AnErrorInInitEngineIsReturnedNotReported) {
    for (const char* script : {"function initEngine() error('init failed') end",
                               "setmetatable(_G, {__index = function(_, k) error('init failed ' .. k, 2) end})"}) {
        EXPECT_NE(startCapturing(script, true), 0);
        EXPECT_EQ(errors, "");
        ASSERT_EQ(stackSize(), 1);
        EXPECT_NE(std::string(lua_tostring(state->L, -1)).find("init failed"), std::string::npos);
        destroy();
    }
    start("");
    lua_newtable(state->L);
    CaptureStderr();
    Qz_Report_Error(state);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(stackSize(), 0);
}

// Every state opens the standard libraries and the extensions (the database only with a save
// path), always creates the pool allocator, and runs on it for choice 1 only.
TEST_F(EngineTest, TheStateOpensItsLibrariesOnTheChosenAllocator) {
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
TEST_F(EngineTest, TheStoreLivesBesideTheSavePathPrefix) {
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
TEST_F(EngineTest, TheDatabaseIsClosedWhileShutdownEngineRuns) {
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
// script's arguments and returning its results, the problem report with each problem the
// script or Qz_Report_Error reports.
TEST_F(EngineTest, CallbacksReachTheHostOrDoNothingWhenUnset) {
    start("function initEngine() end");
    EXPECT_EQ(eval("return select('#', callbacks.loadingWillStart(), callbacks.loadingWillEnd(), "
                   "callbacks.gameDidEnd(), callbacks.problemReported('x'), callbacks.callExternalFunction('x'))"),
              "4") << "the four nils come from truncation";
    std::string calls;
    state->callbackContext = state->externalFunctionContext = &calls;
    state->loadingWillStart = [](void* c) { *static_cast<std::string*>(c) += "start "; };
    state->loadingWillEnd = [](void* c) { *static_cast<std::string*>(c) += "end "; };
    state->gameDidEnd = [](void* c) { *static_cast<std::string*>(c) += "gameDidEnd "; };
    state->callExternalFunction = [](void* c, lua_State* L) -> int32_t {
        *static_cast<std::string*>(c) += "external";
        return lua_pushfstring(L, "%s:%d", luaL_optstring(L, 1, ""), lua_gettop(L)), 1;
    };
    state->problemReported = [](void* c, const char* message) {
        *static_cast<std::string*>(c) += std::string("problem[") + message + "] ";
    };
    eval("callbacks.loadingWillStart() callbacks.loadingWillEnd() callbacks.loadingWillEnd() callbacks.gameDidEnd()");
    eval("callbacks.problemReported('scene.xml:3: bad')");
    lua_pushstring(state->L, "main.lua:9: boom");
    Qz_Report_Error(state);
    EXPECT_EQ(eval("return callbacks.callExternalFunction('openURL', 'x')"), "openURL:2");
    EXPECT_EQ(calls, "start end end gameDidEnd problem[scene.xml:3: bad] problem[main.lua:9: boom] external");
    const std::string refused = eval("return select(2, pcall(function() callbacks.problemReported({}) end))");
    EXPECT_NE(refused.find("bad argument #1 to 'problemReported'"), std::string::npos) << refused;
}

// Every global the script lacks is a function that records its name and arguments in `log`,
// one line per call, or raises once `broken` is set.
constexpr const char* kRecordingScript = R"(
log = {}
setmetatable(_G, {__index = function(_, name) return function(...)
  if rawget(_G, 'broken') then error('broken script') end
  local parts = {name}
  for _, v in ipairs({...}) do
    parts[#parts + 1] = type(v) == 'table' and '{' .. table.concat(v, ',') .. '}' or tostring(v)
  end
  log[#log + 1] = table.concat(parts, ' ')
end end})
function sizeAndOrientationForResolution(r) return r * 2, r * 3, 1 end
function getInterfaceOrientation() return 4 end
function getVolume() return 0.25 end
devices = {setScreenSize = function(self, w, h) log[#log + 1] = 'setScreenSize ' .. w .. ' ' .. h end}
game = {resolution = 2, resolutionIndependence = 1.9,
  plugins = {physics = {enabled = {_value = true}}, sound = {enabled = {_value = false}}},
  attributes = {displaySize = {width = {_value = 1024}, height = {_value = 768.6}}},
  setNeedsToChangeScene = function(self, name, flag)
    log[#log + 1] = 'setNeedsToChangeScene ' .. tostring(self == game) .. ' ' .. name .. ' ' .. tostring(flag)
  end}
Project = {new = function(class)
  local p = {isProject = class == Project}
  function p:load(path) log[#log + 1] = 'load ' .. tostring(self.isProject) .. ' ' .. path end
  return p
end}
function initEngine() end
)";

// One native call and the line the recording script logs for it. `silent`: a failure is kept,
// not reported; `status`: the call returns one (the others return 0 here).
struct GameCall {
    const char* logged;
    bool silent, status;
    std::function<int(QzState*)> call;
};

const char* const kExternalArguments[] = {"typed text", "second"};

const GameCall kCalls[] = {
    {"play", true, false, [](QzState* s) { return Qz_Play(s), 0; }},
    {"systemInitiatedPause", true, false, [](QzState* s) { return Qz_SystemInitiatedPause(s), 0; }},
    {"behaviorInitiatedPause", true, false, [](QzState* s) { return Qz_BehaviorInitiatedPause(s), 0; }},
    {"stop", true, true, Qz_Stop},
    {"reset", true, true, Qz_Reset},
    {"update 0.5", true, true, [](QzState* s) { return Qz_Update(s, 0.5f); }},
    {"render", true, true, Qz_Render},
    {"keyDown space", true, true, [](QzState* s) { return Qz_KeyDown(s, "space"); }},
    {"keyUp a", true, true, [](QzState* s) { return Qz_KeyUp(s, "a"); }},
    {"mouseDown 1.5 2", true, true, [](QzState* s) { return Qz_MouseDown(s, 1.5f, 2); }},
    {"mouseMoved 3 4", true, true, [](QzState* s) { return Qz_MouseMoved(s, 3, 4); }},
    {"mouseUp 5 6", true, true, [](QzState* s) { return Qz_MouseUp(s, 5, 6); }},
    {"touchDown 10 20 3 1", true, true, [](QzState* s) { return Qz_TouchDown(s, 3, 1, 10, 20); }},
    {"touchMoved 11 21 3", true, true, [](QzState* s) { return Qz_TouchMoved(s, 3, 11, 21); }},
    {"touchUp 12 22 3 2", true, true, [](QzState* s) { return Qz_TouchUp(s, 3, 2, 12, 22); }},
    {"touchCancel", true, true, Qz_TouchCancel},
    {"accelerated 0.25 -1 9.5", true, true, [](QzState* s) { return Qz_Accelerated(s, 0.25f, -1, 9.5f); }},
    {"raiseExternalEvent keyboardInputEntered {typed text,second}", false, true,
     [](QzState* s) { return Qz_RaiseExternalEvent(s, "keyboardInputEntered", kExternalArguments, 2); }},
    {"raiseExternalEvent empty {}", false, true,
     [](QzState* s) { return Qz_RaiseExternalEvent(s, "empty", nullptr, 0); }},
    {"setVolume 0.75", false, true, [](QzState* s) { return Qz_SetVolume(s, 0.75f); }},
    {"deviceOrientationChanged 3 true", false, true, [](QzState* s) { return Qz_SetDeviceOrientation(s, 3, true); }},
    {"setScreenSize 800 600", false, false, [](QzState* s) { return Qz_SetScreenSize(s, 800, 600), 0; }},
    {"setNeedsToChangeScene true Level 2 false", false, false,
     [](QzState* s) { return Qz_SetShouldChangeToScene(s, "Level 2"), 0; }},
};

class GameCallsTest : public EngineTest {
protected:
    void SetUp() override { ASSERT_EQ(start(kRecordingScript), 0); }
    std::string lastCall() { return eval("return log[#log]"); }
};

TEST_F(GameCallsTest, EveryCallReachesItsScriptFunctionWithItsArgumentsInScriptOrder) {
    for (const GameCall& c : kCalls) {
        EXPECT_EQ(c.call(state), 0) << c.logged;
        EXPECT_EQ(lastCall(), c.logged);
        EXPECT_EQ(stackSize(), 0) << c.logged;
    }
    Qz_Play(nullptr);  // accepted and ignored
    Qz_SystemInitiatedPause(nullptr);
    Qz_BehaviorInitiatedPause(nullptr);
    EXPECT_EQ(Qz_LoadGame(state, "/games/Demo.gameproj"), 0);
    EXPECT_EQ(lastCall(), "load true /games/Demo.gameproj");
    EXPECT_EQ(eval("return tostring(project.isProject)"), "true");
}

// A script without a usable Project costs the load only: nothing is raised outside a
// protected call, the stack is left empty and the failure is kept as the last silent error,
// always as text that lives in the registry.
TEST_F(GameCallsTest, LoadGameWithoutAUsableProjectFailsSilently) {
    const struct {
        const char* setup;
        const char* expected;
    } cases[] = {
        {"Project = nil", "attempt to index"},
        {"Project = {new = function() return nil end}", "attempt to index"},
        {"Project = {new = function() return {} end}", "attempt to call"},
        {"Project = {new = function() return {load = function() error({}) end} end}",
         "(error object is a table value)"},
        {"Project = {new = function() return {load = function() error(42, 0) end} end}", "42"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        eval(c.setup);
        Qz_ClearLastSilentError(state);
        EXPECT_NO_THROW(EXPECT_EQ(Qz_LoadGame(state, "/games/Demo.gameproj"), 0));
        EXPECT_EQ(stackSize(), 0);
        const char* error = Qz_LastSilentError(state);
        ASSERT_NE(error, nullptr);
        EXPECT_NE(std::string(error).find(c.expected), std::string::npos) << error;
        EXPECT_EQ(state->errorsReported, 0);
        lua_getfield(state->L, LUA_REGISTRYINDEX, "Qz.lastSilentError");
        EXPECT_EQ(lua_type(state->L, -1), LUA_TSTRING) << "the returned text lives in the registry";
        lua_pop(state->L, 1);
    }
}

// Script numbers beyond 32 bits saturate and NaN reads as 0 instead of an undefined cast.
TEST_F(GameCallsTest, DisplayReadsConvertTheirResultsToSaturatedIntegers) {
    const auto reads = [this] {
        int32_t v[5] = {};
        Qz_SizeForResolution(state, 5, &v[0], &v[1], &v[2]);
        Qz_GetIntendedDisplaySize(state, &v[3], &v[4]);
        std::string text = std::to_string(Qz_GetTargetDisplayResolution(state)) + " " +
                           std::to_string(Qz_GetResolutionIndependence(state)) + " " +
                           std::to_string(Qz_GetInterfaceOrientation(state));
        for (int32_t value : v) text += " " + std::to_string(value);
        return text;
    };
    EXPECT_EQ(reads(), "2 1 4 10 15 1 1024 768");
    EXPECT_EQ(Qz_IsPluginEnabled(state, "physics"), 1);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "sound"), 0);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "missing"), 0);
    EXPECT_FLOAT_EQ(Qz_GetVolume(state), 0.25f);
    eval("game.resolution = 1e30; game.resolutionIndependence = 0/0; "
         "function getInterfaceOrientation() return -1e30 end; "
         "function sizeAndOrientationForResolution() return 3e9, -3e9, 'x' end");
    EXPECT_EQ(reads(), "2147483647 0 -2147483648 2147483647 -2147483648 0 1024 768");
    EXPECT_EQ(stackSize(), 0);
}

// Every call survives a script error: reported calls print one line and yield zeros, silent
// calls keep the error; the stack is left empty (over more rounds than it has free slots) and
// the state stays usable.
TEST_F(GameCallsTest, ScriptErrorsInEveryCallLeaveTheStateUsable) {
    eval("broken = true; local function fail() error('broken script') end "
         "sizeAndOrientationForResolution, getInterfaceOrientation, getVolume = fail, fail, fail "
         "devices.setScreenSize, game.setNeedsToChangeScene, Project.new = fail, fail, fail");
    CaptureStderr();
    for (int round = 0; round < 40; ++round) {
        for (const GameCall& c : kCalls) EXPECT_EQ(c.call(state) != 0, c.status) << c.logged;
        EXPECT_EQ(Qz_LoadGame(state, "x"), 0);
        int32_t width = 9, height = 9, orientation = 9;
        Qz_SizeForResolution(state, 1, &width, &height, &orientation);
        EXPECT_EQ(width + height + orientation + Qz_GetInterfaceOrientation(state), 0);
        EXPECT_EQ(Qz_GetVolume(state), 0.0f);
        ASSERT_EQ(stackSize(), 0);
    }
    const std::string errors = GetCapturedStderr();
    EXPECT_NE(std::string(Qz_LastSilentError(state)).find("broken script"), std::string::npos);
    int reportedCalls = 3;  // the three display reads above
    for (const GameCall& c : kCalls) reportedCalls += !c.silent;
    EXPECT_EQ(state->errorsReported, 40 * reportedCalls) << "silent calls do not report";
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 40 * reportedCalls);
    EXPECT_EQ(errors.rfind("(Qz_Report_Error) Lua Error: "), errors.rfind('\n', errors.size() - 2) + 1);
    EXPECT_EQ(eval("return 2 * 3"), "6");
}

// A method call on a missing table is reported; the table reads are unprotected, so a
// missing table there surfaces as a QzLuaPanicError the host can catch. The state stays usable.
TEST_F(GameCallsTest, MissingTablesAreReportedOrThrownToTheHost) {
    eval("devices = nil; game.attributes = nil; game.plugins = nil");
    int32_t width = 0, height = 0;
    EXPECT_THROW(Qz_GetIntendedDisplaySize(state, &width, &height), QzLuaPanicError);
    EXPECT_EQ(stackSize(), 0);
    EXPECT_THROW(Qz_IsPluginEnabled(state, "physics"), QzLuaPanicError);
    eval("game = 5");
    EXPECT_THROW(Qz_GetTargetDisplayResolution(state), QzLuaPanicError);
    CaptureStderr();
    Qz_SetScreenSize(state, 1, 2);
    Qz_SetShouldChangeToScene(state, "x");
    const std::string errors = GetCapturedStderr();
    EXPECT_NE(errors.find("(Qz_Report_Error) Lua Error: global 'devices' is not a table"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("global 'game' is not a table"), std::string::npos) << errors;
    EXPECT_EQ(stackSize(), 0);
    Qz_Update(state, 0.1f);
    EXPECT_EQ(lastCall(), "update 0.1");
}

}  // namespace
