// Tests of the game lifecycle, display, frame and input calls against a recording engine script.
#include <string>

#include <gtest/gtest.h>

#include "QzLuaPanic.h"
#include "engine_fixture.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// Every global records its name and arguments in `log`, one line per call.
constexpr const char* kRecordingScript = R"(
log = {}
local function record(name)
  return function(...)
    local parts = {name}
    for i = 1, select('#', ...) do
      local v = select(i, ...)
      if type(v) == 'table' then
        local items = {}
        for _, item in ipairs(v) do items[#items + 1] = item end
        v = '{' .. table.concat(items, ',') .. '}'
      end
      parts[#parts + 1] = tostring(v)
    end
    log[#log + 1] = table.concat(parts, ' ')
  end
end
for _, name in ipairs({'play', 'stop', 'reset', 'systemInitiatedPause', 'behaviorInitiatedPause',
    'update', 'render', 'keyDown', 'keyUp', 'mouseDown', 'mouseUp', 'mouseMoved', 'touchDown',
    'touchUp', 'touchMoved', 'touchCancel', 'accelerated', 'raiseExternalEvent',
    'deviceOrientationChanged', 'setVolume'}) do
  _G[name] = record(name)
end
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

class GameCallsTest : public EngineTest {
protected:
    void SetUp() override { ASSERT_EQ(start(kRecordingScript), 0); }
    std::string lastCall() { return eval("return log[#log]"); }
};

TEST_F(GameCallsTest, LifecycleCallsReachTheirGlobals) {
    Qz_Play(state);
    EXPECT_EQ(lastCall(), "play");
    Qz_SystemInitiatedPause(state);
    EXPECT_EQ(lastCall(), "systemInitiatedPause");
    Qz_BehaviorInitiatedPause(state);
    EXPECT_EQ(lastCall(), "behaviorInitiatedPause");
    EXPECT_EQ(Qz_Stop(state), 0);
    EXPECT_EQ(lastCall(), "stop");
    EXPECT_EQ(Qz_Reset(state), 0);
    EXPECT_EQ(lastCall(), "reset");
    Qz_Play(nullptr);  // accepted and ignored
    Qz_SystemInitiatedPause(nullptr);
    Qz_BehaviorInitiatedPause(nullptr);
    EXPECT_EQ(stackSize(), 0);
}

TEST_F(GameCallsTest, LoadGameMakesTheProjectGlobalAndLoadsThePath) {
    EXPECT_EQ(Qz_LoadGame(state, "/games/Demo.gameproj"), 0);
    EXPECT_EQ(lastCall(), "load true /games/Demo.gameproj");
    EXPECT_EQ(eval("return tostring(project.isProject)"), "true");
    EXPECT_EQ(stackSize(), 0);
}

// A script without a usable Project costs the load only: nothing is raised outside a
// protected call, the stack is left empty and the failure is kept as the last silent error.
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

TEST_F(GameCallsTest, InputAndFrameCallsPassTheirArgumentsInScriptOrder) {
    Qz_Update(state, 0.5f);
    EXPECT_EQ(lastCall(), "update 0.5");
    Qz_Render(state);
    EXPECT_EQ(lastCall(), "render");
    Qz_KeyDown(state, "space");
    EXPECT_EQ(lastCall(), "keyDown space");
    Qz_KeyUp(state, "a");
    EXPECT_EQ(lastCall(), "keyUp a");
    Qz_MouseDown(state, 1.5f, 2);
    EXPECT_EQ(lastCall(), "mouseDown 1.5 2");
    Qz_MouseMoved(state, 3, 4);
    EXPECT_EQ(lastCall(), "mouseMoved 3 4");
    Qz_MouseUp(state, 5, 6);
    EXPECT_EQ(lastCall(), "mouseUp 5 6");
    Qz_TouchDown(state, 3, 1, 10, 20);
    EXPECT_EQ(lastCall(), "touchDown 10 20 3 1");
    Qz_TouchMoved(state, 3, 11, 21);
    EXPECT_EQ(lastCall(), "touchMoved 11 21 3");
    Qz_TouchUp(state, 3, 2, 12, 22);
    EXPECT_EQ(lastCall(), "touchUp 12 22 3 2");
    Qz_TouchCancel(state);
    EXPECT_EQ(lastCall(), "touchCancel");
    Qz_Accelerated(state, 0.25f, -1, 9.5f);
    EXPECT_EQ(lastCall(), "accelerated 0.25 -1 9.5");
    EXPECT_EQ(stackSize(), 0);
}

TEST_F(GameCallsTest, ExternalEventsCarryTheirStringsInATable) {
    const char* arguments[] = {"typed text", "second"};
    EXPECT_EQ(Qz_RaiseExternalEvent(state, "keyboardInputEntered", arguments, 2), 0);
    EXPECT_EQ(lastCall(), "raiseExternalEvent keyboardInputEntered {typed text,second}");
    EXPECT_EQ(Qz_RaiseExternalEvent(state, "empty", nullptr, 0), 0);
    EXPECT_EQ(lastCall(), "raiseExternalEvent empty {}");
}

TEST_F(GameCallsTest, DisplayAndSceneCalls) {
    EXPECT_EQ(Qz_GetTargetDisplayResolution(state), 2);
    EXPECT_EQ(Qz_GetResolutionIndependence(state), 1);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "physics"), 1);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "sound"), 0);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "missing"), 0);
    int32_t width = 0, height = 0, orientation = 0;
    Qz_GetIntendedDisplaySize(state, &width, &height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    Qz_SizeForResolution(state, 5, &width, &height, &orientation);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(height, 15);
    EXPECT_EQ(orientation, 1);
    EXPECT_EQ(Qz_GetInterfaceOrientation(state), 4);
    EXPECT_FLOAT_EQ(Qz_GetVolume(state), 0.25f);
    EXPECT_EQ(Qz_SetVolume(state, 0.75f), 0);
    EXPECT_EQ(lastCall(), "setVolume 0.75");
    EXPECT_EQ(Qz_SetDeviceOrientation(state, 3, true), 0);
    EXPECT_EQ(lastCall(), "deviceOrientationChanged 3 true");
    Qz_SetScreenSize(state, 800, 600);
    EXPECT_EQ(lastCall(), "setScreenSize 800 600");
    Qz_SetShouldChangeToScene(state, "Level 2");
    EXPECT_EQ(lastCall(), "setNeedsToChangeScene true Level 2 false");
    EXPECT_EQ(stackSize(), 0);
}

