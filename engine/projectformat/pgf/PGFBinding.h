// The script library `pgf`: the document reader and the document writers.
#ifndef PGF_BINDING_H
#define PGF_BINDING_H

#include <lua.h>

// Opens the library: the global `pgf` with loadFile and loadString, `pgf.parser` with the
// same two, `pgf.writer` with the writer functions, and the metatable "pgf.writerMT".
// Returns one value, the `pgf` table.
int luaopen_PGF(lua_State* L);

#endif
