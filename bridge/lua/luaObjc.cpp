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

// How objects and classes look to a script.
//
// An object is one full userdata holding the retained object, with the metatable of its
// class. A class's metatable (made when the first object of the class crosses) releases the
// object in __gc, hides itself behind __metatable, and has as __index the class's method
// table: method name -> closure, filled on first use of each name. A message therefore costs
// one table read through the metatable, and the closure knows its receiver's class: it
// checks that its first argument carries that very metatable and calls the method's typed
// thunk (QzClass.h) when it has one. A closure called on anything else (another class's
// object, a table, nil) looks the method up on that value the slow way.
//
// A class is a table with the metatable "luaObjc.class" whose field "luaObjc__class" is a
// userdata holding the class (classes are immortal: not retained).
namespace {

constexpr const char* kClassMetatable = "luaObjc.class";
// Marks the userdata inside a class wrapper, so that a foreign userdata planted under the
// class key is never taken for a class.
constexpr const char* kClassHolderMetatable = "luaObjc.classHolder";
constexpr const char* kClassKey = "luaObjc__class";
// The registry's table of class metatables for objects, keyed by the class (light userdata).
constexpr const char* kObjectMetatables = "luaObjc.object";

// Registry anchors: the class holder's metatable, and the mark every object metatable
// carries (a key that only this file can make).
const char kClassHolderAnchor = 0;
const char kObjectMetatableMark = 0;

void* anchor(const char& address) {
    return const_cast<char*>(&address);
}

// The lookups a method closure made, reused while every class's methods stay the same:
// one for receivers of the closure's own class, one for the last other receiver.
struct MethodCache {
    // The address of the class metatable the closure belongs to (kept alive by the
    // closure's upvalue 4): comparing addresses is the cheapest receiver check.
    const void* ownMetatable;
    uint64_t ownGeneration;
    const QzMethod* ownMethod;  // borrowed: classes keep every method they ever had
    const QzObject* domain;     // borrowed: the other receiver's class (the class itself for class methods)
    bool classMethods;
    uint64_t generation;
    const QzMethod* method;     // borrowed
};

int absoluteIndex(lua_State* L, int index) {
    return index < 0 && index > LUA_REGISTRYINDEX ? lua_gettop(L) + index + 1 : index;
}

// The class held by the wrapper table at `index` (absolute), checked by its holder's
// metatable; null otherwise. Leaves the stack as it was.
QzClass* classInWrapper(lua_State* L, int index) {
    if (!lua_istable(L, index)) return nullptr;
    lua_pushstring(L, kClassKey);
    lua_rawget(L, index);
    void* pointer = nullptr;
    if (lua_type(L, -1) == LUA_TUSERDATA && lua_getmetatable(L, -1)) {
        lua_pushlightuserdata(L, anchor(kClassHolderAnchor));
        lua_rawget(L, LUA_REGISTRYINDEX);
        if (lua_rawequal(L, -1, -2)) pointer = *static_cast<void**>(lua_touserdata(L, -3));
        lua_pop(L, 2);
    }
    lua_pop(L, 1);
    return static_cast<QzClass*>(pointer);
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

double scriptNumber(lua_State* L, int index) {
    return lua_tonumber(L, index);
}

bool scriptTruth(lua_State* L, int index) {
    return lua_toboolean(L, index) != 0;
}

void pushScriptNumber(lua_State* L, double value) {
    lua_pushnumber(L, static_cast<lua_Number>(value));
}

void pushScriptBoolean(lua_State* L, bool value) {
    lua_pushboolean(L, value);
}

const QzScriptAccess kScriptAccess = {scriptNumber,      scriptTruth,       luaObjc_toid,     luaObjc_getClass,
                                      pushScriptNumber, pushScriptBoolean, luaObjc_pushid,   luaObjc_pushClass};

// Calls the method on the target with the script arguments from index 2 and pushes its result.
int callMethod(lua_State* L, QzObject* target, const QzMethod& method) {
    if (method.scriptThunk) return method.scriptThunk(L, kScriptAccess, target);
    QzInvocation invocation(&method.signature);
    luaObjc_prepareInvocation(L, 2, invocation);
    invocation.setSelector(method.selector);
    invocation.invokeMethod(target, method);
    return luaObjc_pushInvocationReturn(L, invocation);
}

const QzMethod* lookUp(lua_State* L, const QzObject* target) {
    size_t length = 0;
    const char* selector = lua_tolstring(L, lua_upvalueindex(2), &length);
    return QzMethodForSelector(target, {selector, length});
}

// The method for the closure's selector (upvalue 2) of a receiver of the closure's own
// class, through its cache (upvalue 3).
const QzMethod* ownMethod(lua_State* L, MethodCache* cache, QzObject* target) {
    uint64_t generation = QzClass::methodGeneration();
    if (cache->ownGeneration != generation || !cache->ownMethod) {
        cache->ownMethod = lookUp(L, target);
        cache->ownGeneration = generation;
    }
    return cache->ownMethod;
}

// The target's method for the closure's selector, through the cache's other entry.
const QzMethod* cachedMethod(lua_State* L, MethodCache* cache, QzObject* target) {
    bool classMethods = target->isClassObject();
    const QzObject* domain = classMethods ? target : target->objectClass();
    uint64_t generation = QzClass::methodGeneration();
    if (cache->domain == domain && cache->classMethods == classMethods && cache->generation == generation)
        return cache->method;
    const QzMethod* method = lookUp(L, target);
    cache->domain = domain;
    cache->classMethods = classMethods;
    cache->generation = generation;
    cache->method = method;
    return method;
}

// The body of an object method's closure. Upvalues: the name, the selector text, the cache,
// the class metatable the closure belongs to.
int objectMethodCall(lua_State* L) {
    // The userdata at index 1 keeps the object alive for the call: only the collector
    // releases it, and scripts cannot reach the metatable's __gc.
    auto* cache = static_cast<MethodCache*>(lua_touserdata(L, lua_upvalueindex(3)));
    bool ownClass = false;
    if (lua_type(L, 1) == LUA_TUSERDATA && lua_getmetatable(L, 1)) {
        ownClass = lua_topointer(L, -1) == cache->ownMetatable;
        lua_pop(L, 1);
    }
    QzObject* target = ownClass ? *static_cast<QzObject**>(lua_touserdata(L, 1)) : luaObjc_getid(L, 1);
    if (!target) {
        QzLog("luaObject_object_method_call attempt to call method %s on nil", lua_tostring(L, lua_upvalueindex(1)));
        return 0;
    }
    const QzMethod* method = ownClass ? ownMethod(L, cache, target) : cachedMethod(L, cache, target);
    if (!method) {
        QzLog("luaObjc_object_method_call, %s does not respond to selector: %s", target->description().c_str(),
              lua_tostring(L, lua_upvalueindex(2)));
        return 0;
    }
    return callMethod(L, target, *method);
}

// The body of a class method's closure. Upvalues: the name, the selector text, the cache.
int classMethodCall(lua_State* L) {
    const char* name = lua_tostring(L, lua_upvalueindex(1));
    QzClass* target = classInWrapper(L, 1);
    auto* cache = static_cast<MethodCache*>(lua_touserdata(L, lua_upvalueindex(3)));
    const QzMethod* method = target ? cachedMethod(L, cache, target) : nullptr;
    if (!method) {
        QzLog("luaObjc: class %s has no method called %s", target ? target->name().c_str() : "(null)", name);
        return 0;
    }
    return callMethod(L, target, *method);
}

// __index of a method table (upvalues: the closure body, and for objects the class
// metatable): makes the closure for a method name, remembering the name, its selector text,
// a lookup cache and the class metatable, and keeps it in the table so that later lookups
// are plain table reads.
int makeMethodClosure(lua_State* L) {
    if (lua_type(L, 2) != LUA_TSTRING) return 0;
    std::string selector = lua_tostring(L, 2);
    for (char& character : selector)
        if (character == '_') character = ':';
    lua_pushvalue(L, 2);
    lua_pushlstring(L, selector.data(), selector.size());
    auto* cache = static_cast<MethodCache*>(lua_newuserdata(L, sizeof(MethodCache)));
    *cache = MethodCache{};
    cache->ownMetatable = lua_topointer(L, lua_upvalueindex(2));
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_pushcclosure(L, lua_tocfunction(L, lua_upvalueindex(1)), 4);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

// Gives the metatable at the top an __index that makes method closures on demand, with the
// metatable itself as the closures' receiver check.
void setMethodLookup(lua_State* L, lua_CFunction body) {
    lua_newtable(L);           // the method table
    lua_createtable(L, 0, 1);  // its metatable
    lua_pushcfunction(L, body);
    lua_pushvalue(L, -4);
    lua_pushcclosure(L, makeMethodClosure, 2);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, "__index");
}

// Pushes the metatable for objects of the class, making it on first use.
void pushObjectMetatable(lua_State* L, QzClass* cls) {
    lua_getfield(L, LUA_REGISTRYINDEX, kObjectMetatables);
    lua_pushlightuserdata(L, cls);
    lua_rawget(L, -2);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        lua_createtable(L, 0, 4);
        lua_pushcfunction(L, releaseHeldObject);
        lua_setfield(L, -2, "__gc");
        lua_pushboolean(L, 0);
        lua_setfield(L, -2, "__metatable");
        lua_pushlightuserdata(L, anchor(kObjectMetatableMark));
        lua_pushboolean(L, 1);
        lua_rawset(L, -3);
        setMethodLookup(L, QzGuarded<objectMethodCall>);
        lua_pushlightuserdata(L, cls);
        lua_pushvalue(L, -2);
        lua_rawset(L, -4);
    }
    lua_remove(L, -2);
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
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, kObjectMetatables);
    luaL_newmetatable(L, kClassHolderMetatable);
    lua_pushlightuserdata(L, anchor(kClassHolderAnchor));
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
    lua_pop(L, 1);
    luaL_newmetatable(L, kClassMetatable);
    setMethodLookup(L, QzGuarded<classMethodCall>);
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
        // The holder stays empty until every allocation is done and the object retained, so
        // that a memory error on the way never lets __gc release an object not retained.
        auto** slot = static_cast<QzObject**>(lua_newuserdata(L, sizeof(QzObject*)));
        *slot = nullptr;
        pushObjectMetatable(L, object->objectClass());
        lua_setmetatable(L, -2);
        object->retain();
        *slot = object;
    }
}

