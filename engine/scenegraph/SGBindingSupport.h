// Shared by the scene graph's binding files: the script-side records of scenes and nodes,
// their checkers and the port-reference resolver.
#ifndef SG_BINDING_SUPPORT_H
#define SG_BINDING_SUPPORT_H

#include <cstdint>

#include <lauxlib.h>
#include <lua.h>

#include "SGNode.h"

class SGScene;
class SGSpace;

inline constexpr const char* kSceneMT = "scenegraph.sceneMT";
inline constexpr const char* kPortMT = "scenegraph.portMT";
inline constexpr const char* kNodeConstants = "scenegraph.nodeConstants";
inline constexpr const char* kNodeMT = "scenegraph.nodeMT";
inline constexpr const char* kAttributeNodeMT = "scenegraph.attributeNodeMT";
inline constexpr const char* kRenderNodeMT = "scenegraph.renderNodeMT";
inline constexpr const char* kSpaceMT = "scenegraph.spaceMT";

// The contents of a scene userdata; scene is cleared by `delete`.
struct SGSceneHandle {
    SGScene* scene;  // owned (one reference) until deleted
};

// The contents of a node userdata. The serial tells the node from a later object at the
// same address. Only attribute-node handles own their node (one reference, dropped by
// __gc, which then clears node); the others borrow it from its space.
struct SGNodeHandle {
    SGNode* node;
    uint64_t serial;
};

// Which node userdata a function accepts.
enum SGNodeKinds : unsigned {
    SGKindNode = 1,
    SGKindRenderNode = 2,
    SGKindSpace = 4,
    SGKindAttribute = 8,
    SGKindAnyNode = 15,
};

// Pushes a new userdata for the node, with the metatable its class bits choose.
void SGPushNode(lua_State* L, SGNode* node);
// The node of the userdata at index, which must be of one of the kinds and still exist;
// raises a script error naming the function otherwise.
SGNode* SGCheckNode(lua_State* L, int index, unsigned kinds, const char* function);
// The handle of a node userdata of one of the kinds, or null (no liveness check).
SGNodeHandle* SGToNodeHandle(lua_State* L, int index, unsigned kinds);
// Requires at least count arguments and returns the index of the first of the last count
// (the functions that take their arguments from the top of the stack).
int SGArgumentsFromTop(lua_State* L, int count, const char* function);
// The script's name of the port ID ("x"), or "#ID" for an unknown ID.
const char* SGPortName(SGPortID id, char (&buffer)[16]);
// A script number as a class or layer value, cut toward zero, never undefined.
int32_t SGCheckInteger(lua_State* L, int index);

// Sets the functions into the table on the top of the stack.
void SGSetFunctions(lua_State* L, const luaL_Reg* functions);

// The port functions of the binding (port references and attribute nodes).
void SGRegisterPortFunctions(lua_State* L);
void SGRegisterAttributeNodeFunctions(lua_State* L);
// Adds the label-style functions and limits to the library table on top of the stack.
void SGRegisterTextStyleFunctions(lua_State* L);

#endif
