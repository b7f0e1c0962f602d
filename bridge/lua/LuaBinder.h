// Registry references for script tables handed to the host, and at most one live proxy
// per referenced table; the script-side "luaBinder" global.
#ifndef LUA_BINDER_H
#define LUA_BINDER_H

#include <lua.h>

#include "QzObject.h"
#include "QzWeakCollections.h"

class LuaObject;
class LuaState;

// The reference of a value that has none.
inline constexpr int LuaBinderNoReference = -2;

// All operations work on the state's interpreter and expect the caller to hold its lock.
class LuaBinder {
public:
    // Makes the global "luaBinder" with "reverseReferences", the script functions
    // "valueDidChangeForKey", "objectAddedForKey", "objectRemovedForKey" and the light
    // userdata "luaBinderObject". The state must have an interpreter.
    explicit LuaBinder(LuaState* luaState);
    ~LuaBinder();
    LuaBinder(const LuaBinder&) = delete;
    LuaBinder& operator=(const LuaBinder&) = delete;

    // The reference of the value at the top (left in place), or LuaBinderNoReference.
    int getReference();
    // Consumes the value at the top and returns its reference, making one when the value
    // has none or its proxy is gone.
    int makeReference();
    // Consumes the value at the top and returns its proxy: the live one, or a new one.
    QzRef<LuaObject> toLuaObject();
    // Pushes the referenced value.
    void dereference(int reference);
    // Makes the proxy the live one for a reference to a table that has none; false when the
    // reference is not such a reference.
    bool adoptReference(LuaObject* proxy, int reference);
    // Releases the reference; a reference to nil fails the assertion handler.
    void freeReference(int reference);
    // Sets the global "luaBinder" to nil and forgets every proxy.
    void clear();
    // From now on the script functions of "luaBinder" find no binder and do nothing. Called
    // while the interpreter lives, before it shuts down and closes.
    void disconnect();
    // The live proxy for a reference, or null.
    QzRef<LuaObject> proxyForReference(int reference) const { return referencesToObjc_.objectForKey(reference); }
    LuaState* luaState() const { return luaState_; }

private:
    // Pushes the reverse-reference table (kept in the registry, so that a script replacing
    // the global does not break the binder).
    void pushReverseReferences();
    // Throws, popping the value at the top, when a new reference would be past the range
    // where script numbers tell references apart.
    void refuseInexactReference(lua_State* L);

    LuaState* luaState_;                     // borrowed: the state owns the binder
    LuaBinder** handle_ = nullptr;           // borrowed: a userdata of the interpreter, shared by the script functions
    QzWeakMap<LuaObject> referencesToObjc_;  // weak: proxies live as long as their holders keep them
};

#endif
