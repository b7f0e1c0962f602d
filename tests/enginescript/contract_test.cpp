// The engine script's contract with the player, driven through the real engine-host calls:
// every global, table and method the player or the native libraries use, with their results.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "QzEngine.h"
#include "QzOffscreenGL.h"

namespace {

const std::string kChunk = std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo";
const std::string kProject = std::string(QZ_SOURCE_DIR) + "/tests/enginescript/projects/contract.gameproj";

// What the host callbacks saw: lifecycle callbacks and external calls with their arguments.
struct HostLog {
    int gameDidEnd = 0;
    std::vector<std::string> external;
};

void onGameDidEnd(void* context) { ++static_cast<HostLog*>(context)->gameDidEnd; }

int32_t onExternal(void* context, lua_State* L) {
    std::string call;
    for (int index = 1; index <= lua_gettop(L); ++index) {
        const char* text = lua_isboolean(L, index) ? (lua_toboolean(L, index) ? "true" : "false")
                                                   : lua_tostring(L, index);
        call += (index > 1 ? " " : "") + std::string(text ? text : luaL_typename(L, index));
    }
    static_cast<HostLog*>(context)->external.push_back(call);
    return 0;
}

class EngineScriptContract : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        gl = QzOffscreenGL::create(64, 64, &error);
        ASSERT_TRUE(gl) << error;
        state = Qz_NewState(0);
        state->gameDidEnd = onGameDidEnd;
        state->callbackContext = &host;
        state->callExternalFunction = onExternal;
        state->externalFunctionContext = &host;
        ASSERT_EQ(Qz_Init(state, kChunk.c_str(), nullptr), 0);
        ASSERT_EQ(Qz_LoadGame(state, kProject.c_str()), 0);
        ASSERT_EQ(Qz_LastSilentError(state), nullptr);
        ASSERT_EQ(Qz_Reset(state), 0);
        Qz_Play(state);
        ASSERT_EQ(Qz_Update(state, 1.0f / 60), 0);
    }
    void TearDown() override { Qz_DestroyState(state); }

    std::string eval(const std::string& code) {
        lua_State* L = state->L;
        if (luaL_dostring(L, ("return tostring(" + code + ")").c_str()) != 0) {
            std::string message = lua_tostring(L, -1);
            lua_settop(L, 0);
            return "<error: " + message + ">";
        }
        std::string result = lua_tostring(L, -1);
        lua_settop(L, 0);
        return result;
    }

    // The last line that the recording behaviour of the scene (or of the actor) logged.
    std::string lastLogged(const char* owner = "Engine.game.scene") {
        return eval(std::string("(function() local log = ") + owner +
                    ".behaviours[1].environment.log return log[#log] end)()");
    }

    HostLog host;
    std::unique_ptr<QzOffscreenGL> gl;
    QzState* state = nullptr;
};

TEST_F(EngineScriptContract, DisplayResolutionPluginsAndSizeComeFromGameXml) {
    EXPECT_EQ(Qz_GetTargetDisplayResolution(state), 2);
    EXPECT_EQ(Qz_GetResolutionIndependence(state), 1);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "physics"), 1);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "sound"), 0);
    EXPECT_EQ(Qz_IsPluginEnabled(state, "missing"), 0);
    int32_t width = 0, height = 0;
    Qz_GetIntendedDisplaySize(state, &width, &height);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
    int32_t orientation = -1;
    Qz_SizeForResolution(state, 0, &width, &height, &orientation);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
    EXPECT_EQ(orientation, 0);
    Qz_SizeForResolution(state, 2, &width, &height, &orientation);
    EXPECT_EQ(width, 960);
    EXPECT_EQ(height, 640);
    EXPECT_EQ(state->errorsReported, 0);
}

TEST_F(EngineScriptContract, OrientationVolumeAndScreenSize) {
    EXPECT_EQ(Qz_GetInterfaceOrientation(state), 0);
    EXPECT_EQ(Qz_SetDeviceOrientation(state, 3, true), 0);
    EXPECT_EQ(Qz_GetInterfaceOrientation(state), 3);
    EXPECT_FLOAT_EQ(Qz_GetVolume(state), 1.0f);
    EXPECT_EQ(Qz_SetVolume(state, 0.25f), 0);
    EXPECT_FLOAT_EQ(Qz_GetVolume(state), 0.25f);
    EXPECT_EQ(Qz_SetVolume(state, 7.0f), 0);
    EXPECT_FLOAT_EQ(Qz_GetVolume(state), 1.0f) << "the volume is kept between 0 and 1";
    Qz_SetScreenSize(state, 800, 600);
    EXPECT_EQ(eval("devices.screenWidth .. 'x' .. devices.screenHeight"), "800x600");
    EXPECT_EQ(state->errorsReported, 0);
}

