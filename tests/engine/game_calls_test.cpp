// Tests of the game lifecycle, display, frame and input calls against a recording engine script.
#include <algorithm>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "QzLuaPanic.h"
#include "engine_fixture.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

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
