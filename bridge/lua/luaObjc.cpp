// The luaObjc script library and the converters between script values and runtime objects.
#include "luaObjc.h"

#include <string>

#include <lauxlib.h>

#include "LuaObject.h"
#include "LuaState.h"
#include "QzLog.h"
#include "QzLuaGuard.h"
#include "QzSaturate.h"
#include "QzValues.h"

namespace {

constexpr const char* kGcMetatable = "luaObjc.gc";
constexpr const char* kObjectMetatable = "luaObjc.object";
constexpr const char* kClassMetatable = "luaObjc.class";
// Marks the userdata inside a class wrapper, so that a foreign userdata planted under the
// class key is never taken for a class.
constexpr const char* kClassHolderMetatable = "luaObjc.classHolder";
constexpr const char* kObjectKey = "luaObjc__object";

// The holder metatables are also kept in the registry under the addresses of these
// anchors, so that the check on every message compares without hashing a name.
const char kGcAnchor = 0;
const char kClassHolderAnchor = 0;

const void* anchorOf(const char* holderMetatable) {
    return holderMetatable == kGcMetatable ? &kGcAnchor : &kClassHolderAnchor;
}

// Makes the registry metatable `name` and files it under its anchor too.
void newHolderMetatable(lua_State* L, const char* name) {
    luaL_newmetatable(L, name);
    lua_pushlightuserdata(L, const_cast<void*>(anchorOf(name)));
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

// The last lookup a method closure made, reused while the receiver's class and every
// class's methods stay the same.
struct MethodCache {
    const QzObject* domain;  // borrowed: the class whose methods were searched
    bool classMethods;
    uint64_t generation;
    const QzMethod* method;  // borrowed: classes keep every method they ever had
};
constexpr const char* kClassKey = "luaObjc__class";

int absoluteIndex(lua_State* L, int index) {
    return index < 0 && index > LUA_REGISTRYINDEX ? lua_gettop(L) + index + 1 : index;
}

// The pointer held by the wrapper table at `index`: the userdata under the key at
// `keyIndex`, when it carries the metatable at `metatableIndex`; null otherwise. Leaves the
// stack as it was. All three indexes are absolute or pseudo-indexes.
void* pointerInWrapper(lua_State* L, int index, int keyIndex, int metatableIndex) {
    if (!lua_istable(L, index)) return nullptr;
    lua_pushvalue(L, keyIndex);
    lua_rawget(L, index);
    void* pointer = nullptr;
    if (lua_type(L, -1) == LUA_TUSERDATA && lua_getmetatable(L, -1)) {
        if (lua_rawequal(L, -1, metatableIndex)) pointer = *static_cast<void**>(lua_touserdata(L, -2));
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return pointer;
}

void* heldPointer(lua_State* L, int index, const char* key, const char* holderMetatable) {
    index = absoluteIndex(L, index);
    lua_pushstring(L, key);
    lua_pushlightuserdata(L, const_cast<void*>(anchorOf(holderMetatable)));
    lua_rawget(L, LUA_REGISTRYINDEX);
    int top = lua_gettop(L);
    void* pointer = pointerInWrapper(L, index, top - 1, top);
    lua_pop(L, 2);
    return pointer;
}

bool holdsUserdata(lua_State* L, int index, const char* key) {
    index = absoluteIndex(L, index);
    if (!lua_istable(L, index)) return false;
    lua_getfield(L, index, key);
    bool held = lua_type(L, -1) == LUA_TUSERDATA;
    lua_pop(L, 1);
    return held;
}

// Pushes a table with the metatable `metatable` whose field `key` is a pointer-sized
// userdata with the metatable `holderMetatable`. The userdata holds nothing yet: the caller
// fills the returned slot after the last allocation, so that a memory error on the way
// never lets the holder's __gc release an object that was not retained for it.
void** pushWrapper(lua_State* L, const char* metatable, const char* key, const char* holderMetatable) {
    lua_createtable(L, 0, 1);
    auto** slot = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));
    *slot = nullptr;
    luaL_getmetatable(L, holderMetatable);
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, key);
    luaL_getmetatable(L, metatable);
    lua_setmetatable(L, -2);
    return slot;
}

