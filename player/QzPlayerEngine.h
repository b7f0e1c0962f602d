// The player's handle on the engine: the engine state with its lock, script calls that turn
// failures into exceptions, the external functions the player offers scripts, and the
// display and sound queries the game view needs.
#ifndef QZ_PLAYER_ENGINE_H
#define QZ_PLAYER_ENGINE_H

#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "QzEngine.h"

// A script failure: the interpreter's message and, when a handler could record one, the
// stack trace.
struct QzScriptError : std::runtime_error {
    QzScriptError(const std::string& message, std::string stackTrace)
        : std::runtime_error(message), trace(std::move(stackTrace)) {}
    std::string trace;
};

using QzScriptArgument = std::variant<std::string, float>;
// An external function: reads its arguments from the interpreter's stack (the name at
// index 1, then the script's arguments) and returns the number of results it pushed.
using QzExternalFunction = std::function<int(lua_State* L)>;

class QzPlayerEngine {
public:
    // Creates the engine state and runs the engine script and its initEngine. savePath may
    // be empty (no database library). Load errors are reported on standard error.
    QzPlayerEngine(const std::string& enginePath, const std::string& savePath);
    // Destroys the engine state: shutdownEngine runs once, the store closes.
    ~QzPlayerEngine();
    QzPlayerEngine(const QzPlayerEngine&) = delete;
    QzPlayerEngine& operator=(const QzPlayerEngine&) = delete;

    QzState* state() { return state_; }
    // The lock around every engine call. Not recursive: the calls below take it themselves.
    void lockState() { lock_.lock(); }
    void unlockState() { lock_.unlock(); }

    // Calls the script global name with the arguments under the lock. Throws QzScriptError
    // when the global is missing or fails.
    void callFunction(const char* name, const std::vector<QzScriptArgument>& arguments);
    // game.attributes.displaySize under the lock; (0, 0) with a logged line when the script
    // has no such table.
    void intendedDisplaySize(int* width, int* height);
    // Makes the engine's sound context current on the calling thread, when it has one.
    void makeOpenALContextCurrent();

    // Offers the script a host function under a name (callbacks.callExternalFunction).
    // Registering a name again replaces the earlier function.
    void registerExternalFunction(const std::string& name, QzExternalFunction function);

    // Called (on the thread running the script) when the script calls callbacks.gameDidEnd.
    void setGameDidEnd(std::function<void()> gameDidEnd);

    // Script errors so far: reported by the engine host, plus failures counted by the player.
    int errorCount() const { return state_->errorsReported + extraErrors_; }
    void countError() { ++extraErrors_; }

private:
    static int32_t dispatchExternalFunction(void* context, lua_State* L);
    static void gameDidEndCallback(void* context);

    QzState* state_;  // owned
    std::mutex lock_;
    std::map<std::string, QzExternalFunction> externalFunctions_;
    std::function<void()> gameDidEnd_;
    int extraErrors_ = 0;
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
