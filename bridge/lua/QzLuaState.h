// The engine's Lua state wrapper: owns the engine state, answers display questions and
// frees or re-activates the engine's graphics and sound resources for the host.
#ifndef QZ_LUA_STATE_H
#define QZ_LUA_STATE_H

#include <cstdint>
#include <optional>
#include <string>

#include "LuaState.h"
#include "QzEngine.h"
#include "SoundManager.h"

class LuaObject;

struct QzSize {
    double width = 0;
    double height = 0;
};

class QzLuaState final : public LuaState {
public:
    // Creates the engine state on the system allocator, installs callExternalFunction,
    // starts the engine script (Qz_Init) and wraps the interpreter. A failing engine script
    // is reported on standard error and the wrapper is still made; a failing initEngine is
    // kept for the host to report (initEngineError).
    static QzRef<QzLuaState> withEnginePath(const std::string& enginePath, const std::optional<std::string>& savePath);
    ~QzLuaState() override;

    // Destroys the engine state (which closes the interpreter) and the interpreter's
    // external function table.
    void close() override;

    // The script's global "game", or null.
    QzRef<LuaObject> game();
    // (locks) The game's target display resolution; 0 when the script cannot answer.
    int32_t targetDisplayResolution();
    // (locks) Whether the game is resolution independent; false when the script cannot answer.
    bool resolutionIndependence();
    // (locks) The game's intended display size; (0, 0) when the script cannot answer.
    QzSize intendedDisplaySize();
    // Makes the engine's sound context current on the calling thread.
    void makeOpenALContextCurrent();
    // Suspends and resumes the engine's sound output (while the application is inactive).
    void suspendSound();
    void resumeSound();
    // (locks) Has the asset manager unload every image and clear the freed ones.
    void freeGLAssets();

    QzState* S() const { return S_; }
    // The message of initEngine's error, when it raised one.
    const std::optional<std::string>& initEngineError() const { return initEngineError_; }

private:
    QzLuaState() = default;
    // Runs an engine-host query under the lock; a script error is logged with the query's
    // name and gives `fallback`.
    template <class Result, class Query>
    Result askEngine(const char* name, Result fallback, Query query);
    // Runs `action` on the script's sound manager when there is one. Takes the lock unless
    // the calling thread holds it already (the frame loop calls these around its calls).
    template <class Action>
    void withSoundManager(Action action);

    QzState* S_ = nullptr;  // owned
    std::optional<std::string> initEngineError_;
};

#endif