int releaseHeldObject(lua_State* L) {
    auto** slot = static_cast<QzObject**>(lua_touserdata(L, 1));
    if (slot && *slot) {
        QzObject* object = *slot;
        *slot = nullptr;
        object->release();
    }
    return 0;
}

// The target's method for the selector in upvalue 2, through the closure's cache (upvalue 3).
const QzMethod* cachedMethod(lua_State* L, QzObject* target) {
    auto* cache = static_cast<MethodCache*>(lua_touserdata(L, lua_upvalueindex(3)));
    bool classMethods = target->isClassObject();
    const QzObject* domain = classMethods ? target : target->objectClass();
    uint64_t generation = QzClass::methodGeneration();
    if (cache->domain == domain && cache->classMethods == classMethods && cache->generation == generation)
        return cache->method;
    size_t length = 0;
    const char* selector = lua_tolstring(L, lua_upvalueindex(2), &length);
    const QzMethod* method = QzMethodForSelector(target, {selector, length});
    *cache = {domain, classMethods, generation, method};
    return method;
}

// Sends the message named by upvalue 1 (selector text in upvalue 2) to `target`, with the
// script arguments from index 2. `missing` logs when the target does not answer.
template <class Missing>
int sendMessage(lua_State* L, QzObject* target, Missing missing) {
    const QzMethod* method = cachedMethod(L, target);
    if (!method) {
        missing(lua_tostring(L, lua_upvalueindex(2)));
        return 0;
    }
    QzInvocation invocation(&method->signature);
    luaObjc_prepareInvocation(L, 2, invocation);
    invocation.setSelector(method->selector);
    invocation.invokeMethod(target, *method);
    return luaObjc_pushInvocationReturn(L, invocation);
}

int objectMethodCall(lua_State* L) {
    // The wrapper key and holder metatable are upvalues 4 and 5: no name is hashed per call.
    // The wrapper at index 1 keeps the object alive for the call: only the collector can
    // release it, since scripts cannot reach the holder's metatable.
    auto* target = static_cast<QzObject*>(pointerInWrapper(L, 1, lua_upvalueindex(4), lua_upvalueindex(5)));
    if (!target) {
        QzLog("luaObject_object_method_call attempt to call method %s on nil", lua_tostring(L, lua_upvalueindex(1)));
        return 0;
    }
    return sendMessage(L, target, [&](const char* selector) {
        QzLog("luaObjc_object_method_call, %s does not respond to selector: %s", target->description().c_str(),
              selector);
    });
}

int classMethodCall(lua_State* L) {
    const char* name = lua_tostring(L, lua_upvalueindex(1));
    auto* target = static_cast<QzClass*>(pointerInWrapper(L, 1, lua_upvalueindex(4), lua_upvalueindex(5)));
    auto missing = [&](const char*) {
        QzLog("luaObjc: class %s has no method called %s", target ? target->name().c_str() : "(null)", name);
    };
    if (!target) {
        missing(nullptr);
        return 0;
    }
    return sendMessage(L, target, missing);
}

// __index of a method cache (upvalues: the method body, the wrapper key, the holder
// metatable): makes the closure for a method name, remembering the name, its selector
// text, a lookup cache, the wrapper key and the holder metatable, and keeps it in the
// cache so that later lookups are plain table reads.
int makeMethodClosure(lua_State* L) {
    if (lua_type(L, 2) != LUA_TSTRING) return 0;
    std::string selector = lua_tostring(L, 2);
    for (char& character : selector)
        if (character == '_') character = ':';
    lua_pushvalue(L, 2);
    lua_pushlstring(L, selector.data(), selector.size());
    *static_cast<MethodCache*>(lua_newuserdata(L, sizeof(MethodCache))) = MethodCache{};
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_pushvalue(L, lua_upvalueindex(3));
    lua_pushcclosure(L, lua_tocfunction(L, lua_upvalueindex(1)), 5);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

// Gives the wrapper metatable at the top an __index that looks methods up through a cache.
void setMethodLookup(lua_State* L, lua_CFunction body, const char* key, const char* holderMetatable) {
    lua_newtable(L);                   // the cache
    lua_createtable(L, 0, 1);          // its metatable
    lua_pushcfunction(L, body);
    lua_pushstring(L, key);
    luaL_getmetatable(L, holderMetatable);
    lua_pushcclosure(L, makeMethodClosure, 3);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, "__index");
}

