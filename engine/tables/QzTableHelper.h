// The opener of the script library `tableHelper`, which gives scripts the data tables.
#ifndef QZ_TABLE_HELPER_H
#define QZ_TABLE_HELPER_H

#include <lua.h>

// Registers the global `tableHelper` (its one field `Tables` holds the functions) and the
// metatable "tableHelper.TableDataMT" of table objects. Returns the `tableHelper` table.
int luaopen_tableHelper(lua_State* L);

#endif
