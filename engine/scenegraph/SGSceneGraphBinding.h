// The opener of the `scenegraph` script library.
#ifndef SG_SCENE_GRAPH_BINDING_H
#define SG_SCENE_GRAPH_BINDING_H

#include <lua.h>

// Publishes the global table `scenegraph` (value-type and node-class constants, the scene
// class and the attribute-node class) and the library's registry metatables. Returns
// nothing to the script.
int luaopen_scenegraph(lua_State* L);

#endif
