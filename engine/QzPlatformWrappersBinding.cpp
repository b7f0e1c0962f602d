// The script library `platformWrappers`: the game clock, the wall clock, music and logging.
#include <cmath>

#include <lauxlib.h>
#include <lua.h>

#include "QzLuaGuard.h"
#include "QzPCMStream.h"
#include "QzPlatformWrappers.h"

namespace {

int getSystemTime(lua_State* L) {
    lua_pushnumber(L, QzGetSystemTime());
    return 1;
}

// The path is the first argument (nil plays no new file); the loop flag is read from the
// last argument, so a call with the path alone does not loop.
int playMusic(lua_State* L) {
    const char* path = luaL_optstring(L, 1, nullptr);
    const int loop = lua_gettop(L) >= 2 ? static_cast<int>(lua_tointeger(L, -1)) : 0;
    QzPlayAACFile(path, loop);
    return 0;
}

int pauseMusic(lua_State*) {
    QzPauseAACFile();
    return 0;
}

int stopMusic(lua_State*) {
    QzStopAACFile();
    return 0;
}

int setMusicVolume(lua_State* L) {
    const lua_Number volume = luaL_checknumber(L, 1);
    // Below 0 and NaN are taken as 0 by the music manager (a fade may step past 0); a volume
    // without bound has no meaning.
    luaL_argcheck(L, !(std::isinf(volume) && volume > 0), 1, "the volume must be finite");
    SetAACFileVolume(static_cast<float>(volume));
    return 0;
}

// platformWrappers.decodeMusic(path): true when the music player can read the whole file,
// else nil and the reason. Plays nothing: a project check decodes every music file it names.
int decodeMusic(lua_State* L) {
    const char* path = luaL_checkstring(L, 1);
    std::string error;
    if (QzDecodeWholeStream(path, &error)) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    lua_pushstring(L, error.c_str());
    return 2;
}

int isMusicPlaying(lua_State* L) {
    lua_pushnumber(L, IsAACFilePlaying() ? 1 : 0);
    return 1;
}

int getClockTime(lua_State* L) {
    int32_t components[7];
    QzGetClockTime(components);
    lua_createtable(L, 6, 1);
    for (int i = 0; i < 7; ++i) {
        lua_pushinteger(L, components[i]);
        lua_rawseti(L, -2, i);
    }
    return 1;
}

// The message is the last argument in its text form: strings and numbers as they are,
// other values as `tostring` would show them.
int logDebugStatement(lua_State* L) {
    luaL_checkany(L, 1);
    lua_getglobal(L, "tostring");
    lua_pushvalue(L, -2);
    lua_call(L, 1, 1);
    const char* message = lua_tostring(L, -1);
    QzLogDebugStatement(message ? message : "");
    return 0;
}

const luaL_Reg kPlatformWrappers[] = {
    {"getSystemTime", getSystemTime},
    {"playMusic", QzGuarded<playMusic>},
    {"pauseMusic", QzGuarded<pauseMusic>},
    {"stopMusic", QzGuarded<stopMusic>},
    {"setMusicVolume", QzGuarded<setMusicVolume>},
    {"isMusicPlaying", QzGuarded<isMusicPlaying>},
    {"decodeMusic", QzGuarded<decodeMusic>},
    {"getClockTime", getClockTime},
    {"logDebugStatement", QzGuarded<logDebugStatement>},
    {nullptr, nullptr},
};

}  // namespace

int luaopen_platformWrappers(lua_State* L) {
    luaL_openlib(L, "platformWrappers", kPlatformWrappers, 0);
    return 1;
}
