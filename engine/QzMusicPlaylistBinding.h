// The script library `musicPlaylist`: the shared music manager's playlist.
#ifndef QZ_MUSIC_PLAYLIST_BINDING_H
#define QZ_MUSIC_PLAYLIST_BINDING_H

struct lua_State;

int luaopen_musicPlaylist(lua_State* L);

#endif