// Registers the bridge's classes, so that scripts find them by name from the start.
void registerBridgeClasses() {
    static const bool registered = [] {
        for (QzClass* (*registration)() :
             {QzString::registeredClass, QzNumber::registeredClass, QzNull::registeredClass, QzArray::registeredClass,
              QzDictionary::registeredClass, LuaObject::registeredClass, LuaArray::registeredClass})
            registration();
        return true;
    }();
    (void)registered;
}

int classForName(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    luaObjc_pushClass(L, QzClass::named(name));
    return 1;
}

const luaL_Reg kFunctions[] = {
    {"class", QzGuarded<classForName>},
    {nullptr, nullptr},
};

}  // namespace

int luaopen_luaObjc(lua_State* L) {
    registerBridgeClasses();
    newHolderMetatable(L, kGcMetatable);
    lua_pushcfunction(L, releaseHeldObject);
    lua_setfield(L, -2, "__gc");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_pop(L, 1);
    newHolderMetatable(L, kClassHolderMetatable);
    lua_pop(L, 1);
    luaL_newmetatable(L, kObjectMetatable);
    setMethodLookup(L, QzGuarded<objectMethodCall>, kObjectKey, kGcMetatable);
    lua_pop(L, 1);
    luaL_newmetatable(L, kClassMetatable);
    setMethodLookup(L, QzGuarded<classMethodCall>, kClassKey, kClassHolderMetatable);
    lua_pop(L, 1);

    luaL_register(L, "luaObjc", kFunctions);
    lua_pushliteral(L, "luaObjc");
    lua_setfield(L, -2, "_NAME");
    lua_pushliteral(L, "0.1");
    lua_setfield(L, -2, "_VERSION");
    lua_pushliteral(L, "A bridge to objective-C from lua");
    lua_setfield(L, -2, "_DESCRIPTION");
    lua_pushliteral(L, "Copyright (C) Quillane Player developers");
    lua_setfield(L, -2, "_COPYRIGHT");
    return 1;
}

void luaObjc_pushid(lua_State* L, QzObject* object) {
    if (!object) {
        lua_pushnil(L);
    } else if (auto* number = QzCast<QzNumber>(object)) {
        lua_pushnumber(L, number->floatValue());
    } else if (auto* string = QzCast<QzString>(object)) {
        lua_pushlstring(L, string->utf8().data(), string->length());
    } else if (auto* cls = QzCast<QzClass>(object)) {
        luaObjc_pushClass(L, cls);
    } else {
        void** slot = pushWrapper(L, kObjectMetatable, kObjectKey, kGcMetatable);
        object->retain();
        *slot = object;
    }
}

void luaObjc_pushClass(lua_State* L, QzClass* cls) {
    *pushWrapper(L, kClassMetatable, kClassKey, kClassHolderMetatable) = cls;
}

bool luaObjc_isid(lua_State* L, int index) {
    return holdsUserdata(L, index, kObjectKey);
}

QzObject* luaObjc_getid(lua_State* L, int index) {
    return static_cast<QzObject*>(heldPointer(L, index, kObjectKey, kGcMetatable));
}

bool luaObjc_isClass(lua_State* L, int index) {
    return holdsUserdata(L, index, kClassKey);
}

QzClass* luaObjc_getClass(lua_State* L, int index) {
    return static_cast<QzClass*>(heldPointer(L, index, kClassKey, kClassHolderMetatable));
}

