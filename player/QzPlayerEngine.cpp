// The player's engine handle over the engine host: calls with a message handler that
// records the stack trace, and the external-function dispatch.
#include "QzPlayerEngine.h"

#include <cstdio>

#include <lauxlib.h>

#include "QzLuaPanic.h"
#include "SoundManager.h"

namespace {

// The message handler of every call the player makes: the message and a trace of the
// frames that led to it, one line per frame.
int recordTrace(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    luaL_Buffer trace;
    luaL_buffinit(L, &trace);
    luaL_addstring(&trace, message ? message : "(error object is not a string)");
    luaL_addstring(&trace, "\nStack Trace:\n");
    lua_Debug frame;
    for (int level = 1; lua_getstack(L, level, &frame); ++level) {
        if (!lua_getinfo(L, "nSl", &frame)) continue;
        lua_pushfstring(L, "%d: [%s:%s]:%d\n", level - 1, frame.short_src, frame.name ? frame.name : "?",
                        frame.currentline);
        luaL_addvalue(&trace);
    }
    luaL_pushresult(&trace);
    return 1;
}

QzScriptError errorFromTrace(lua_State* L) {
    std::string text = lua_isstring(L, -1) ? lua_tostring(L, -1) : "(error object is not a string)";
    const size_t split = text.find("\nStack Trace:\n");
    if (split == std::string::npos) return QzScriptError(text, "");
    return QzScriptError(text.substr(0, split), text.substr(split + 1));
}

}  // namespace

QzPlayerEngine::QzPlayerEngine(const std::string& enginePath, const std::string& savePath)
    : state_(Qz_NewState(0)) {
    state_->callExternalFunction = &QzPlayerEngine::dispatchExternalFunction;
    state_->externalFunctionContext = this;
    state_->callbackContext = this;
    state_->gameDidEnd = &QzPlayerEngine::gameDidEndCallback;
    if (Qz_Init(state_, enginePath.c_str(), savePath.empty() ? nullptr : savePath.c_str()) != 0) {
        std::fprintf(stderr, "QzPlayerEngine: initEngine failed: %s\n",
                     lua_isstring(state_->L, -1) ? lua_tostring(state_->L, -1) : "(no message)");
        countError();
    }
    lua_settop(state_->L, 0);
}

QzPlayerEngine::~QzPlayerEngine() {
    QzEngineLock guard(*this);
    Qz_DestroyState(state_);
}

void QzPlayerEngine::callFunction(const char* name, const std::vector<QzScriptArgument>& arguments) {
    QzEngineLock guard(*this);
    lua_State* L = state_->L;
    lua_settop(L, 0);
    lua_pushcfunction(L, recordTrace);
    lua_getglobal(L, name);
    for (const QzScriptArgument& argument : arguments) {
        if (const auto* text = std::get_if<std::string>(&argument))
            lua_pushlstring(L, text->data(), text->size());
        else
            lua_pushnumber(L, std::get<float>(argument));
    }
    const int status = lua_pcall(L, static_cast<int>(arguments.size()), 0, 1);
    if (status != 0) {
        QzScriptError error = errorFromTrace(L);
        lua_settop(L, 0);
        throw error;
    }
    lua_settop(L, 0);
}

void QzPlayerEngine::intendedDisplaySize(int* width, int* height) {
    QzEngineLock guard(*this);
    int32_t w = 0, h = 0;
    try {
        Qz_GetIntendedDisplaySize(state_, &w, &h);
    } catch (const QzLuaPanicError& error) {
        std::fprintf(stderr, "[QzLuaState intendedDisplaySize]: Lua Error caught (and ignored): %s\n", error.what());
        w = h = 0;
    }
    *width = w;
    *height = h;
}

void QzPlayerEngine::makeOpenALContextCurrent() {
    QzEngineLock guard(*this);
    lua_State* L = state_->L;
    const int top = lua_gettop(L);
    SoundManager_MakeCurrent(SoundManager_FromLuaState(L));
    lua_settop(L, top);
}

void QzPlayerEngine::registerExternalFunction(const std::string& name, QzExternalFunction function) {
    externalFunctions_[name] = std::move(function);
}

int32_t QzPlayerEngine::dispatchExternalFunction(void* context, lua_State* L) {
    auto* engine = static_cast<QzPlayerEngine*>(context);
    const char* name = lua_tostring(L, 1);
    const auto found = name ? engine->externalFunctions_.find(name) : engine->externalFunctions_.end();
    if (found == engine->externalFunctions_.end()) return 0;
    return found->second(L);
}

void QzPlayerEngine::setGameDidEnd(std::function<void()> gameDidEnd) { gameDidEnd_ = std::move(gameDidEnd); }

void QzPlayerEngine::gameDidEndCallback(void* context) {
    auto* engine = static_cast<QzPlayerEngine*>(context);
    if (engine->gameDidEnd_) engine->gameDidEnd_();
}
