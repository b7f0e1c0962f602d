// The luaObjc script library and the converters between script values and runtime objects.
#include "luaObjc.h"

#include <string>

#include <lauxlib.h>

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
constexpr const char* kClassKey = "luaObjc__class";

int absoluteIndex(lua_State* L, int index) {
    return index < 0 && index > LUA_REGISTRYINDEX ? lua_gettop(L) + index + 1 : index;
}

// The pointer in the userdata under `key` of the table at index when that userdata carries
// the metatable `holderMetatable`; null otherwise. Leaves the stack as it was.
void* heldPointer(lua_State* L, int index, const char* key, const char* holderMetatable) {
    index = absoluteIndex(L, index);
    if (!lua_istable(L, index)) return nullptr;
    lua_getfield(L, index, key);
    void* pointer = nullptr;
    if (lua_type(L, -1) == LUA_TUSERDATA && lua_getmetatable(L, -1)) {
        luaL_getmetatable(L, holderMetatable);
        if (lua_rawequal(L, -1, -2)) pointer = *static_cast<void**>(lua_touserdata(L, -3));
        lua_pop(L, 2);
    }
    lua_pop(L, 1);
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
// userdata holding `pointer`, with the metatable `holderMetatable`.
void pushWrapper(lua_State* L, const char* metatable, const char* key, void* pointer, const char* holderMetatable) {
    lua_createtable(L, 0, 1);
    *static_cast<void**>(lua_newuserdata(L, sizeof(void*))) = pointer;
    luaL_getmetatable(L, holderMetatable);
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, key);
    luaL_getmetatable(L, metatable);
    lua_setmetatable(L, -2);
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

// Sends the message named by upvalue 1 (selector text in upvalue 2) to `target`, with the
// script arguments from index 2. `missing` logs when the target does not answer.
template <class Missing>
int sendMessage(lua_State* L, QzObject* target, Missing missing) {
    size_t length = 0;
    const char* selector = lua_tolstring(L, lua_upvalueindex(2), &length);
    const QzMethodSignature* signature = QzMethodSignatureForSelector(target, {selector, length});
    if (!signature) {
        missing(selector);
        return 0;
    }
    QzInvocation invocation(signature);
    luaObjc_prepareInvocation(L, 2, invocation);
    invocation.setSelector({selector, length});
    invocation.invokeWithTarget(target);
    return luaObjc_pushInvocationReturn(L, invocation);
}

int objectMethodCall(lua_State* L) {
    const char* name = lua_tostring(L, lua_upvalueindex(1));
    QzId target(luaObjc_getid(L, 1));  // kept alive while its method runs
    if (!target) {
        QzLog("luaObject_object_method_call attempt to call method %s on nil", name);
        return 0;
    }
    return sendMessage(L, target.get(), [&](const char* selector) {
        QzLog("luaObjc_object_method_call, %s does not respond to selector: %s", target->description().c_str(),
              selector);
    });
}

int classMethodCall(lua_State* L) {
    const char* name = lua_tostring(L, lua_upvalueindex(1));
    QzClass* target = luaObjc_getClass(L, 1);
    auto missing = [&](const char*) {
        QzLog("luaObjc: class %s has no method called %s", target ? target->name().c_str() : "(null)", name);
    };
    if (!target) {
        missing(nullptr);
        return 0;
    }
    return sendMessage(L, target, missing);
}

// __index of a method cache (upvalue 1: the method body): makes the closure for a method
// name, remembering the name and its selector text, and keeps it in the cache so that
// later lookups are plain table reads.
int makeMethodClosure(lua_State* L) {
    if (lua_type(L, 2) != LUA_TSTRING) return 0;
    std::string selector = lua_tostring(L, 2);
    for (char& character : selector)
        if (character == '_') character = ':';
    lua_pushvalue(L, 2);
    lua_pushlstring(L, selector.data(), selector.size());
    lua_pushcclosure(L, lua_tocfunction(L, lua_upvalueindex(1)), 2);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

// Gives the wrapper metatable at the top an __index that looks methods up through a cache.
void setMethodLookup(lua_State* L, lua_CFunction body) {
    lua_newtable(L);                   // the cache
    lua_createtable(L, 0, 1);          // its metatable
    lua_pushcfunction(L, body);
    lua_pushcclosure(L, makeMethodClosure, 1);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_setfield(L, -2, "__index");
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
    luaL_newmetatable(L, kGcMetatable);
    lua_pushcfunction(L, releaseHeldObject);
    lua_setfield(L, -2, "__gc");
    lua_pop(L, 1);
    luaL_newmetatable(L, kClassHolderMetatable);
    lua_pop(L, 1);
    luaL_newmetatable(L, kObjectMetatable);
    setMethodLookup(L, QzGuarded<objectMethodCall>);
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
        pushWrapper(L, kObjectMetatable, kObjectKey, object, kGcMetatable);
        object->retain();
    }
}

void luaObjc_pushClass(lua_State* L, QzClass* cls) {
    pushWrapper(L, kClassMetatable, kClassKey, cls, kClassHolderMetatable);
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

void luaObjc_prepareInvocation(lua_State* L, int firstIndex, QzInvocation& invocation) {
    firstIndex = absoluteIndex(L, firstIndex);
    const QzMethodSignature& signature = *invocation.methodSignature();
    for (size_t position = 2; position < signature.numberOfArguments(); ++position) {
        int index = firstIndex + static_cast<int>(position - 2);
        switch (signature.argumentType(position).front()) {
        case '@':
            invocation.setObject(position, luaObjc_toid(L, index).get());
            break;
        case '#':
            invocation.setObject(position, luaObjc_getClass(L, index));
            break;
        case 'i':
            invocation.setInteger(position, QzSaturatingCast<int32_t>(lua_tonumber(L, index)));
            break;
        case 'I':
            invocation.setInteger(position, QzSaturatingCast<uint32_t>(lua_tonumber(L, index)));
            break;
        case 'd':
            invocation.setDouble(position, lua_tonumber(L, index));
            break;
        case 'f':
            invocation.setFloat(position, lua_tonumber(L, index));
            break;
        default:
            break;  // structures, pointers, selectors, 64-bit integers and characters stay unset
        }
    }
}

int luaObjc_pushInvocationReturn(lua_State* L, const QzInvocation& invocation) {
    switch (invocation.methodSignature()->methodReturnType().front()) {
    case '@':
        luaObjc_pushid(L, invocation.returnObject());
        return 1;
    case '#':
        luaObjc_pushClass(L, QzCast<QzClass>(invocation.returnObject()));
        return 1;
    case 'i':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<int32_t>(invocation.returnInteger())));
        return 1;
    case 'I':
        lua_pushnumber(L, static_cast<lua_Number>(static_cast<uint32_t>(invocation.returnInteger())));
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
