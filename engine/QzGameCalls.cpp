// The game lifecycle, display, frame and input calls: each maps one native call onto one
// global, field or method of the engine script.
#include <initializer_list>

#include <lauxlib.h>

#include "QzEngine.h"

namespace {

constexpr const char* kLastErrorKey = "Qz.lastSilentError";

// A silent call returns its status without reporting. Its error value is moved into the
// registry (see Qz_LastSilentError) rather than left on the stack, where each failed frame
// would otherwise leave one more value until the stack overflowed.
// An error value without text (error({}) or error()) is kept as a text naming its type, so
// that a failure always shows in Qz_LastSilentError. A number is kept as its text: the text
// Qz_LastSilentError returns must live in the registry, not in a conversion made on the fly.
int finishSilent(lua_State* L, int status) {
    if (status == 0) return status;
    if (lua_isstring(L, -1)) {
        lua_tostring(L, -1);  // converts a number in place
    } else {
        lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, -1));
        lua_remove(L, -2);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, kLastErrorKey);
    return status;
}

// A reported call hands a failure to Qz_Report_Error, which empties the stack.
int finishReported(QzState* state, int status) {
    if (status != 0) Qz_Report_Error(state);
    return status;
}

int callGlobalSilently(QzState* state, const char* name) {
    lua_getglobal(state->L, name);
    return finishSilent(state->L, lua_pcall(state->L, 0, 0, 0));
}

// The value at index as a 32-bit integer, cut toward zero. Script numbers beyond the range
// saturate and NaN or a non-number reads as 0, where a plain cast would be undefined.
int32_t toInt32(lua_State* L, int index) {
    const lua_Number number = lua_tonumber(L, index);
    if (!(number == number)) return 0;
    if (number >= 2147483647.0f) return INT32_MAX;
    if (number <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(number);
}

// Pushes the field `name` of the table on top of the stack, replacing the table. Raises
// (unprotected) when the value on top is not indexable.
void descend(lua_State* L, const char* name) {
    lua_getfield(L, -1, name);
    lua_remove(L, -2);
}

// Reads game.<field> as an integer (a non-number reads as 0).
int32_t readGameInteger(lua_State* L, const char* field) {
    lua_getglobal(L, "game");
    descend(L, field);
    const auto value = toInt32(L, -1);
    lua_pop(L, 1);
    return value;
}

// Reads game.attributes.displaySize.<side>._value as an integer.
int32_t readDisplaySide(lua_State* L, const char* side) {
    lua_getglobal(L, "game");
    descend(L, "attributes");
    descend(L, "displaySize");
    descend(L, side);
    descend(L, "_value");
    const auto value = toInt32(L, -1);
    lua_pop(L, 1);
    return value;
}

// The steps of Qz_LoadGame: project = Project.new(Project), then project:load(path). They run
// protected, so a missing Project, a `new` that returns no object or an object without `load`
// fails the load silently instead of raising outside any protected call.
int loadGameSteps(lua_State* L) {
    const char* projectPath = static_cast<const char*>(lua_touserdata(L, 1));
    lua_getglobal(L, "Project");
    lua_getfield(L, -1, "new");
    lua_pushvalue(L, -2);
    lua_call(L, 1, 1);
    lua_pushvalue(L, -1);
    lua_setglobal(L, "project");
    lua_getfield(L, -1, "load");
    lua_pushvalue(L, -2);
    lua_pushstring(L, projectPath);
    lua_call(L, 2, 0);
    return 0;
}

}  // namespace

const char* Qz_LastSilentError(QzState* state) {
    lua_getfield(state->L, LUA_REGISTRYINDEX, kLastErrorKey);
    const char* message = lua_tostring(state->L, -1);  // kept alive by the registry
    lua_pop(state->L, 1);
    return message;
}

void Qz_ClearLastSilentError(QzState* state) {
    lua_pushnil(state->L);
    lua_setfield(state->L, LUA_REGISTRYINDEX, kLastErrorKey);
}

// --- Game lifecycle ---

int Qz_LoadGame(QzState* state, const char* projectPath) {
    finishSilent(state->L, lua_cpcall(state->L, loadGameSteps, const_cast<char*>(projectPath)));
    return 0;
}

