// The player's handle on the engine, through the script bridge's engine wrapper: the engine
// state with the wrapper's lock, script calls whose failures arrive as LuaErrorException,
// the host services scripts reach by name, and the display and sound queries of the view.
#ifndef QZ_PLAYER_ENGINE_H
#define QZ_PLAYER_ENGINE_H

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "LuaErrorException.h"
#include "QzEngine.h"
#include "QzFrameTiming.h"
#include "QzHostServices.h"
#include "QzLuaState.h"
#include "QzMemoryLimit.h"
#include "QzScriptInterrupt.h"

using QzScriptArgument = std::variant<std::string, float>;

// The largest side of a game's picture the player accepts: as large as OpenGL textures and
// framebuffers commonly go, and small enough that the view's arithmetic stays in range.
constexpr int kQzMaxDisplaySide = 16384;

class QzPlayerEngine {
public:
    // Creates the engine state and runs the engine script and its initEngine. savePath may
    // be empty (no database library). Load errors are reported on standard error. The
    // interrupt (borrowed, may be null) can stop the engine's scripts from then on, and the
    // interpreter may hold at most memoryLimitBytes from then on (0: no limit).
    QzPlayerEngine(const std::string& enginePath, const std::string& savePath, QzScriptInterrupt* interrupt = nullptr,
                   size_t memoryLimitBytes = 0);
    // Frees the game's scene and graphics assets, then destroys the engine state:
    // shutdownEngine runs once, the store closes.
    ~QzPlayerEngine();
    QzPlayerEngine(const QzPlayerEngine&) = delete;
    QzPlayerEngine& operator=(const QzPlayerEngine&) = delete;

    QzState* state() { return luaState_->S(); }
    // The wrapper's lock around every engine call. Not recursive: the calls below take it.
    void lockState() { luaState_->lockState(); }
    void unlockState() { luaState_->unlockState(); }

    // Calls the script global with the arguments under the lock; a missing or failing
    // function throws LuaErrorException.
    void callFunction(const char* name, const std::vector<QzScriptArgument>& arguments);
    // Whether the script has a global function of that name. Takes the lock.
    bool hasFunction(const char* name);
    // game.attributes.displaySize under the lock; (0, 0) with a logged line when the script
    // has no such table, and (0, 0) with a reported error (once) when a side is larger than
    // kQzMaxDisplaySide.
    void intendedDisplaySize(int* width, int* height);
    void makeOpenALContextCurrent() { luaState_->makeOpenALContextCurrent(); }

    // Registers "KeyboardInput" and "openURL" in the interpreter's external function table;
    // file addresses may reach inside bundleFolder.
    void registerHostServices(QzKeyboardInputSupport::Request keyboardInput, QzOpenURLSupport::Opener openURL,
                              const std::string& bundleFolder);
    // Called (on the thread running the script) when the script calls callbacks.gameDidEnd.
    void setGameDidEnd(std::function<void()> gameDidEnd);

    // Runs the engine script's check of the loaded project (its global checkProject, when it
    // has one), which reports what it finds as problems of the game. Takes the lock.
    void checkProject();
    // Problems so far: script errors reported by the engine host, failures counted by the
    // player, and the problems of the game that the engine script reported itself.
    // Takes the lock.
    int errorCount();
    void countError() { ++extraErrors_; }
    // Counts a problem the player found and keeps its message for takeProblems.
    void reportProblem(const std::string& message);
    // The messages of the problems reported since the last call, oldest first: script errors
    // the engine host reported, the game's problems the engine script reported (through
    // callbacks.problemReported) and the player's own. At most kKeptProblems are kept between
    // calls; older ones are dropped.
    static constexpr size_t kKeptProblems = 16;
    std::vector<std::string> takeProblems();
    // The interpreter's memory, the sounds playing and the problems so far. Takes the lock, so
    // never call it with the lock held.
    QzEngineGauges gauges();
    // Whether the engine's scripts are being stopped: no new script call should start.
    bool interrupted() const { return interrupt_ && interrupt_->pendingReason(); }

private:
    static void gameDidEndCallback(void* context);
    static void problemReportedCallback(void* context, const char* message);
    void keepProblem(const std::string& message);
    void freeGameResources();

    QzMemoryLimit memoryLimit_;  // made before the interpreter and outlives it
    QzRef<QzLuaState> luaState_;
    QzRef<QzKeyboardInputSupport> keyboardInput_;  // the table holds it weakly
    QzRef<QzOpenURLSupport> openURL_;              // the table holds it weakly
    std::function<void()> gameDidEnd_;
    QzScriptInterrupt* interrupt_;  // borrowed; may be null
    int extraErrors_ = 0;
    std::mutex problemsMutex_;
    std::deque<std::string> problems_;  // guarded by problemsMutex_
    bool displaySizeRefused_ = false;
};

// Holds an engine's lock for a scope.
class QzEngineLock {
public:
    explicit QzEngineLock(QzPlayerEngine& engine) : engine_(engine) { engine_.lockState(); }
    ~QzEngineLock() { engine_.unlockState(); }
    QzEngineLock(const QzEngineLock&) = delete;
    QzEngineLock& operator=(const QzEngineLock&) = delete;

private:
    QzPlayerEngine& engine_;
};

#endif
