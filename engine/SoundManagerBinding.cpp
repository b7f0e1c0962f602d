// The script library `soundManager` and the native interface the host application uses to
// reach the script's shared sound manager.
#include <cassert>

#include <lauxlib.h>
#include <lua.h>

#include "QzLuaGuard.h"
#include "SoundManager.h"

namespace {

constexpr const char* kSoundManagerMT = "SoundManager.MT";

// The script object: a userdata block holding the manager, null once deleted.
using SoundManagerSlot = SoundManager*;

// The object argument is the top stack value, whatever comes before it.
SoundManagerSlot* checkSoundManager(lua_State* L) {
    return static_cast<SoundManagerSlot*>(luaL_checkudata(L, lua_gettop(L) > 0 ? lua_gettop(L) : 1, kSoundManagerMT));
}

// True when the value at `index` is a full userdata with the sound manager's metatable.
bool isSoundManager(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index)) return false;
    luaL_getmetatable(L, kSoundManagerMT);
    const bool same = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    return same;
}

int newSoundManager(lua_State* L) {
    auto* slot = static_cast<SoundManagerSlot*>(lua_newuserdata(L, sizeof(SoundManagerSlot)));
    *slot = nullptr;
    luaL_getmetatable(L, kSoundManagerMT);
    lua_setmetatable(L, -2);
    *slot = new SoundManager;
    return 1;
}

int deleteSoundManager(lua_State* L) {
    SoundManagerSlot* slot = checkSoundManager(L);
    delete *slot;
    *slot = nullptr;
    return 0;
}

int makeCurrent(lua_State* L) {
    if (SoundManager* manager = *checkSoundManager(L)) manager->makeCurrent();
    return 0;
}

int update(lua_State* L) {
    if (SoundManager* manager = *checkSoundManager(L)) manager->update();
    return 0;
}

const luaL_Reg kSoundManagerFunctions[] = {
    {"new", QzGuarded<newSoundManager>},
    {"delete", deleteSoundManager},
    {"makeCurrent", makeCurrent},
    {"update", update},
    {nullptr, nullptr},
};

SoundManager* managerIn(void* block) { return *static_cast<SoundManagerSlot*>(block); }

}  // namespace

int luaopen_soundManager(lua_State* L) {
    luaL_register(L, "soundManager", kSoundManagerFunctions);
    luaL_newmetatable(L, kSoundManagerMT);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    return 1;
}

// The value is popped again before returning: the host calls this every frame, and a value
// left behind each time would grow the stack without bound. The global keeps the userdata
// alive.
SoundManager* QzOptSoundManager(lua_State* L, int index, const char* function) {
    if (lua_isnil(L, index)) return nullptr;
    if (!isSoundManager(L, index)) {
        luaL_error(L, "bad argument to '%s' (sound manager expected, got %s)", function, luaL_typename(L, index));
    }
    SoundManager* manager = *static_cast<SoundManagerSlot*>(lua_touserdata(L, index));
    if (!manager) luaL_error(L, "'%s': the sound manager was deleted", function);
    return manager;
}

void* SoundManager_FromLuaState(lua_State* L) {
    lua_getglobal(L, "sharedSoundManager");
    void* block = isSoundManager(L, -1) ? lua_touserdata(L, -1) : nullptr;
    lua_pop(L, 1);
    return block;
}

void SoundManager_Suspend(void* soundManager) {
    assert(soundManager != NULL);
    if (SoundManager* manager = soundManager ? managerIn(soundManager) : nullptr) manager->suspend();
}

void SoundManager_Resume(void* soundManager) {
    assert(soundManager != NULL);
    if (SoundManager* manager = soundManager ? managerIn(soundManager) : nullptr) manager->resume();
}

void SoundManager_MakeCurrent(void* soundManager) {
    if (SoundManager* manager = soundManager ? managerIn(soundManager) : nullptr) manager->makeCurrent();
}

size_t SoundManager_PlayingCount(void* soundManager) {
    const SoundManager* manager = soundManager ? managerIn(soundManager) : nullptr;
    return manager ? manager->playingCount() : 0;
}
