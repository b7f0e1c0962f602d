// The player's engine handle over QzLuaState.
#include "QzPlayerEngine.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <lua.h>

#include "QzExternalFunctionTable.h"
#include "SoundManager.h"

QzPlayerEngine::QzPlayerEngine(const std::string& enginePath, const std::string& savePath,
                               QzScriptInterrupt* interrupt, size_t memoryLimitBytes)
    : luaState_(QzLuaState::withEnginePath(enginePath, savePath.empty() ? std::nullopt
                                                                        : std::optional<std::string>(savePath))),
      interrupt_(interrupt) {
    QzState* state = luaState_->S();
    if (interrupt_) interrupt_->attach(state->L);
    memoryLimit_.attach(state->L, memoryLimitBytes);
    // The engine host leaves a failed initEngine unreported; the game still goes on.
    state->gameDidEnd = &QzPlayerEngine::gameDidEndCallback;
    state->problemReported = &QzPlayerEngine::problemReportedCallback;
    state->callbackContext = this;
    if (const auto& error = luaState_->initEngineError()) {
        std::fprintf(stderr, "QzPlayerEngine: initEngine failed: %s\n", error->c_str());
        reportProblem("initEngine failed: " + *error);
    }
}

QzPlayerEngine::~QzPlayerEngine() {
    freeGameResources();
    luaState_->close();
}

// What the host does before it lets an engine state go: no scene, no view, no graphics
// assets. Each step runs only when the engine script has it.
void QzPlayerEngine::freeGameResources() {
    const struct {
        const char* object;
        const char* method;
    } steps[] = {{"game", "switchToScene"}, {"Renderer", "removeCurrentView"}, {"AssetManager", "freeGLAssets"}};
    for (const auto& step : steps) {
        bool present = false;
        {
            QzEngineLock lock(*this);
            luaState_->getGlobal(step.object);
            present = luaState_->luaType() == LUA_TTABLE && luaState_->hasMethod(step.method);
            luaState_->setTop(0);
        }
        if (!present) continue;
        try {
            const QzRef<QzArray> arguments = std::string(step.method) == "switchToScene"
                                                 ? QzArray::of({QzId(QzNull::null())})
                                                 : QzArray::array();
            luaState_->callMethodOfObject(step.method, step.object, arguments.get());
        } catch (const LuaErrorException& error) {
            std::fprintf(stderr, "QzPlayerEngine %s:%s: Lua Error caught (and ignored): %s\n", step.object,
                         step.method, error.luaError().c_str());
        }
    }
    luaState_->collectGarbage();
}

void QzPlayerEngine::callFunction(const char* name, const std::vector<QzScriptArgument>& arguments) {
    QzRef<QzArray> array = QzArray::array();
    for (const QzScriptArgument& argument : arguments) {
        if (const auto* text = std::get_if<std::string>(&argument))
            array->addObject(QzString::withUTF8(*text).get());
        else
            array->addObject(QzNumber::withFloat(std::get<float>(argument)).get());
    }
    luaState_->callFunction(name, array.get());
}

void QzPlayerEngine::checkProject() {
    try {
        luaState_->evaluateExpression("type(checkProject) == 'function' and checkProject()");
    } catch (const LuaErrorException& error) {
        std::fprintf(stderr, "QzPlayerEngine checkProject: Lua Error caught (and ignored): %s\n", error.luaError().c_str());
        countError();
    }
}

bool QzPlayerEngine::hasFunction(const char* name) {
    QzEngineLock lock(*this);
    luaState_->getGlobal(name);
    const bool present = luaState_->luaType() == LUA_TFUNCTION;
    luaState_->setTop(0);
    return present;
}

int QzPlayerEngine::errorCount() {
    int scriptProblems = 0;
    try {
        // An engine script may count the problems of the game it reported (problemsReported).
        scriptProblems = std::atoi(
            luaState_->evaluateExpression("type(problemsReported) == 'function' and problemsReported() or 0").c_str());
    } catch (const LuaErrorException& error) {
        std::fprintf(stderr, "QzPlayerEngine problemsReported: Lua Error caught (and ignored): %s\n",
                     error.luaError().c_str());
        scriptProblems = 1;
    }
    return luaState_->S()->errorsReported + extraErrors_ + scriptProblems;
}

void QzPlayerEngine::intendedDisplaySize(int* width, int* height) {
    const QzSize size = luaState_->intendedDisplaySize();
    const bool fits = size.width >= 0 && size.width <= kQzMaxDisplaySide && size.height >= 0 &&
                      size.height <= kQzMaxDisplaySide;
    *width = fits ? static_cast<int>(size.width) : 0;
    *height = fits ? static_cast<int>(size.height) : 0;
    if (fits || displaySizeRefused_) return;
    displaySizeRefused_ = true;
    char message[160];
    std::snprintf(message, sizeof message, "the game's display size %.0fx%.0f is refused: each side may be at most %d "
                  "pixels; the game plays at the player's size instead", size.width, size.height, kQzMaxDisplaySide);
    std::fprintf(stderr, "quillane-player: %s\n", message);
    reportProblem(message);
}

void QzPlayerEngine::registerHostServices(QzKeyboardInputSupport::Request keyboardInput,
                                          QzOpenURLSupport::Opener openURL, const std::string& bundleFolder) {
    keyboardInput_ = QzMake<QzKeyboardInputSupport>(std::move(keyboardInput));
    openURL_ = QzMake<QzOpenURLSupport>(std::move(openURL), bundleFolder);
    auto table = QzExternalFunctionTable::externalFunctionTableForState(luaState_->state());
    table->registerTarget(keyboardInput_.get(), nullptr, "keyboardInput:forPrompt:withInitialValue:displayNumberPad:",
                          "KeyboardInput");
    table->registerTarget(openURL_.get(), nullptr, "openURL:withString:extBrowser:", "openURL");
}

void QzPlayerEngine::setGameDidEnd(std::function<void()> gameDidEnd) { gameDidEnd_ = std::move(gameDidEnd); }

void QzPlayerEngine::gameDidEndCallback(void* context) {
    auto* engine = static_cast<QzPlayerEngine*>(context);
    if (engine->gameDidEnd_) engine->gameDidEnd_();
}

void QzPlayerEngine::reportProblem(const std::string& message) {
    countError();
    keepProblem(message);
}

void QzPlayerEngine::keepProblem(const std::string& message) {
    std::lock_guard lock(problemsMutex_);
    problems_.push_back(message);
    if (problems_.size() > kKeptProblems) problems_.pop_front();
}

std::vector<std::string> QzPlayerEngine::takeProblems() {
    std::lock_guard lock(problemsMutex_);
    std::vector<std::string> taken(problems_.begin(), problems_.end());
    problems_.clear();
    return taken;
}

// The engine counts these itself (errorsReported, problemsReported): they are only kept.
void QzPlayerEngine::problemReportedCallback(void* context, const char* message) {
    static_cast<QzPlayerEngine*>(context)->keepProblem(message);
}

QzEngineGauges QzPlayerEngine::gauges() {
    QzEngineGauges gauges;
    gauges.soundPool = SoundManager::kPoolSize;
    {
        QzEngineLock lock(*this);
        gauges.memoryBytes = Qz_TotalBytesUsed(state());
        gauges.soundsPlaying = SoundManager_PlayingCount(SoundManager_FromLuaState(state()->L));
    }
    gauges.problems = errorCount();
    return gauges;
}
