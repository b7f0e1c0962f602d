// The luaObjc script library: scripts hold runtime objects and classes and send them
// messages; the converters between script values and runtime objects.
#ifndef LUA_OBJC_H
#define LUA_OBJC_H

#include <lua.h>

#include "QzClass.h"
#include "QzInvocation.h"
#include "QzObject.h"

// Type encodings as the bridge names them; compared by their first letter.
inline constexpr const char* OBJC_TYPE_DOUBLE = "d";
inline constexpr const char* OBJC_TYPE_FLOAT = "f";
inline constexpr const char* OBJC_TYPE_CHAR = "c";
inline constexpr const char* OBJC_TYPE_UNSIGNED_CHAR = "C";
inline constexpr const char* OBJC_TYPE_INT = "i";
inline constexpr const char* OBJC_TYPE_UNSIGNED_INT = "I";
inline constexpr const char* OBJC_TYPE_LONG = "q";
inline constexpr const char* OBJC_TYPE_UNSIGNED_LONG = "Q";
inline constexpr const char* OBJC_TYPE_LONG_LONG = "q";
inline constexpr const char* OBJC_TYPE_UNSIGNED_LONG_LONG = "Q";
inline constexpr const char* OBJC_TYPE_SHORT = "s";
inline constexpr const char* OBJC_TYPE_UNSIGNED_SHORT = "S";
inline constexpr const char* OBJC_TYPE_NSINTEGER = "q";
inline constexpr const char* OBJC_TYPE_NSUINTEGER = "Q";
inline constexpr const char* OBJC_TYPE_BOOL = "c";
inline constexpr const char* OBJC_TYPE_VOID = "v";
inline constexpr const char* OBJC_TYPE_ID = "@";
inline constexpr const char* OBJC_TYPE_CLASS = "#";
inline constexpr const char* OBJC_TYPE_VOID_POINTER = "^v";
inline constexpr const char* OBJC_TYPE_STRING = "*";
inline constexpr const char* OBJC_TYPE_SELECTOR = ":";

inline bool objcTypeMatches(const char* encoding, const char* constant) {
    return QzTypeMatches(encoding, constant);
}

// Opens the library: the global "luaObjc", the registry metatable "luaObjc.class" and the
// registry table "luaObjc.object" of the object metatables, one per class. Returns 1 (the
// library table).
int luaopen_luaObjc(lua_State* L);

// Pushes nil for no object, a number for a number object, a string for a string object,
// and an object wrapper for anything else: a userdata with its class's metatable, which
// retains the object until it is collected.
void luaObjc_pushid(lua_State* L, QzObject* object);
// Pushes a class wrapper (classes are immortal and not retained); null gives a wrapper
// holding no class.
void luaObjc_pushClass(lua_State* L, QzClass* cls);

// Index arguments are stack indexes; negative ones count from the top at the call.
bool luaObjc_isid(lua_State* L, int index);
// The wrapped object (borrowed from the wrapper), or null.
QzObject* luaObjc_getid(lua_State* L, int index);
bool luaObjc_isClass(lua_State* L, int index);
QzClass* luaObjc_getClass(lua_State* L, int index);
// A number gives a number object (as a 32-bit float), a string a string object, an object
// wrapper its object, a class wrapper its class; anything else gives null.
QzId luaObjc_toid(lua_State* L, int index);

// Fills the invocation's arguments 2, 3, ... from the stack values at firstIndex,
// firstIndex + 1, ..., by the signature's types: "@" objects, "#" classes, the integer
// types (saturating), "c" (the boolean type) by truth, "d" and "f" numbers. Other types
// are left unset.
void luaObjc_prepareInvocation(lua_State* L, int firstIndex, QzInvocation& invocation);
// Sets the invocation's argument at position from the value at index when the signature
// types it as a number: the integer types saturating, "c" by the value's truth, "d" and
// "f" as they are. Returns false for any other type.
bool luaObjc_setNumberArgument(lua_State* L, int index, QzInvocation& invocation, size_t position);
// Pushes the return value by the signature's return type; returns 0 or 1 values pushed.
int luaObjc_pushInvocationReturn(lua_State* L, const QzInvocation& invocation);
// Pushes the return value when the signature types it as a number (the integer types,
// "d", "f"; "c" as a boolean) and returns 1; pushes nothing and returns 0 otherwise.
int luaObjc_pushNumberReturn(lua_State* L, const QzInvocation& invocation);

#endif
