// The `assetManager` script library: asset managers as script objects.
#ifndef QZ_ENGINE_ASSET_MANAGER_BINDING_H
#define QZ_ENGINE_ASSET_MANAGER_BINDING_H

#include <lua.h>

class QzEngineAssetManager;

inline constexpr const char* kQzAssetManagerMT = "AssetManager.MT";

// Registers the global table "assetManager" and the metatable "AssetManager.MT"; leaves the
// library table on the stack.
int luaopen_assetManager(lua_State* L);

// The manager of the asset-manager userdata at index, which must exist (not deleted);
// raises a script error naming the function otherwise.
QzEngineAssetManager* QzCheckAssetManager(lua_State* L, int index, const char* function);

// The manager of an optional argument: none for nil, the manager for a live asset-manager
// userdata; raises a script error naming the function for anything else.
QzEngineAssetManager* QzOptAssetManager(lua_State* L, int index, const char* function);

#endif
