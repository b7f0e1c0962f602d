// The script library `musicPlaylist`: play, next, stop with a fade, the track that plays, and
// the update the engine script calls every frame.
#include "QzMusicPlaylistBinding.h"

#include <cmath>
#include <string>
#include <vector>

#include <lauxlib.h>
#include <lua.h>

#include "QzLuaGuard.h"
#include "QzMusicManager.h"

namespace {

// A number of seconds or a level: 0 and up, finite.
float checkAmount(lua_State* L, int index, lua_Number value, const char* what) {
    luaL_argcheck(L, value >= 0 && std::isfinite(value), index, what);
    return static_cast<float>(value);
}

// An optional field of the options table.
lua_Number optionalNumber(lua_State* L, const char* field, lua_Number fallback) {
    lua_getfield(L, 2, field);
    const lua_Number value = lua_isnil(L, -1) ? fallback : lua_tonumber(L, -1);
    if (!lua_isnil(L, -1) && !lua_isnumber(L, -1)) luaL_error(L, "bad option '%s' to 'play' (number expected)", field);
    lua_pop(L, 1);
    return value;
}

bool optionalFlag(lua_State* L, const char* field, bool fallback) {
    lua_getfield(L, 2, field);
    const bool value = lua_isnil(L, -1) ? fallback : lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return value;
}

// musicPlaylist.play(paths, options): paths is a list of file paths; options may hold shuffle,
// loop (true unless false), fade (seconds) and volume.
int play(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    if (lua_isnoneornil(L, 2)) {
        lua_settop(L, 1);
        lua_newtable(L);
    }
    luaL_checktype(L, 2, LUA_TTABLE);
    std::vector<std::string> paths;
    const size_t count = lua_objlen(L, 1);
    for (size_t i = 1; i <= count; ++i) {
        lua_rawgeti(L, 1, static_cast<int>(i));
        if (lua_type(L, -1) != LUA_TSTRING) luaL_argerror(L, 1, "every track must be a path (a string)");
        paths.emplace_back(lua_tostring(L, -1));
        lua_pop(L, 1);
    }
    QzPlaylistOptions options;
    options.shuffle = optionalFlag(L, "shuffle", false);
    options.loop = optionalFlag(L, "loop", true);
    options.fadeSeconds = checkAmount(L, 2, optionalNumber(L, "fade", 0), "the fade must be a number of seconds from 0");
    options.volume = checkAmount(L, 2, optionalNumber(L, "volume", 1), "the volume must be a number from 0");
    QzMusicManager::sharedMusicManager().playPlaylist(std::move(paths), options);
    return 0;
}

int next(lua_State*) {
    QzMusicManager::sharedMusicManager().playlist().next();
    return 0;
}

// musicPlaylist.stop([seconds]): fades out over the seconds given, at once without.
int stop(lua_State* L) {
    const float seconds = checkAmount(L, 1, luaL_optnumber(L, 1, 0), "the fade must be a number of seconds from 0");
    QzMusicManager::sharedMusicManager().playlist().stop(seconds);
    return 0;
}

int update(lua_State*) {
    QzMusicManager::sharedMusicManager().update();
    return 0;
}

// The path of the track that plays, or nil.
int track(lua_State* L) {
    const std::string path = QzMusicManager::sharedMusicManager().playlist().currentTrack();
    if (path.empty()) lua_pushnil(L);
    else lua_pushstring(L, path.c_str());
    return 1;
}

const luaL_Reg kMusicPlaylist[] = {
    {"play", QzGuarded<play>},
    {"next", QzGuarded<next>},
    {"stop", QzGuarded<stop>},
    {"update", QzGuarded<update>},
    {"track", QzGuarded<track>},
    {nullptr, nullptr},
};

}  // namespace

int luaopen_musicPlaylist(lua_State* L) {
    luaL_openlib(L, "musicPlaylist", kMusicPlaylist, 0);
    return 1;
}
