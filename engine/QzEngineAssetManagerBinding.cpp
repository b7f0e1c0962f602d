// The `assetManager` script library over QzEngineAssetManager, with path resolution through
// the engine script's project.
#include "QzEngineAssetManagerBinding.h"

#include <set>
#include <stdexcept>
#include <string>

#include <lauxlib.h>

#include "QzEngineAssetManager.h"
#include "QzImageLoader.h"
#include "QzLuaGuard.h"
#include "SGBindingSupport.h"
#include "SGSoundDecoder.h"

namespace {

// The contents of a manager userdata; manager is cleared by `delete`.
struct ManagerHandle {
    QzEngineAssetManager* manager;  // owned until deleted
};

ManagerHandle* toHandle(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index)) return nullptr;
    luaL_getmetatable(L, kQzAssetManagerMT);
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same ? static_cast<ManagerHandle*>(lua_touserdata(L, index)) : nullptr;
}

// The path the project gives for the name: project:pathForImage(name) (or pathForSound).
// A script error in it is raised; nil means an unknown name.
std::string resolveThroughProject(lua_State* L, const char* function, const std::string& name) {
    const int top = lua_gettop(L);
    lua_getglobal(L, "project");
    if (!lua_istable(L, -1)) {
        luaL_error(L, "cannot find the file of asset '%s': the engine script has no global table 'project'",
                   name.c_str());
    }
    lua_getfield(L, -1, function);
    if (!lua_isfunction(L, -1)) {
        luaL_error(L, "cannot find the file of asset '%s': 'project' has no function '%s'",
                   name.c_str(), function);
    }
    lua_pushvalue(L, -2);
    lua_pushlstring(L, name.data(), name.size());
    lua_call(L, 2, 1);
    std::string path;
    if (lua_type(L, -1) == LUA_TSTRING) {
        size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        path.assign(text, length);
    } else if (!lua_isnil(L, -1)) {
        luaL_error(L, "project:%s('%s') returned a %s: it must return the file's path as a string, "
                      "or nil for a name the project does not have",
                   function, name.c_str(), luaL_typename(L, -1));
    }
    lua_settop(L, top);
    return path;
}

// The name argument: a string (or a number, converted as the script would).
std::string checkName(lua_State* L, int index) {
    size_t length = 0;
    const char* text = luaL_checklstring(L, index, &length);
    return std::string(text, length);
}

// The names of the list on the top of the stack (its values, not its keys); duplicates
// collapse.
std::set<std::string> namesFromList(lua_State* L, int index, const char* function) {
    luaL_checktype(L, index, LUA_TTABLE);
    std::set<std::string> names;
    lua_pushnil(L);
    while (lua_next(L, index) != 0) {
        const int type = lua_type(L, -1);
        if (type != LUA_TSTRING && type != LUA_TNUMBER) {
            luaL_error(L, "'%s': the list holds a %s where asset names (strings) are expected",
                       function, luaL_typename(L, -1));
        }
        size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        names.emplace(text, length);
        lua_pop(L, 1);
    }
    return names;
}

// A new table of the names in ascending byte order, from key 0.
template <class Map>
void pushNames(lua_State* L, const Map& assets) {
    lua_createtable(L, static_cast<int>(assets.size()), 0);
    int key = 0;
    for (const auto& entry : assets) {
        lua_pushlstring(L, entry.first.data(), entry.first.size());
        lua_rawseti(L, -2, key++);
    }
}

// The registry key of the interpreter's main thread, stored by the library's opener.
constexpr const char* kMainThreadKey = "assetManager.mainThread";

struct PathRequest {
    const char* function;
    const std::string* name;
    std::string path;
};

int resolveProtected(lua_State* L) {
    auto* request = static_cast<PathRequest*>(lua_touserdata(L, 1));
    request->path = resolveThroughProject(L, request->function, *request->name);
    return 0;
}

// Paths are resolved on the interpreter's main thread, which lives as long as the manager
// (a coroutine that made the manager may be gone when a loader node asks for a path). The
// call is protected there; its error is thrown on to the guard of the script function
// that needed the path, which raises it on the script's own thread.
std::string resolveOnMainThread(lua_State* main, const char* function, const std::string& name) {
    PathRequest request{function, &name, {}};
    if (!lua_checkstack(main, 4)) throw std::runtime_error("cannot resolve the path of asset '" + name + "': stack overflow");
    if (lua_cpcall(main, resolveProtected, &request) != 0) {
        const char* text = lua_tostring(main, -1);
        std::string message = text ? text : "(error object is not a string)";
        lua_pop(main, 1);
        throw std::runtime_error(message);
    }
    return request.path;
}

int newManager(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, kMainThreadKey);
    lua_State* main = lua_tothread(L, -1);
    lua_pop(L, 1);
    if (!main) main = L;
    auto* handle = static_cast<ManagerHandle*>(lua_newuserdata(L, sizeof(ManagerHandle)));
    handle->manager = nullptr;
    luaL_getmetatable(L, kQzAssetManagerMT);
    lua_setmetatable(L, -2);
    handle->manager = new QzEngineAssetManager(
        [main](const char* function, const std::string& name) { return resolveOnMainThread(main, function, name); });
    return 1;
}

