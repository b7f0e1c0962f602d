// Where the arguments of a script function sit when it counts them back from the top of the stack.
#ifndef QZ_LUA_ARGS_H
#define QZ_LUA_ARGS_H

#include <algorithm>

#include <lua.h>

// The script libraries take a fixed number of arguments and read them counting back from the
// last one, so that a call with extra leading values (a constructor called with a colon,
// `physics.World:new(0, 500, true)`, gets the class table first) means the same as the plain
// call. Made once at the start of a function, before it pushes anything:
//     const QzArgsFromTop arg(L, 3);
//     luaL_checknumber(L, arg[2]);
// arg[k] is an ordinary stack index, which is also the argument's position as the script
// wrote it, so the luaL_check* errors name the right argument. With fewer values than the
// function takes, the arguments are counted from the first and the missing last ones are
// absent (none), so an optional last argument may be left out and a missing required one
// is reported as missing.
class QzArgsFromTop {
public:
    QzArgsFromTop(lua_State* L, int count) : beforeFirst_(std::max(lua_gettop(L) - count, 0)) {}

    // The stack index of argument k, counting the function's own arguments from 1.
    int operator[](int k) const { return beforeFirst_ + k; }

private:
    int beforeFirst_;  // how many leading values the call passed beyond the function's own
};

#endif
