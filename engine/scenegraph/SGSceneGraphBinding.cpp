// The `scenegraph` script library: constants, scenes, spaces, render nodes, node indexing
// and the checkers every binding function uses.
#include "SGSceneGraphBinding.h"

#include <cstdio>

#include <lauxlib.h>

#include "QzEngineAssetManagerBinding.h"
#include "QzLuaGuard.h"
#include "SGBindingSupport.h"
#include "SGImage.h"
#include "SGScene.h"
#include "SoundManager.h"

namespace {

// Script names of the port IDs, by ID.
constexpr const char* kPortNames[] = {
    "value", "input1", "input2", "operation", "output", "name", "asset", "color", "r", "g",
    "b", "a", "flipHorizontal", "flipVertical", "input", "near", "far", "viewRotation",
    "modelRotation", "time", "spawnParticles", "numParticles", "image", "direction",
    "lifetime", "lifestart", "colorTarget", "colorTransitionTime", "x", "y", "rotation", "size",
    "sizeTarget", "sizeTransitionTime", "gravityX", "gravityY", "speed", "angularVelocity",
    "blendingMode", "angle", "spacing", "copies", "gain", "sound", "dx", "dy",
    "sourceRelative", "volume", "pitch", "loop", "trigger", "stop", "pause", "resume",
    "playing", "width", "height", "horizontalWrapping", "verticalWrapping",
    "horizontalAnchor", "verticalAnchor", "tileWidth", "tileHeight", "text", "font",
    "fontSize", "alignment", "wrapX", "wrapY", "wrapWidth", "wrapHeight", "wrap", "directionSpread",
    "speedSpread", "columns", "rows", "cell", "markup", "outlineColor", "outlineWidth", "shadowColor",
    "shadowDx", "shadowDy"};
constexpr int kPortNameCount = static_cast<int>(sizeof kPortNames / sizeof kPortNames[0]);

struct Constant {
    const char* name;
    uint32_t value;
};

// The value types, then the node classes; attributeNode is replaced by its class table.
constexpr Constant kConstants[] = {
    {"NIL", 0}, {"STRING", 1}, {"NUMBER", 2}, {"INTEGER", 3}, {"BOOLEAN", 4}, {"COLOR", 5},
    {"SOUND", 6}, {"IMAGE", 7}, {"ASSETNAME", 8},
    {"attributeNode", SGAttributeNodeClass}, {"arithmeticNode", SGArithmeticNodeClass},
    {"assetLoaderNode", SGAssetLoaderNodeClass}, {"clearNode", SGClearNodeClass},
    {"colorNode", SGColorNodeClass}, {"imageFlipNode", SGImageFlipNodeClass},
    {"imageCellNode", SGImageCellNodeClass},
    {"imageLoaderNode", SGImageLoaderNodeClass}, {"ortho2DSpace", SGOrtho2DSpaceClass},
    {"particleSystemNode", SGParticleSystemNodeClass},
    {"replicatorSpace", SGReplicatorSpaceClass}, {"space", SGSpaceClass},
    {"spriteNode", SGSpriteNodeClass}, {"soundListenerNode", SGSoundListenerNodeClass},
    {"soundLoaderNode", SGSoundLoaderNodeClass}, {"soundPlayerNode", SGSoundPlayerNodeClass},
    {"stringToImageNode", SGStringToImageNodeClass}, {"wrapSpace", SGWrapSpaceClass}};

// Metatable names by node kind, in the order pushNode chooses them.
constexpr struct {
    unsigned kind;
    const char* metatable;
} kKinds[] = {{SGKindSpace, kSpaceMT},
              {SGKindRenderNode, kRenderNodeMT},
              {SGKindAttribute, kAttributeNodeMT},
              {SGKindNode, kNodeMT}};

// Each metatable is also kept in the registry under its name's address, so the checks that
// run for every port and node access find it without hashing its name.
void newMetatable(lua_State* L, const char* name) {
    luaL_newmetatable(L, name);
    lua_pushlightuserdata(L, const_cast<char*>(name));
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

void pushMetatable(lua_State* L, const char* name) {
    lua_pushlightuserdata(L, const_cast<char*>(name));
    lua_rawget(L, LUA_REGISTRYINDEX);
}

bool hasMetatable(lua_State* L, int index, const char* name) {
    if (!lua_getmetatable(L, index)) return false;
    pushMetatable(L, name);
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    return same;
}

// --- scenes ---

SGScene* checkScene(lua_State* L, int index, const char* function) {
    if (lua_type(L, index) != LUA_TUSERDATA || !hasMetatable(L, index, kSceneMT)) {
        luaL_error(L, "bad argument to '%s' (scene expected, got %s)", function,
                   luaL_typename(L, index));
    }
    auto* handle = static_cast<SGSceneHandle*>(lua_touserdata(L, index));
    if (!handle->scene) luaL_error(L, "'%s': the scene was deleted", function);
    return handle->scene;
}

SGSpace* checkSpace(lua_State* L, int index, const char* function) {
    return static_cast<SGSpace*>(SGCheckNode(L, index, SGKindSpace, function));
}

// scene.new(soundManager, assetManager): either may be nil, and the scene then has none.
// The scene and its spaces borrow the managers.
int sceneNew(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "new");
    SoundManager* sound = QzOptSoundManager(L, first, "new");
    QzEngineAssetManager* assets = QzOptAssetManager(L, first + 1, "new");
    auto* handle = static_cast<SGSceneHandle*>(lua_newuserdata(L, sizeof(SGSceneHandle)));
    handle->scene = nullptr;
    pushMetatable(L, kSceneMT);
    lua_setmetatable(L, -2);
    handle->scene = new SGScene(sound, assets);
    return 1;
}

// Destroys the scene (with its spaces and nodes) once; the handle forgets it first.
void deleteScene(SGSceneHandle* handle) {
    SGScene* scene = handle->scene;
    handle->scene = nullptr;
    if (scene) scene->release();
}

int sceneDelete(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "delete");
    if (lua_type(L, first) != LUA_TUSERDATA || !hasMetatable(L, first, kSceneMT)) {
        return luaL_error(L, "bad argument to 'delete' (scene expected, got %s)",
                          luaL_typename(L, first));
    }
    deleteScene(static_cast<SGSceneHandle*>(lua_touserdata(L, first)));
    return 0;
}