QzId luaObjc_toid(lua_State* L, int index) {
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return QzNumber::withFloat(lua_tonumber(L, index));
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        return QzString::withUTF8({text, length});
    }
    case LUA_TTABLE:
        if (QzObject* object = luaObjc_getid(L, index)) return QzId(object);
        return QzId(luaObjc_getClass(L, index));
    default:
        return nullptr;
    }
}

bool luaObjc_setNumberArgument(lua_State* L, int index, QzInvocation& invocation, size_t position) {
    switch (invocation.methodSignature()->argumentTypeLetter(position)) {
    case 'c':
        // The boolean type: the value's truth, as the script sees it.
        invocation.setInteger(position, lua_toboolean(L, index));
        return true;
    case 'C':
        invocation.setInteger(position, QzSaturatingCast<uint8_t>(lua_tonumber(L, index)));
        return true;
    case 's':
        invocation.setInteger(position, QzSaturatingCast<int16_t>(lua_tonumber(L, index)));
        return true;
    case 'S':
        invocation.setInteger(position, QzSaturatingCast<uint16_t>(lua_tonumber(L, index)));
        return true;
    case 'i':
        invocation.setInteger(position, QzSaturatingCast<int32_t>(lua_tonumber(L, index)));
        return true;
    case 'I':
        invocation.setInteger(position, QzSaturatingCast<uint32_t>(lua_tonumber(L, index)));
        return true;
    case 'q':
        invocation.setInteger(position, QzSaturatingCast<int64_t>(lua_tonumber(L, index)));
        return true;
    case 'Q':
        invocation.setInteger(position, static_cast<int64_t>(QzSaturatingCast<uint64_t>(lua_tonumber(L, index))));
        return true;
    case 'd':
        invocation.setDouble(position, lua_tonumber(L, index));
        return true;
    case 'f':
        invocation.setFloat(position, lua_tonumber(L, index));
        return true;
    default:
        return false;
    }
}

void luaObjc_prepareInvocation(lua_State* L, int firstIndex, QzInvocation& invocation) {
    firstIndex = absoluteIndex(L, firstIndex);
    const QzMethodSignature& signature = *invocation.methodSignature();
    for (size_t position = 2; position < signature.numberOfArguments(); ++position) {
        int index = firstIndex + static_cast<int>(position - 2);
        switch (signature.argumentTypeLetter(position)) {
        case '@':
            invocation.setObject(position, luaObjc_toid(L, index).get());
            break;
        case '#':
            invocation.setObject(position, luaObjc_getClass(L, index));
            break;
        default:
            // Structures, pointers and selectors stay unset.
            luaObjc_setNumberArgument(L, index, invocation, position);
            break;
        }
    }
}

int luaObjc_pushNumberReturn(lua_State* L, const QzInvocation& invocation) {
    int64_t integer = invocation.returnInteger();
    switch (invocation.methodSignature()->returnTypeLetter()) {
    case 'c':
        lua_pushboolean(L, static_cast<int8_t>(integer) != 0);
        return 1;
    case 'C':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<uint8_t>(integer)));
        return 1;
    case 's':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<int16_t>(integer)));
        return 1;
    case 'S':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<uint16_t>(integer)));
        return 1;
    case 'i':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<int32_t>(integer)));
        return 1;
    case 'I':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<uint32_t>(integer)));
        return 1;
    case 'q':
        lua_pushnumber(L, static_cast<lua_Number>(integer));
        return 1;
    case 'Q':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<uint64_t>(integer)));
        return 1;
    case 'd':
        lua_pushnumber(L, static_cast<lua_Number>(invocation.returnDouble()));
        return 1;
    case 'f':
        lua_pushnumber(L, invocation.returnFloat());
        return 1;
    default:
        return 0;
    }
}

int luaObjc_pushInvocationReturn(lua_State* L, const QzInvocation& invocation) {
    switch (invocation.methodSignature()->returnTypeLetter()) {
    case '@':
        luaObjc_pushid(L, invocation.returnObject());
        return 1;
    case '#':
        luaObjc_pushClass(L, QzCast<QzClass>(invocation.returnObject()));
        return 1;
    default:
        return luaObjc_pushNumberReturn(L, invocation);
    }
}