TEST_F(EngineScriptContract, InputReachesBehaviours) {
    EXPECT_EQ(Qz_KeyDown(state, "left"), 0);
    EXPECT_EQ(lastLogged(), "onKeyDown left");
    EXPECT_EQ(Qz_KeyUp(state, "left"), 0);
    EXPECT_EQ(lastLogged(), "onKeyUp left");
    EXPECT_EQ(Qz_MouseDown(state, 110, 50), 0);
    EXPECT_EQ(lastLogged("Engine.game.scene:actorNamed('probe')"), "onMouseDown 110 50");
    EXPECT_EQ(eval("Engine.game.scene:actorNamed('probe').behaviours[1].environment.log[4]"), "onClick 110 50")
        << "a press inside an actor clicks it first";
    EXPECT_EQ(Qz_MouseMoved(state, 1, 2), 0);
    EXPECT_EQ(lastLogged(), "onMouseMoved 1 2");
    EXPECT_EQ(Qz_MouseUp(state, 3, 4), 0);
    EXPECT_EQ(lastLogged(), "onMouseUp 3 4");
    EXPECT_EQ(Qz_TouchDown(state, 1, 0, 5, 6), 0);
    EXPECT_EQ(lastLogged(), "onMouseDown 5 6");
    EXPECT_EQ(Qz_TouchMoved(state, 1, 7, 8), 0);
    EXPECT_EQ(lastLogged(), "onMouseMoved 7 8");
    EXPECT_EQ(Qz_TouchUp(state, 1, 0, 9, 10), 0);
    EXPECT_EQ(lastLogged(), "onMouseUp 9 10");
    EXPECT_EQ(Qz_TouchCancel(state), 0);
    EXPECT_EQ(Qz_Accelerated(state, 0, 0, -1), 0);
    const char* const text[] = {"typed"};
    EXPECT_EQ(Qz_RaiseExternalEvent(state, "keyboardInputEntered", text, 1), 0);
    EXPECT_EQ(lastLogged(), "onTextEntered typed");
    EXPECT_EQ(Qz_RaiseExternalEvent(state, "custom", nullptr, 0), 0);
    EXPECT_EQ(lastLogged(), "onEvent custom {}");
    EXPECT_EQ(state->errorsReported, 0);
}

TEST_F(EngineScriptContract, PausesHoldInputAndFramesUntilPlay) {
    const std::string before = eval("Engine.game.scene.time");
    Qz_SystemInitiatedPause(state);
    ASSERT_EQ(Qz_Update(state, 0.5f), 0);
    EXPECT_EQ(eval("Engine.game.scene.time"), before);
    EXPECT_EQ(Qz_KeyDown(state, "a"), 0);
    EXPECT_NE(lastLogged(), "onKeyDown a");
    Qz_Play(state);
    Qz_BehaviorInitiatedPause(state);
    EXPECT_EQ(Qz_Render(state), 0);
    EXPECT_EQ(Qz_Stop(state), 0);
    Qz_Play(state);
    ASSERT_EQ(Qz_Update(state, 0.5f), 0);
    EXPECT_NE(eval("Engine.game.scene.time"), before);
}

TEST_F(EngineScriptContract, SceneChangesAtTheNextFrameAndResetReturnsToTheStart) {
    Qz_SetShouldChangeToScene(state, "second");
    EXPECT_EQ(eval("Engine.game.scene.name"), "first");
    ASSERT_EQ(Qz_Update(state, 1.0f / 60), 0);
    EXPECT_EQ(eval("Engine.game.scene.name"), "second");
    EXPECT_EQ(host.external.back(), "TrackSceneChange second");
    EXPECT_EQ(Qz_Reset(state), 0);
    ASSERT_EQ(Qz_Update(state, 1.0f / 60), 0);
    EXPECT_EQ(eval("Engine.game.scene.name"), "first");
    EXPECT_EQ(eval("game:switchToScene(nil) or tostring(Engine.game.scene)"), "nil");
}