// A scene whose userdata is collected can never be deleted by the script any more: the
// collector deletes it (a scene already deleted is left alone).
int sceneGC(lua_State* L) {
    if (lua_type(L, 1) != LUA_TUSERDATA || !hasMetatable(L, 1, kSceneMT)) return 0;
    deleteScene(static_cast<SGSceneHandle*>(lua_touserdata(L, 1)));
    return 0;
}

int sceneDefaultSpace(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "defaultSpace");
    SGPushNode(L, &checkScene(L, first, "defaultSpace")->defaultSpace);
    return 1;
}

int sceneCreateSpace(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "createSpace");
    SGScene* scene = checkScene(L, first, "createSpace");
    const auto nodeClass = static_cast<uint32_t>(SGCheckInteger(L, first + 1));
    SGPushNode(L, scene->createSpace(nodeClass));
    return 1;
}

int sceneRemoveSpace(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "removeSpace");
    SGScene* scene = checkScene(L, first, "removeSpace");
    scene->removeSpace(checkSpace(L, first + 1, "removeSpace"));
    return 0;
}

int sceneRender(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "render");
    checkScene(L, first, "render")->render();
    return 0;
}

int sceneRenderWithInitialState(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "renderWithInitialState");
    SGScene* scene = checkScene(L, first, "renderWithInitialState");
    scene->renderWithInitialState(*checkScene(L, first + 1, "renderWithInitialState"));
    return 0;
}

// --- spaces, render nodes, nodes ---

int spaceCreateNode(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "createNode");
    SGSpace* space = checkSpace(L, first, "createNode");
    const auto nodeClass = static_cast<uint32_t>(SGCheckInteger(L, first + 1));
    if (SGSpace::isSpaceClass(nodeClass) && space->nestingDepth >= SGSpace::kMaxNestingDepth) {
        return luaL_error(L, "'createNode': spaces cannot be nested more than %d deep",
                          static_cast<int>(SGSpace::kMaxNestingDepth));
    }
    SGNode* node = space->createNode(nodeClass);
    if (node) {
        SGPushNode(L, node);
    } else {
        lua_pushnil(L);
    }
    return 1;
}

// Anything but a userdata in the node position prints a message and asks the engine script
// for a stack trace through its global logtrace.
int spaceRemoveNode(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "removeNode");
    SGSpace* space = checkSpace(L, first, "removeNode");
    if (lua_type(L, first + 1) != LUA_TUSERDATA) {
        std::printf("Attempt to remove nil node\n");
        std::fflush(stdout);
        lua_getglobal(L, "logtrace");
        lua_call(L, 0, 0);
        return 0;
    }
    space->removeNode(SGCheckNode(L, first + 1, SGKindAnyNode, "removeNode"));
    return 0;
}

int spaceSortRenderNodes(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "sortRenderNodes");
    checkSpace(L, first, "sortRenderNodes")->sortRenderNodes();
    return 0;
}