void luaObjc_pushClass(lua_State* L, QzClass* cls) {
    lua_createtable(L, 0, 1);
    auto** slot = static_cast<QzClass**>(lua_newuserdata(L, sizeof(QzClass*)));
    *slot = nullptr;
    luaL_getmetatable(L, kClassHolderMetatable);
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, kClassKey);
    luaL_getmetatable(L, kClassMetatable);
    lua_setmetatable(L, -2);
    *slot = cls;
}

bool luaObjc_isid(lua_State* L, int index) {
    return luaObjc_getid(L, index) != nullptr;
}

QzObject* luaObjc_getid(lua_State* L, int index) {
    index = absoluteIndex(L, index);
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index)) return nullptr;
    lua_pushlightuserdata(L, anchor(kObjectMetatableMark));
    lua_rawget(L, -2);
    bool held = lua_toboolean(L, -1);
    lua_pop(L, 2);
    return held ? *static_cast<QzObject**>(lua_touserdata(L, index)) : nullptr;
}

bool luaObjc_isClass(lua_State* L, int index) {
    index = absoluteIndex(L, index);
    if (!lua_istable(L, index)) return false;
    lua_pushstring(L, kClassKey);
    lua_rawget(L, index);
    bool held = lua_type(L, -1) == LUA_TUSERDATA;
    lua_pop(L, 1);
    return held;
}

QzClass* luaObjc_getClass(lua_State* L, int index) {
    return classInWrapper(L, absoluteIndex(L, index));
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
    case LUA_TUSERDATA:
        return QzId(luaObjc_getid(L, index));
    case LUA_TTABLE:
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
