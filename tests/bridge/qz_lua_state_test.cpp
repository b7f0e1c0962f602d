// Tests of the engine's state wrapper: display queries, freeing graphics assets, closing.
#include <fstream>

#include <AL/alc.h>
#include <gtest/gtest.h>

#include "LuaObject.h"
#include "QzLuaState.h"
#include "log_capture.h"
#include "support/test_files.h"

namespace {

const char* kEngineScript = R"(
game = {resolution = 3, resolutionIndependence = 1,
        attributes = {displaySize = {width = {_value = 640}, height = {_value = 480}}}}
calls = {}
sharedAssetManager = {}
function sharedAssetManager:unloadAllImages() calls[#calls + 1] = 'unload' end
function sharedAssetManager:clearForFreedImages() calls[#calls + 1] = 'clear' error('ignored') end
function initEngine() end
)";

class QzLuaStateTest : public ::testing::Test {
protected:
    QzLuaStateTest() {
        std::ofstream(path) << kEngineScript;
        engine = QzLuaState::withEnginePath(path, std::nullopt);
    }
    // Each test process has its own script file: ctest runs tests side by side.
    ScratchFolder scratch;
    std::string path = scratch.file("engine.lua");
    LogCapture log;
    QzRef<QzLuaState> engine;
};

TEST_F(QzLuaStateTest, DisplayQueriesReadTheGame) {
    EXPECT_EQ(engine->targetDisplayResolution(), 3);
    EXPECT_TRUE(engine->resolutionIndependence());
    QzSize size = engine->intendedDisplaySize();
    EXPECT_EQ(size.width, 640);
    EXPECT_EQ(size.height, 480);
    EXPECT_NE(engine->game(), nullptr);
}

TEST_F(QzLuaStateTest, DisplayQueriesWithoutAGameAreLoggedAndGiveZero) {
    engine->doString("game = nil");
    EXPECT_EQ(engine->targetDisplayResolution(), 0);
    EXPECT_FALSE(engine->resolutionIndependence());
    EXPECT_EQ(engine->intendedDisplaySize().width, 0);
    EXPECT_TRUE(log.contains("[QzLuaState targetDisplayResolution]: Lua Error caught (and ignored): "));
    EXPECT_TRUE(log.contains("[QzLuaState intendedDisplaySize]: Lua Error caught (and ignored): "));
    EXPECT_EQ(engine->evaluateExpression("1 + 2"), "3");
}

TEST_F(QzLuaStateTest, FreeGLAssetsCallsBothManagerMethodsAndIgnoresTheirErrors) {
    engine->freeGLAssets();
    EXPECT_EQ(engine->evaluateExpression("table.concat(calls, ',')"), "unload,clear");
    engine->doString("sharedAssetManager = nil");
    engine->freeGLAssets();
    EXPECT_EQ(engine->evaluateExpression("#calls"), "2");
}

TEST_F(QzLuaStateTest, SoundCallsReachTheScriptsSoundManager) {
    engine->makeOpenALContextCurrent();  // no sound manager yet: nothing to do
    engine->doString("sharedSoundManager = soundManager.new()");
    alcMakeContextCurrent(nullptr);
    engine->makeOpenALContextCurrent();
    EXPECT_NE(alcGetCurrentContext(), nullptr);
    engine->suspendSound();
    engine->resumeSound();
    engine->lockState();
    engine->makeOpenALContextCurrent();  // also from inside the lock
    engine->unlockState();
    EXPECT_EQ(engine->evaluateExpression("type(sharedSoundManager)"), "userdata");
    engine->doString("sharedSoundManager:delete()");  // the script owns its sound manager
    engine->makeOpenALContextCurrent();
}

TEST_F(QzLuaStateTest, CloseDestroysTheEngineStateOnce) {
    QzRef<LuaObject> game = engine->game();
    engine->close();
    EXPECT_EQ(engine->S(), nullptr);
    EXPECT_EQ(engine->targetDisplayResolution(), 0);
    EXPECT_EQ(game->valueForKey("resolution"), nullptr);
    engine->close();
}

TEST_F(QzLuaStateTest, AShutdownThatReportsAChangeClosesCleanly) {
    engine->doString("function shutdownEngine() luaBinder.valueDidChangeForKey(game, 'resolution') end");
    QzRef<LuaObject> game = engine->game();
    engine->close();
    EXPECT_EQ(engine->S(), nullptr);
}

}  // namespace