int spaceCountRenderNodes(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "countRenderNodes");
    lua_pushnumber(L, static_cast<lua_Number>(
                          checkSpace(L, first, "countRenderNodes")->countRenderNodes()));
    return 1;
}

SGRenderNode* checkRenderNode(lua_State* L, int index, const char* function) {
    return static_cast<SGRenderNode*>(
        SGCheckNode(L, index, SGKindRenderNode | SGKindSpace, function));
}

int renderNodeGetLayer(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "getLayer");
    lua_pushnumber(L, static_cast<lua_Number>(checkRenderNode(L, first, "getLayer")->layer));
    return 1;
}

int renderNodeSetLayer(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 2, "setLayer");
    checkRenderNode(L, first, "setLayer")->layer = SGCheckInteger(L, first + 1);
    return 0;
}

// Calls the node's compute step directly, without the dirty test.
int nodeCompute(lua_State* L) {
    const int first = SGArgumentsFromTop(L, 1, "compute");
    SGCheckNode(L, first, SGKindNode | SGKindRenderNode | SGKindSpace, "compute")->compute();
    return 0;
}

// __index of the node metatables, bound to its metatable (upvalue 1) and the port names
// (upvalue 2): a port name gives a new port reference, anything else the metatable's entry.
int nodeIndex(lua_State* L) {
    lua_settop(L, 2);
    lua_pushvalue(L, 2);
    lua_rawget(L, lua_upvalueindex(2));
    if (lua_type(L, -1) == LUA_TNUMBER) {
        const SGNodeHandle* handle = SGToNodeHandle(L, 1, SGKindAnyNode);
        if (!handle) return luaL_error(L, "port '%s' asked of something that is not a node",
                                       lua_tostring(L, 2));
        const lua_Number id = lua_tonumber(L, -1);
        lua_createtable(L, 3, 0);
        lua_pushlightuserdata(L, static_cast<SGObject*>(handle->node));
        lua_rawseti(L, -2, 1);
        lua_pushnumber(L, id);
        lua_rawseti(L, -2, 2);
        lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<uintptr_t>(handle->serial)));
        lua_rawseti(L, -2, 3);
        pushMetatable(L, kPortMT);
        lua_setmetatable(L, -2);
        return 1;
    }
    lua_pop(L, 1);
    lua_gettable(L, lua_upvalueindex(1));
    return 1;
}

const luaL_Reg kSceneFunctions[] = {
    {"new", QzGuarded<sceneNew>},
    {"delete", QzGuarded<sceneDelete>},
    {"defaultSpace", QzGuarded<sceneDefaultSpace>},
    {"createSpace", QzGuarded<sceneCreateSpace>},
    {"removeSpace", QzGuarded<sceneRemoveSpace>},
    {"render", QzGuarded<sceneRender>},
    {"renderWithInitialState", QzGuarded<sceneRenderWithInitialState>},
    {"__gc", QzGuarded<sceneGC>},
    {nullptr, nullptr}};

const luaL_Reg kNodeFunctions[] = {{"compute", QzGuarded<nodeCompute>}, {nullptr, nullptr}};

const luaL_Reg kRenderNodeFunctions[] = {
    {"getLayer", QzGuarded<renderNodeGetLayer>},
    {"setLayer", QzGuarded<renderNodeSetLayer>},
    {nullptr, nullptr}};

const luaL_Reg kSpaceFunctions[] = {
    {"createNode", QzGuarded<spaceCreateNode>},
    {"removeNode", QzGuarded<spaceRemoveNode>},
    {"sortRenderNodes", QzGuarded<spaceSortRenderNodes>},
    {"countRenderNodes", QzGuarded<spaceCountRenderNodes>},
    {nullptr, nullptr}};

// Fills the metatable on the top of the stack with the node index bound to it.
void setNodeIndex(lua_State* L) {
    lua_pushvalue(L, -1);
    lua_getfield(L, LUA_REGISTRYINDEX, kNodeConstants);
    lua_pushcclosure(L, QzGuarded<nodeIndex>, 2);
    lua_setfield(L, -2, "__index");
}

// Leaves the new node metatable on the stack; parent, when given, becomes its metatable.
void newNodeMetatable(lua_State* L, const char* name, const luaL_Reg* functions,
                      const char* parent) {
    newMetatable(L, name);
    SGSetFunctions(L, functions);
    setNodeIndex(L);
    if (parent) {
        pushMetatable(L, parent);
        lua_setmetatable(L, -2);
    }
}

}  // namespace

// --- shared checkers ---