TEST_F(EngineScriptContract, CollisionCallbacksAndDestructionAfterTheStep) {
    for (int frame = 0; frame < 60 && eval("Engine.game.scene:actorNamed('faller') ~= nil") == "true"; ++frame) {
        ASSERT_EQ(Qz_Update(state, 1.0f / 60), 0);
    }
    EXPECT_EQ(eval("Engine.game.scene:actorNamed('faller') == nil"), "true") << "destroyed on contact";
    // The contact (a table without an array part, so recorded as "{}") comes after the other actor.
    EXPECT_EQ(eval("Engine.game.scene:actorNamed('probe').behaviours[1].environment.log[2]"), "onCollision faller {}");
    EXPECT_EQ(eval("Engine.game.scene:actorNamed('spark').body ~= nil"), "true") << "spawned with its body";
    EXPECT_EQ(eval("tostring(Engine.game.scene:actorNamed('probe').fixtures[1]:testPoint(105, 40))"), "true")
        << "its body widened";
    EXPECT_EQ(eval("Engine.game.scene:actorNamed('probe').x .. ' ' .. "
                   "Engine.game.scene:actorNamed('probe').body:position()"), "60 60") << "moved, body too";
    ASSERT_EQ(Qz_Update(state, 1.0f / 60), 0);
    EXPECT_EQ(eval("select(2, Engine.game.scene:actorNamed('spark'):position()) < 150"), "true") << "it falls";
    EXPECT_EQ(state->errorsReported, 0);
    EXPECT_EQ(eval("problemsReported()"), "0");
}

TEST_F(EngineScriptContract, TablesAndObjectsTheHostAndLibrariesUse) {
    EXPECT_EQ(eval("project:pathForImage('a.png')"), kProject + "/images/a.png");
    EXPECT_EQ(eval("project:pathForSound('b.ogg')"), kProject + "/sounds/b.ogg");
    EXPECT_EQ(eval("instanceOfClassType(project, Project) == project"), "true");
    EXPECT_EQ(eval("instanceOfClassType({}, Project)"), "nil");
    EXPECT_EQ(eval("#table.keys({a = 1, b = 2, 3})"), "3");
    EXPECT_EQ(eval("type(game.attributes.displaySize.width:getNode())"), "userdata");
    EXPECT_EQ(eval("type(logtrace) .. type(fixtureCollisionBegan) .. type(fixtureCollisionEnded)"),
              "functionfunctionfunction");
    EXPECT_EQ(eval("Engine.game.scene.defaultSpace:removeNode(nil) or 'logged'"), "logged") << "calls logtrace";
    EXPECT_EQ(eval("type(sharedAssetManager) == (assetManager and 'userdata' or 'nil')"), "true");
    EXPECT_EQ(eval("type(sharedSoundManager) == (soundManager and 'userdata' or 'nil')"), "true");
    EXPECT_EQ(eval("Renderer:removeCurrentView() or tostring(Engine.game.scene)"), "nil");
    EXPECT_EQ(eval("AssetManager:freeGLAssets() or 'freed'"), "freed");
    EXPECT_EQ(Qz_Update(state, 1.0f / 60), 0) << "a frame without a scene";
}

TEST_F(EngineScriptContract, BehaviourHostCallsUseTheCallbacksLibrary) {
    EXPECT_EQ(eval("Engine.Behaviours.api.openURL('pages/about.html') or 'ok'"), "ok");
    EXPECT_EQ(host.external.back(), "openURL file://" + kProject + "/pages/about.html true")
        << "an address without a scheme is a file of the project";
    EXPECT_EQ(eval("Engine.Behaviours.api.endGame() or 'ok'"), "ok");
    EXPECT_EQ(host.gameDidEnd, 1);
}

TEST(EngineScript, FramesAndInputWithoutAProjectOnThePool) {
    QzState* state = Qz_NewState(1);
    ASSERT_EQ(Qz_Init(state, kChunk.c_str(), nullptr), 0);
    EXPECT_EQ(Qz_Update(state, 0.1f), 0);
    EXPECT_EQ(Qz_Render(state), 0);
    EXPECT_EQ(Qz_KeyDown(state, "x"), 0);
    Qz_DestroyState(state);
}

}  // namespace
