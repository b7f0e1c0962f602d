// The engine's Lua state wrapper.
#include "QzLuaState.h"

#include "LuaObject.h"
#include "QzExternalFunctionTable.h"
#include "QzLog.h"

namespace {

// Calls sharedAssetManager:<method>() (the method name is the light userdata argument).
// Run through lua_cpcall, so that a missing manager or a failing method costs nothing.
int callAssetManagerMethod(lua_State* L) {
    const char* method = static_cast<const char*>(lua_touserdata(L, 1));
    lua_getglobal(L, "sharedAssetManager");
    lua_getfield(L, -1, method);
    lua_pushvalue(L, -2);
    lua_call(L, 1, 0);
    return 0;
}

}  // namespace

QzRef<QzLuaState> QzLuaState::withEnginePath(const std::string& enginePath, const std::optional<std::string>& savePath) {
    QzRef<QzLuaState> wrapper = QzAdopt(new QzLuaState);
    QzState* state = Qz_NewState(0);
    state->callbackContext = wrapper.get();
    state->callExternalFunction = callExternalFunction;
    // initEngine's error message is left on the stack, which wrapping the interpreter empties.
    if (Qz_Init(state, enginePath.c_str(), savePath ? savePath->c_str() : nullptr) != 0) {
        const char* message = lua_gettop(state->L) > 0 ? lua_tostring(state->L, -1) : nullptr;
        wrapper->initEngineError_ = message ? message : "(no message)";
    }
    wrapper->S_ = state;
    wrapper->initWithState(state->L);
    return wrapper;
}

QzLuaState::~QzLuaState() {
    QzLuaState::close();
}

void QzLuaState::close() {
    QzState* state = S_;
    if (!state) return;
    lua_State* L = this->state();
    releaseGlobalObject();
    LuaStateLock lock(this);
    S_ = nullptr;
    // Detached first, so that proxies released while the engine shuts down find no
    // interpreter to touch; the engine state closes the interpreter itself. The binder is
    // freed only after that: the game's shutdownEngine may still call luaBinder functions.
    detachFromInterpreter();
    Qz_DestroyState(state);
    freeBinder();
    QzExternalFunctionTable::destroyExternalFunctionTableForState(L);
}

QzRef<LuaObject> QzLuaState::game() {
    QzRef<LuaObject> global = globalObject();
    return global ? QzRef<LuaObject>(QzCast<LuaObject>(global->valueForKey("game").get())) : nullptr;
}

template <class Result, class Query>
Result QzLuaState::askEngine(const char* name, Result fallback, Query query) {
    LuaStateLock lock(this);
    if (!S_) return fallback;
    try {
        return query();
    } catch (const LuaErrorException& error) {
        QzLog("[QzLuaState %s]: Lua Error caught (and ignored): %s", name, error.luaError().c_str());
        return fallback;
    }
}

int32_t QzLuaState::targetDisplayResolution() {
    return askEngine("targetDisplayResolution", 0, [this] { return Qz_GetTargetDisplayResolution(S_); });
}

bool QzLuaState::resolutionIndependence() {
    return askEngine("resolutionIndependence", false, [this] { return Qz_GetResolutionIndependence(S_) != 0; });
}

QzSize QzLuaState::intendedDisplaySize() {
    return askEngine("intendedDisplaySize", QzSize{}, [this] {
        int32_t width = 0;
        int32_t height = 0;
        Qz_GetIntendedDisplaySize(S_, &width, &height);
        return QzSize{static_cast<double>(width), static_cast<double>(height)};
    });
}

template <class Action>
void QzLuaState::withSoundManager(Action action) {
    withLockHeld([&] {
        if (!S_ || !state()) return;
        if (void* manager = SoundManager_FromLuaState(state())) action(manager);
    });
}

void QzLuaState::makeOpenALContextCurrent() {
    withSoundManager(SoundManager_MakeCurrent);
}

void QzLuaState::suspendSound() {
    withSoundManager(SoundManager_Suspend);
}

void QzLuaState::resumeSound() {
    withSoundManager(SoundManager_Resume);
}

void QzLuaState::freeGLAssets() {
    LuaStateLock lock(this);
    lua_State* L = state();
    if (!L) return;
    for (const char* method : {"unloadAllImages", "clearForFreedImages"}) {
        lua_cpcall(L, callAssetManagerMethod, const_cast<char*>(method));
        lua_settop(L, 0);
    }
}
