// The script library `pgf`: the document reader and the document writers.
#ifndef PGF_BINDING_H
#define PGF_BINDING_H

#include <lua.h>

// Opens the library: the global `pgf` with loadFile, loadString and readFile, `pgf.parser`
// with the same three, `pgf.writer` with the writer functions, and the metatable "pgf.writerMT".
// Returns one value, the `pgf` table.
int luaopen_PGF(lua_State* L);

#endif