// Script numbers beyond 32 bits saturate and NaN reads as 0 instead of an undefined cast.
TEST_F(GameCallsTest, IntegerResultsOutOfRangeSaturate) {
    eval("game.resolution = 1e30; game.resolutionIndependence = 0/0; "
         "function getInterfaceOrientation() return -1e30 end; "
         "function sizeAndOrientationForResolution() return 3e9, -3e9, 'x' end");
    EXPECT_EQ(Qz_GetTargetDisplayResolution(state), INT32_MAX);
    EXPECT_EQ(Qz_GetResolutionIndependence(state), 0);
    EXPECT_EQ(Qz_GetInterfaceOrientation(state), INT32_MIN);
    int32_t width = 0, height = 0, orientation = 9;
    Qz_SizeForResolution(state, 1, &width, &height, &orientation);
    EXPECT_EQ(width, INT32_MAX);
    EXPECT_EQ(height, INT32_MIN);
    EXPECT_EQ(orientation, 0);
}

// Every call survives a script error: reported calls print one line and yield zeros, silent
// calls return the status; the stack is left empty and the state stays usable.
TEST_F(GameCallsTest, ScriptErrorsInEveryCallLeaveTheStateUsable) {
    eval(R"(
      local function broken() error('broken script') end
      for _, name in ipairs({'play', 'stop', 'reset', 'systemInitiatedPause', 'behaviorInitiatedPause',
          'update', 'render', 'keyDown', 'keyUp', 'mouseDown', 'mouseUp', 'mouseMoved', 'touchDown',
          'touchUp', 'touchMoved', 'touchCancel', 'accelerated', 'raiseExternalEvent',
          'deviceOrientationChanged', 'setVolume', 'sizeAndOrientationForResolution',
          'getInterfaceOrientation', 'getVolume'}) do _G[name] = broken end
      devices.setScreenSize = broken
      game.setNeedsToChangeScene = broken
      Project.new = broken)");

    for (int round = 0; round < 40; ++round) {  // more rounds than the stack has free slots
        EXPECT_NE(Qz_Update(state, 0.1f), 0);
        EXPECT_NE(Qz_Render(state), 0);
        EXPECT_NE(Qz_KeyDown(state, "a"), 0);
        EXPECT_NE(Qz_KeyUp(state, "a"), 0);
        EXPECT_NE(Qz_MouseDown(state, 1, 2), 0);
        EXPECT_NE(Qz_MouseMoved(state, 1, 2), 0);
        EXPECT_NE(Qz_MouseUp(state, 1, 2), 0);
        EXPECT_NE(Qz_TouchDown(state, 1, 1, 1, 2), 0);
        EXPECT_NE(Qz_TouchMoved(state, 1, 1, 2), 0);
        EXPECT_NE(Qz_TouchUp(state, 1, 1, 1, 2), 0);
        EXPECT_NE(Qz_TouchCancel(state), 0);
        EXPECT_NE(Qz_Accelerated(state, 1, 2, 3), 0);
        EXPECT_NE(Qz_Stop(state), 0);
        EXPECT_NE(Qz_Reset(state), 0);
        Qz_Play(state);
        Qz_SystemInitiatedPause(state);
        Qz_BehaviorInitiatedPause(state);
        EXPECT_EQ(Qz_LoadGame(state, "x"), 0);
        ASSERT_EQ(stackSize(), 0);
    }
    EXPECT_NE(std::string(Qz_LastSilentError(state)).find("broken script"), std::string::npos);
    EXPECT_EQ(state->errorsReported, 0) << "silent calls do not report";

    CaptureStderr();
    int32_t width = 9, height = 9, orientation = 9;
    Qz_SizeForResolution(state, 1, &width, &height, &orientation);
    EXPECT_EQ(width + height + orientation, 0);
    EXPECT_EQ(Qz_GetInterfaceOrientation(state), 0);
    EXPECT_EQ(Qz_GetVolume(state), 0.0f);
    EXPECT_NE(Qz_SetVolume(state, 1), 0);
    EXPECT_NE(Qz_SetDeviceOrientation(state, 1, false), 0);
    Qz_SetScreenSize(state, 1, 2);
    Qz_SetShouldChangeToScene(state, "x");
    const char* arguments[] = {"a"};
    EXPECT_NE(Qz_RaiseExternalEvent(state, "e", arguments, 1), 0);
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(state->errorsReported, 8);
    size_t lines = 0;
    for (size_t at = errors.find("(Qz_Report_Error) Lua Error: "); at != std::string::npos;
         at = errors.find("(Qz_Report_Error) Lua Error: ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 8u) << errors;
    EXPECT_EQ(stackSize(), 0);
    EXPECT_EQ(eval("return 2 * 3"), "6");
}

TEST_F(GameCallsTest, MethodCallsOnAMissingTableAreReported) {
    eval("devices = nil; game = 5");
    CaptureStderr();
    Qz_SetScreenSize(state, 1, 2);
    Qz_SetShouldChangeToScene(state, "x");
    const std::string errors = GetCapturedStderr();
    EXPECT_NE(errors.find("(Qz_Report_Error) Lua Error: global 'devices' is not a table"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("global 'game' is not a table"), std::string::npos) << errors;
    EXPECT_EQ(stackSize(), 0);
}

// The table reads are unprotected: a missing table surfaces as a QzLuaPanicError that the
// host can catch, and the interpreter stays usable.
TEST_F(GameCallsTest, UnprotectedReadsOfAMissingTableThrowToTheHost) {
    eval("game.attributes = nil; game.plugins = nil");
    int32_t width = 0, height = 0;
    EXPECT_THROW(Qz_GetIntendedDisplaySize(state, &width, &height), QzLuaPanicError);
    EXPECT_EQ(stackSize(), 0);
    EXPECT_THROW(Qz_IsPluginEnabled(state, "physics"), QzLuaPanicError);
    eval("game = nil");
    EXPECT_THROW(Qz_GetTargetDisplayResolution(state), QzLuaPanicError);
    EXPECT_EQ(stackSize(), 0);
    Qz_Update(state, 0.1f);
    EXPECT_EQ(lastCall(), "update 0.1");
}

}  // namespace