int deleteManager(lua_State* L) {
    ManagerHandle* handle = toHandle(L, lua_gettop(L));
    if (!handle || !handle->manager) return 0;
    if (handle->manager->isBusy()) {
        return luaL_error(L, "'delete': the asset manager is loading an asset (a project path function "
                             "called delete); delete it after the load has returned");
    }
    QzEngineAssetManager* manager = handle->manager;
    handle->manager = nullptr;
    delete manager;
    return 0;
}

int flushAssets(lua_State* L) {
    ManagerHandle* handle = toHandle(L, lua_gettop(L));
    if (handle && handle->manager) handle->manager->flushAssets();
    return 0;
}

// The manager of a function taking the object alone.
QzEngineAssetManager* managerAlone(lua_State* L, const char* function) {
    return QzCheckAssetManager(L, SGArgumentsFromTop(L, 1, function), function);
}

// The manager and the index of the one argument of a function taking the object and it.
QzEngineAssetManager* managerWithArgument(lua_State* L, const char* function, int* argument) {
    const int first = SGArgumentsFromTop(L, 2, function);
    *argument = first + 1;
    return QzCheckAssetManager(L, first, function);
}

// Functions taking the object and a name.
template <class Operation>
int withName(lua_State* L, const char* function, Operation operation) {
    int argument = 0;
    QzEngineAssetManager* manager = managerWithArgument(L, function, &argument);
    operation(*manager, checkName(L, argument));
    return 0;
}

// Functions taking the object and a list of names.
template <class Operation>
int withList(lua_State* L, const char* function, Operation operation) {
    int argument = 0;
    QzEngineAssetManager* manager = managerWithArgument(L, function, &argument);
    operation(*manager, namesFromList(L, argument, function));
    return 0;
}

using Names = std::set<std::string>;

// reloadImage and reloadSound: true when the asset was loaded again in place, false when it
// was not loaded (nothing to replace), nil and the reason when its file cannot be loaded.
template <class Operation>
int reloadNamed(lua_State* L, const char* function, Operation operation) {
    int argument = 0;
    QzEngineAssetManager* manager = managerWithArgument(L, function, &argument);
    bool loaded = false;
    std::string error;
    if (!operation(*manager, checkName(L, argument), &loaded, &error)) {
        lua_pushnil(L);
        lua_pushlstring(L, error.data(), error.size());
        return 2;
    }
    lua_pushboolean(L, loaded);
    return 1;
}

int reloadImage(lua_State* L) {
    return reloadNamed(L, "reloadImage", [](auto& m, const std::string& name, bool* loaded, std::string* error) {
        return m.reloadImage(name, loaded, error);
    });
}

int reloadSound(lua_State* L) {
    return reloadNamed(L, "reloadSound", [](auto& m, const std::string& name, bool* loaded, std::string* error) {
        return m.reloadSound(name, loaded, error);
    });
}

int reloadAllImages(lua_State* L) {
    managerAlone(L, "reloadAllImages")->reloadAllImages();
    return 0;
}

int unloadAllImages(lua_State* L) {
    managerAlone(L, "unloadAllImages")->unloadAllImages();
    return 0;
}

int clearForFreedImages(lua_State* L) {
    managerAlone(L, "clearForFreedImages");
    return 0;
}

int imageNames(lua_State* L) {
    pushNames(L, managerAlone(L, "imageNames")->getImages());
    return 1;
}

// assetManager.imageSize(path): the picture's width and height read from its header, or nil
// and the reason when the file is not a picture the player can show.
int imageSize(lua_State* L) {
    const std::string path = luaL_checkstring(L, 1);
    int64_t width = 0, height = 0;
    std::string error;
    if (!QzReadImageSize(path, &width, &height, &error)) {
        lua_pushnil(L);
        lua_pushstring(L, error.c_str());
        return 2;
    }
    lua_pushnumber(L, static_cast<lua_Number>(width));
    lua_pushnumber(L, static_cast<lua_Number>(height));
    return 2;
}

// Pushes the outcome of a decode for the script: true, or nil and the reason.
int pushDecoded(lua_State* L, bool decoded, const std::string& error) {
    if (decoded) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    lua_pushstring(L, error.c_str());
    return 2;
}

// assetManager.decodeImage(path): true when the image loader decodes the whole picture, else
// nil and the reason. Keeps nothing: a project check decodes every picture it names.
int decodeImage(lua_State* L) {
    const std::string path = luaL_checkstring(L, 1);
    QzBitmap bitmap;
    std::string error;
    const bool decoded = QzDecodeImageFile(path, &bitmap, &error);
    return pushDecoded(L, decoded, error);
}