void SGPushNode(lua_State* L, SGNode* node) {
    // Read before the allocation: it may run the collector, and a collected scene takes
    // its nodes with it. The handle then holds a stale serial and raises at its first use.
    const uint64_t serial = node->serial();
    const uint32_t flags = node->classFlags;
    auto* handle = static_cast<SGNodeHandle*>(lua_newuserdata(L, sizeof(SGNodeHandle)));
    handle->node = node;
    handle->serial = serial;
    const char* metatable = (flags & SGSpaceClass)           ? kSpaceMT
                            : (flags & SGRenderBit)          ? kRenderNodeMT
                            : (flags & SGAttributeNodeClass) ? kAttributeNodeMT
                                                             : kNodeMT;
    pushMetatable(L, metatable);
    lua_setmetatable(L, -2);
}

SGNodeHandle* SGToNodeHandle(lua_State* L, int index, unsigned kinds) {
    if (lua_type(L, index) != LUA_TUSERDATA) return nullptr;
    for (const auto& kind : kKinds) {
        if ((kinds & kind.kind) && hasMetatable(L, index, kind.metatable)) {
            return static_cast<SGNodeHandle*>(lua_touserdata(L, index));
        }
    }
    return nullptr;
}

SGNode* SGCheckNode(lua_State* L, int index, unsigned kinds, const char* function) {
    SGNodeHandle* handle = SGToNodeHandle(L, index, kinds);
    if (!handle) {
        const char* expected = kinds == SGKindSpace ? "space"
                               : kinds == SGKindAttribute ? "attribute node"
                               : (kinds & SGKindNode) ? "node" : "render node";
        luaL_error(L, "bad argument to '%s' (%s expected, got %s)", function, expected,
                   luaL_typename(L, index));
    }
    if (!handle->node || !SGObject::isAlive(static_cast<SGObject*>(handle->node), handle->serial)) {
        luaL_error(L, "'%s': the node was removed (its space or scene no longer has it)",
                   function);
    }
    return handle->node;
}

int SGArgumentsFromTop(lua_State* L, int count, const char* function) {
    const int top = lua_gettop(L);
    if (top < count) {
        luaL_error(L, "'%s' expects %d argument%s, got %d", function, count,
                   count == 1 ? "" : "s", top);
    }
    return top - count + 1;
}

const char* SGPortName(SGPortID id, char (&buffer)[16]) {
    if (id >= 0 && id < kPortNameCount) return kPortNames[id];
    std::snprintf(buffer, sizeof buffer, "#%d", static_cast<int>(id));
    return buffer;
}

void SGSetFunctions(lua_State* L, const luaL_Reg* functions) {
    for (; functions->name; ++functions) {
        lua_pushcfunction(L, functions->func);
        lua_setfield(L, -2, functions->name);
    }
}

int32_t SGCheckInteger(lua_State* L, int index) {
    return SGTruncateToInt(static_cast<float>(luaL_checknumber(L, index)));
}

int luaopen_scenegraph(lua_State* L) {
    lua_newtable(L);
    for (const Constant& constant : kConstants) {
        lua_pushnumber(L, static_cast<lua_Number>(constant.value));
        lua_setfield(L, -2, constant.name);
    }
    SGRegisterTextStyleFunctions(L);

    newMetatable(L, kSceneMT);
    SGSetFunctions(L, kSceneFunctions);
    lua_pushvalue(L, -1);
    lua_setfield(L, -2, "__index");
    lua_setfield(L, -2, "scene");

    newMetatable(L, kPortMT);
    SGRegisterPortFunctions(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, -2, "__index");
    lua_pop(L, 1);

    lua_createtable(L, 0, kPortNameCount);
    for (int id = 0; id < kPortNameCount; ++id) {
        lua_pushnumber(L, static_cast<lua_Number>(id));
        lua_setfield(L, -2, kPortNames[id]);
    }
    lua_setfield(L, LUA_REGISTRYINDEX, kNodeConstants);

    newNodeMetatable(L, kNodeMT, kNodeFunctions, nullptr);
    lua_pop(L, 1);
    newMetatable(L, kAttributeNodeMT);
    SGRegisterAttributeNodeFunctions(L);
    setNodeIndex(L);
    lua_setfield(L, -2, "attributeNode");
    newNodeMetatable(L, kRenderNodeMT, kRenderNodeFunctions, kNodeMT);
    lua_pop(L, 1);
    newNodeMetatable(L, kSpaceMT, kSpaceFunctions, kRenderNodeMT);
    lua_pop(L, 1);

    lua_setglobal(L, "scenegraph");
    return 0;
}