void Qz_Play(QzState* state) {
    if (state) callGlobalSilently(state, "play");
}

void Qz_SystemInitiatedPause(QzState* state) {
    if (state) callGlobalSilently(state, "systemInitiatedPause");
}

void Qz_BehaviorInitiatedPause(QzState* state) {
    if (state) callGlobalSilently(state, "behaviorInitiatedPause");
}

int Qz_Stop(QzState* state) {
    return callGlobalSilently(state, "stop");
}

int Qz_Reset(QzState* state) {
    return callGlobalSilently(state, "reset");
}

// --- Display, resolution and scene ---

int32_t Qz_GetTargetDisplayResolution(QzState* state) {
    return readGameInteger(state->L, "resolution");
}

int32_t Qz_GetResolutionIndependence(QzState* state) {
    return readGameInteger(state->L, "resolutionIndependence");
}

int Qz_IsPluginEnabled(QzState* state, const char* pluginName) {
    lua_State* L = state->L;
    lua_getglobal(L, "game");
    descend(L, "plugins");
    descend(L, pluginName);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    descend(L, "enabled");
    descend(L, "_value");
    const bool enabled = lua_isboolean(L, -1) && lua_toboolean(L, -1);
    lua_pop(L, 1);
    return enabled ? 1 : 0;
}

void Qz_GetIntendedDisplaySize(QzState* state, int32_t* width, int32_t* height) {
    *width = readDisplaySide(state->L, "width");
    *height = readDisplaySide(state->L, "height");
}

void Qz_SizeForResolution(QzState* state, int32_t resolution, int32_t* width, int32_t* height,
                          int32_t* orientation) {
    lua_State* L = state->L;
    lua_getglobal(L, "sizeAndOrientationForResolution");
    lua_pushinteger(L, resolution);
    if (finishReported(state, lua_pcall(L, 1, 3, 0)) != 0) {
        *width = *height = *orientation = 0;
        return;
    }
    *width = toInt32(L, -3);
    *height = toInt32(L, -2);
    *orientation = toInt32(L, -1);
    lua_pop(L, 3);
}

int Qz_SetDeviceOrientation(QzState* state, int32_t orientation, bool flag) {
    lua_State* L = state->L;
    lua_getglobal(L, "deviceOrientationChanged");
    lua_pushinteger(L, orientation);
    lua_pushboolean(L, flag);
    return finishReported(state, lua_pcall(L, 2, 0, 0));
}

// Calls a global with no arguments for one result, reported; a failure yields 0.
template <typename Result, Result (*read)(lua_State*, int)>
Result callGlobalForResult(QzState* state, const char* name) {
    lua_State* L = state->L;
    lua_getglobal(L, name);
    if (finishReported(state, lua_pcall(L, 0, 1, 0)) != 0) return 0;
    const Result result = read(L, -1);
    lua_pop(L, 1);
    return result;
}

lua_Number toNumber(lua_State* L, int index) {
    return lua_tonumber(L, index);
}

int32_t Qz_GetInterfaceOrientation(QzState* state) {
    return callGlobalForResult<int32_t, toInt32>(state, "getInterfaceOrientation");
}

// Calls a method of a global table: table:method(pushed arguments...), reported.
template <typename PushArguments>
void callMethodReported(QzState* state, const char* global, const char* method, int count,
                        PushArguments pushArguments) {
    lua_State* L = state->L;
    lua_getglobal(L, global);
    // Looking a method up in a missing table would raise outside any protected call.
    if (!lua_istable(L, -1)) {
        lua_pushfstring(L, "global '%s' is not a table: cannot call its method '%s'", global, method);
        Qz_Report_Error(state);
        return;
    }
    lua_getfield(L, -1, method);
    lua_pushvalue(L, -2);
    pushArguments(L);
    if (finishReported(state, lua_pcall(L, count + 1, 0, 0)) == 0) lua_pop(L, 1);
}

void Qz_SetScreenSize(QzState* state, int32_t width, int32_t height) {
    callMethodReported(state, "devices", "setScreenSize", 2, [=](lua_State* L) {
        lua_pushinteger(L, width);
        lua_pushinteger(L, height);
    });
}

