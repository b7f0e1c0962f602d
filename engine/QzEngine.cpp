// The engine state: creating the interpreter, opening the libraries, running the engine
// script, the one error report and the shutdown order.
#include "QzEngine.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <lauxlib.h>
#include <lualib.h>

#include "QzAllocator.h"
#include "QzDatabase.h"
#include "QzEngineAssetManagerBinding.h"
#include "QzLuaAdditions.h"
#include "QzLuaPanic.h"
#include "QzMusicPlaylistBinding.h"
#include "QzPlatformWrappers.h"
#include "SoundManager.h"
#include "physics/QzPhysics.h"
#include "projectformat/pgf/PGFBinding.h"
#include "scenegraph/SGSceneGraphBinding.h"
#include "tables/QzTableHelper.h"

namespace {

constexpr const char* kStoreFileName = "persistent.save";
constexpr size_t kStorePathSize = 1024;

// The libraries every interpreter opens, in this order. The order differs from the
// interpreter's own luaL_openlibs: os and debug come before table, io, string and math.
const luaL_Reg kLibraries[] = {
    {"", luaopen_base},
    {LUA_LOADLIBNAME, luaopen_package},
    {LUA_OSLIBNAME, luaopen_os},
    {LUA_DBLIBNAME, luaopen_debug},
    {LUA_TABLIBNAME, luaopen_table},
    {LUA_IOLIBNAME, luaopen_io},
    {LUA_STRLIBNAME, luaopen_string},
    {LUA_MATHLIBNAME, luaopen_math},
    {"scenegraph", luaopen_scenegraph},
    {"physics", luaopen_physics},
    {"tableHelper", luaopen_tableHelper},
    {"pgf", luaopen_PGF},
    {"platformWrappers", luaopen_platformWrappers},
    {"musicPlaylist", luaopen_musicPlaylist},
    {"assetManager", luaopen_assetManager},
    {"soundManager", luaopen_soundManager},
    {nullptr, nullptr},
};

QzState* stateOf(lua_State* L) {
    return *static_cast<QzState**>(lua_touserdata(L, lua_upvalueindex(1)));
}

// callbacks.loadingWillStart, loadingWillEnd and gameDidEnd: call the host's function when
// it is set.
template <QzHostCallback QzState::*callback>
int callHostCallback(lua_State* L) {
    QzState* state = stateOf(L);
    if (state->*callback) (state->*callback)(state->callbackContext);
    return 0;
}

// callbacks.problemReported(message): the engine script tells the host of a problem of the
// game it has reported.
int problemReported(lua_State* L) {
    QzState* state = stateOf(L);
    const char* message = luaL_checkstring(L, 1);
    if (state->problemReported) state->problemReported(state->callbackContext, message);
    return 0;
}

int callExternalFunction(lua_State* L) {
    QzState* state = stateOf(L);
    if (!state->callExternalFunction) return 0;
    return state->callExternalFunction(state->externalFunctionContext, L);
}

const luaL_Reg kCallbacks[] = {
    {"loadingWillStart", callHostCallback<&QzState::loadingWillStart>},
    {"loadingWillEnd", callHostCallback<&QzState::loadingWillEnd>},
    {"gameDidEnd", callHostCallback<&QzState::gameDidEnd>},
    {"callExternalFunction", callExternalFunction},
    {"problemReported", problemReported},
    {nullptr, nullptr},
};

void registerCallbacks(QzState* state) {
    lua_State* L = state->L;
    *static_cast<QzState**>(lua_newuserdata(L, sizeof(QzState*))) = state;
    luaL_openlib(L, "callbacks", kCallbacks, 1);
    lua_pop(L, 1);
}

// Opens the store at the save path followed directly by "persistent.save" (the save path is
// a prefix, not a folder) and registers the `database` library. A path that would not fit
// the store path buffer is refused rather than cut.
void openStore(QzState* state, const char* savePath) {
    const size_t length = std::strlen(savePath) + std::strlen(kStoreFileName);
    if (length + 1 > kStorePathSize) {
        std::fprintf(stderr,
                     "Quillane: the save path is too long (%zu bytes with \"%s\", at most %zu): "
                     "saved values are disabled\n",
                     length, kStoreFileName, kStorePathSize - 1);
        return;
    }
    char storePath[kStorePathSize];
    std::snprintf(storePath, sizeof storePath, "%s%s", savePath, kStoreFileName);
    state->store = QzDatabaseOpen(storePath);
    QzDatabaseLoadLib(state->store, state->L);
    QzDatabaseSetTablesDirectory(state->store, savePath);
}

// Everything before the engine script runs.
void prepareInterpreter(QzState* state, const char* savePath) {
    Qz_LoadLibs(state->L);
    registerCallbacks(state);
    lua_pushinteger(state->L, 1);
    lua_setglobal(state->L, "_debuglevel");
    if (savePath) openStore(state, savePath);
}

// Calls the global named by the light userdata argument, with no arguments and no results.
int callNamedGlobal(lua_State* L) {
    lua_getglobal(L, static_cast<const char*>(lua_touserdata(L, 1)));
    lua_call(L, 0, 0);
    return 0;
}

// Fetches a global and calls it, both in protected mode: a script whose global table raises
// on a name it lacks (a "strict" module) then fails the call instead of raising outside any
// protected call. Leaves the error value on the stack, as lua_pcall does.
int callGlobalProtected(lua_State* L, const char* name) {
    return lua_cpcall(L, callNamedGlobal, const_cast<char*>(name));
}

// Runs a loaded chunk (or reports why it did not load), then calls initEngine, which is
// called even when the script failed.
int runEngineScript(QzState* state, int loadStatus) {
    lua_State* L = state->L;
    if (loadStatus == 0) loadStatus = lua_pcall(L, 0, 0, 0);
    if (loadStatus != 0) Qz_Report_Error(state);
    return callGlobalProtected(L, "initEngine");
}

}  // namespace