// assetManager.decodeSound(path): true when the sound decoder reads the whole file, else nil and
// the reason (which names the file). Keeps nothing, as decodeImage.
int decodeSound(lua_State* L) {
    const std::string path = luaL_checkstring(L, 1);
    std::string error;
    SGSound sound = SGSoundNull;
    try {
        SGSoundLoadFromFile(&sound, path.c_str());
        SGSoundFree(&sound);
    } catch (const SGSoundLoadError& failure) {
        error = failure.what();
    }
    return pushDecoded(L, error.empty(), error);
}

int loadImageForName(lua_State* L) {
    return withName(L, "loadImageForName", [](auto& m, const std::string& name) { m.loadImageForName(name); });
}
int unloadImage(lua_State* L) {
    return withName(L, "unloadImage", [](auto& m, const std::string& name) { m.unloadImage(name); });
}
int cleanupAndLoadImages(lua_State* L) {
    return withList(L, "cleanupAndLoadImages", [](auto& m, const Names& names) {
        m.cleanupUnusedImages(names);
        m.loadNewImages(names);
    });
}
int cleanupUnusedImages(lua_State* L) {
    return withList(L, "cleanupUnusedImages", [](auto& m, const Names& names) { m.cleanupUnusedImages(names); });
}
int loadImages(lua_State* L) {
    return withList(L, "loadImages", [](auto& m, const Names& names) { m.loadNewImages(names); });
}
int soundNames(lua_State* L) {
    pushNames(L, managerAlone(L, "soundNames")->getSounds());
    return 1;
}
int loadSoundForName(lua_State* L) {
    return withName(L, "loadSoundForName", [](auto& m, const std::string& name) { m.loadSoundForName(name); });
}
int unloadSound(lua_State* L) {
    return withName(L, "unloadSound", [](auto& m, const std::string& name) { m.unloadSound(name); });
}
int cleanupAndLoadSounds(lua_State* L) {
    return withList(L, "cleanupAndLoadSounds", [](auto& m, const Names& names) {
        m.cleanupUnusedSounds(names);
        m.loadNewSounds(names);
    });
}
int cleanupUnusedSounds(lua_State* L) {
    return withList(L, "cleanupUnusedSounds", [](auto& m, const Names& names) { m.cleanupUnusedSounds(names); });
}
int loadSounds(lua_State* L) {
    return withList(L, "loadSounds", [](auto& m, const Names& names) { m.loadNewSounds(names); });
}

const luaL_Reg kFunctions[] = {
    {"new", QzGuarded<newManager>},
    {"delete", QzGuarded<deleteManager>},
    {"reloadAllImages", QzGuarded<reloadAllImages>},
    {"loadImageForName", QzGuarded<loadImageForName>},
    {"loadSoundForName", QzGuarded<loadSoundForName>},
    {"unloadImage", QzGuarded<unloadImage>},
    {"unloadAllImages", QzGuarded<unloadAllImages>},
    {"clearForFreedImages", QzGuarded<clearForFreedImages>},
    {"unloadSound", QzGuarded<unloadSound>},
    {"imageNames", QzGuarded<imageNames>},
    {"imageSize", QzGuarded<imageSize>},
    {"decodeImage", QzGuarded<decodeImage>},
    {"decodeSound", QzGuarded<decodeSound>},
    {"soundNames", QzGuarded<soundNames>},
    {"cleanupAndLoadImages", QzGuarded<cleanupAndLoadImages>},
    {"cleanupUnusedImages", QzGuarded<cleanupUnusedImages>},
    {"cleanupAndLoadSounds", QzGuarded<cleanupAndLoadSounds>},
    {"cleanupUnusedSounds", QzGuarded<cleanupUnusedSounds>},
    {"loadImages", QzGuarded<loadImages>},
    {"loadSounds", QzGuarded<loadSounds>},
    {"flushAssets", QzGuarded<flushAssets>},
    {"reloadImage", QzGuarded<reloadImage>},
    {"reloadSound", QzGuarded<reloadSound>},
    {nullptr, nullptr},
};

}  // namespace

QzEngineAssetManager* QzCheckAssetManager(lua_State* L, int index, const char* function) {
    ManagerHandle* handle = toHandle(L, index);
    if (!handle) {
        luaL_error(L, "bad argument to '%s' (asset manager expected, got %s)", function, luaL_typename(L, index));
    }
    if (!handle->manager) luaL_error(L, "'%s': the asset manager was deleted", function);
    return handle->manager;
}

QzEngineAssetManager* QzOptAssetManager(lua_State* L, int index, const char* function) {
    return lua_isnil(L, index) ? nullptr : QzCheckAssetManager(L, index, function);
}

int luaopen_assetManager(lua_State* L) {
    lua_pushthread(L);
    lua_setfield(L, LUA_REGISTRYINDEX, kMainThreadKey);
    luaL_register(L, "assetManager", kFunctions);
    luaL_newmetatable(L, kQzAssetManagerMT);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);
    return 1;
}