void Qz_SetShouldChangeToScene(QzState* state, const char* sceneName) {
    callMethodReported(state, "game", "setNeedsToChangeScene", 2, [=](lua_State* L) {
        lua_pushstring(L, sceneName);
        lua_pushboolean(L, 0);
    });
}

float Qz_GetVolume(QzState* state) {
    return static_cast<float>(callGlobalForResult<lua_Number, toNumber>(state, "getVolume"));
}

int Qz_SetVolume(QzState* state, float volume) {
    lua_State* L = state->L;
    lua_getglobal(L, "setVolume");
    lua_pushnumber(L, volume);
    return finishReported(state, lua_pcall(L, 1, 0, 0));
}

// --- Frame ---

int Qz_Update(QzState* state, float secondsSinceLastFrame) {
    lua_State* L = state->L;
    lua_getglobal(L, "update");
    lua_pushnumber(L, secondsSinceLastFrame);
    return finishSilent(L, lua_pcall(L, 1, 0, 0));
}

int Qz_Render(QzState* state) {
    return callGlobalSilently(state, "render");
}

// --- Input ---

namespace {

int callWithKey(QzState* state, const char* global, const char* keyName) {
    lua_State* L = state->L;
    lua_getglobal(L, global);
    lua_pushstring(L, keyName);
    return finishSilent(L, lua_pcall(L, 1, 0, 0));
}

int callWithNumbers(QzState* state, const char* global, std::initializer_list<float> numbers) {
    lua_State* L = state->L;
    lua_getglobal(L, global);
    for (float number : numbers) lua_pushnumber(L, number);
    return finishSilent(L, lua_pcall(L, static_cast<int>(numbers.size()), 0, 0));
}

// Touch calls take the two integers first natively and last in the script.
int callTouch(QzState* state, const char* global, float x, float y, int32_t touch,
              const int32_t* second) {
    lua_State* L = state->L;
    lua_getglobal(L, global);
    lua_pushnumber(L, x);
    lua_pushnumber(L, y);
    lua_pushinteger(L, touch);
    if (second) lua_pushinteger(L, *second);
    return finishSilent(L, lua_pcall(L, second ? 4 : 3, 0, 0));
}

}  // namespace

int Qz_KeyDown(QzState* state, const char* keyName) {
    return callWithKey(state, "keyDown", keyName);
}

int Qz_KeyUp(QzState* state, const char* keyName) {
    return callWithKey(state, "keyUp", keyName);
}

int Qz_MouseDown(QzState* state, float x, float y) {
    return callWithNumbers(state, "mouseDown", {x, y});
}

int Qz_MouseMoved(QzState* state, float x, float y) {
    return callWithNumbers(state, "mouseMoved", {x, y});
}

int Qz_MouseUp(QzState* state, float x, float y) {
    return callWithNumbers(state, "mouseUp", {x, y});
}

int Qz_TouchDown(QzState* state, int32_t touch, int32_t second, float x, float y) {
    return callTouch(state, "touchDown", x, y, touch, &second);
}

int Qz_TouchMoved(QzState* state, int32_t touch, float x, float y) {
    return callTouch(state, "touchMoved", x, y, touch, nullptr);
}

int Qz_TouchUp(QzState* state, int32_t touch, int32_t second, float x, float y) {
    return callTouch(state, "touchUp", x, y, touch, &second);
}

int Qz_TouchCancel(QzState* state) {
    return callGlobalSilently(state, "touchCancel");
}

int Qz_Accelerated(QzState* state, float x, float y, float z) {
    return callWithNumbers(state, "accelerated", {x, y, z});
}

int Qz_RaiseExternalEvent(QzState* state, const char* eventName, const char* const* arguments,
                          int32_t count) {
    lua_State* L = state->L;
    lua_getglobal(L, "raiseExternalEvent");
    lua_pushstring(L, eventName);
    lua_createtable(L, count > 0 ? count : 0, 0);
    for (int32_t i = 0; i < count; ++i) {
        lua_pushstring(L, arguments[i]);
        lua_rawseti(L, -2, i + 1);
    }
    return finishReported(state, lua_pcall(L, 2, 0, 0));
}