int Qz_LuaPanic(lua_State* L) {
    const char* message = lua_gettop(L) > 0 ? lua_tostring(L, -1) : nullptr;
    QzLuaPanicError error(message ? message : "unprotected error in the interpreter");
    lua_settop(L, 0);
    throw error;
}

QzState* Qz_NewState(int usePoolAllocator) {
    auto* state = new QzState{};
    state->allocator = QzPoolAllocatorNew();
    state->L = usePoolAllocator == 1 ? lua_newstate(Qz_PoolLuaAlloc, state->allocator) : luaL_newstate();
    if (state->L) lua_atpanic(state->L, Qz_LuaPanic);
    return state;
}

void Qz_LoadLibs(lua_State* L) {
    for (const luaL_Reg* library = kLibraries; library->func; ++library) {
        lua_pushcfunction(L, library->func);
        lua_pushstring(L, library->name);
        lua_call(L, 1, 0);
    }
    luaopen_luaExtensions(L);
}

int Qz_Init(QzState* state, const char* enginePath, const char* savePath) {
    prepareInterpreter(state, savePath);
    return runEngineScript(state, luaL_loadfile(state->L, enginePath));
}

int Qz_InitFromBuffer(QzState* state, const char* buffer, size_t length, const char* savePath) {
    prepareInterpreter(state, savePath);
    return runEngineScript(state, luaL_loadbuffer(state->L, buffer, length, "engine.luo"));
}

void Qz_Report_Error(QzState* state) {
    lua_State* L = state->L;
    ++state->errorsReported;
    const char* message = lua_gettop(L) > 0 ? lua_tostring(L, -1) : nullptr;
    if (message) std::fprintf(stderr, "(Qz_Report_Error) Lua Error: %s\n", message);
    if (message && state->problemReported) state->problemReported(state->callbackContext, message);
    lua_settop(L, 0);
}

void Qz_DestroyState(QzState* state) {
    if (!state) return;
    if (state->store) {
        QzDatabaseClose(state->store);
        state->store = nullptr;
    }
    if (state->L) {
        callGlobalProtected(state->L, "shutdownEngine");
        lua_close(state->L);
    }
    QzPoolAllocatorDestroy(state->allocator);
    delete state;
}

int64_t Qz_TotalBytesUsed(QzState* state) {
    // Kilobytes times 1024, widened before the multiplication so that more than 2 GB in use
    // does not overflow.
    return static_cast<int64_t>(lua_gc(state->L, LUA_GCCOUNT, 0)) * 1024;
}
