// Registry references and proxies for script tables, and the "luaBinder" script functions.
#include "LuaBinder.h"

#include <string>

#include <lauxlib.h>

#include "LuaObject.h"
#include "LuaState.h"
#include "QzLog.h"
#include "QzLuaGuard.h"
#include "QzMainQueue.h"

namespace {

// The binder the script functions serve, through the handle they share (upvalue 1): null
// once the wrapper closed, even while the interpreter still runs its shutdown.
LuaBinder* binderOf(lua_State* L) {
    return *static_cast<LuaBinder**>(lua_touserdata(L, lua_upvalueindex(1)));
}

// luaBinder.valueDidChangeForKey(table, key): tells the table's live proxy, on the main
// thread and without waiting, that the script changed the key.
int valueDidChangeForKey(lua_State* L) {
    LuaBinder* binder = binderOf(L);
    int keyType = lua_type(L, 2);
    if (!binder || !lua_istable(L, 1) || (keyType != LUA_TSTRING && keyType != LUA_TNUMBER)) return 0;
    lua_pushvalue(L, 2);
    std::string key = lua_tostring(L, -1);
    lua_settop(L, 1);
    QzRef<LuaObject> proxy = binder->proxyForReference(binder->getReference());
    // A change the host itself is writing through the proxy is announced by the proxy
    // already; announcing it again would double the will-change/did-change pair.
    if (proxy && !proxy->isWritingValue(key)) QzPerformOnMainThread([proxy, key] { proxy->valueDidChangeForKey(key); });
    return 0;
}

int objectAddedForKey(lua_State*) {
    QzLog("objectAddedForKey(): observing lua collections not yet implemented");
    return 0;
}

int objectRemovedForKey(lua_State*) {
    QzLog("objectRemovedForKey(): observing lua collections not yet implemented");
    return 0;
}

const luaL_Reg kFunctions[] = {
    {"valueDidChangeForKey", QzGuarded<valueDidChangeForKey>},
    {"objectAddedForKey", objectAddedForKey},
    {"objectRemovedForKey", objectRemovedForKey},
    {nullptr, nullptr},
};

}  // namespace

LuaBinder::LuaBinder(LuaState* luaState) : luaState_(luaState) {
    lua_State* L = luaState_->state();
    lua_newtable(L);  // the global "luaBinder"
    lua_pushlightuserdata(L, this);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, -4, "reverseReferences");
    lua_rawset(L, LUA_REGISTRYINDEX);
    handle_ = static_cast<LuaBinder**>(lua_newuserdata(L, sizeof(LuaBinder*)));
    *handle_ = this;
    for (const luaL_Reg* function = kFunctions; function->name; ++function) {
        lua_pushvalue(L, -1);
        lua_pushcclosure(L, function->func, 1);
        lua_setfield(L, -3, function->name);
    }
    lua_pop(L, 1);
    lua_pushlightuserdata(L, this);
    lua_setfield(L, -2, "luaBinderObject");
    lua_setglobal(L, "luaBinder");
}

LuaBinder::~LuaBinder() = default;

void LuaBinder::disconnect() {
    if (handle_) *handle_ = nullptr;
    handle_ = nullptr;
}

void LuaBinder::pushReverseReferences() {
    lua_State* L = luaState_->state();
    lua_pushlightuserdata(L, this);
    lua_rawget(L, LUA_REGISTRYINDEX);
}

int LuaBinder::getReference() {
    lua_State* L = luaState_->state();
    if (lua_isnil(L, -1)) return LuaBinderNoReference;
    pushReverseReferences();
    lua_pushvalue(L, -2);
    lua_rawget(L, -2);
    int reference = lua_isnumber(L, -1) ? static_cast<int>(lua_tointeger(L, -1)) : LuaBinderNoReference;
    lua_pop(L, 2);
    return reference;
}

int LuaBinder::makeReference() {
    lua_State* L = luaState_->state();
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return LUA_REFNIL;
    }
    int reference = getReference();
    if (reference == LuaBinderNoReference || !proxyForReference(reference)) {
        refuseInexactReference(L);
        lua_pushvalue(L, -1);
        reference = luaL_ref(L, LUA_REGISTRYINDEX);
        pushReverseReferences();
        lua_pushvalue(L, -2);
        lua_pushinteger(L, reference);
        lua_rawset(L, -3);
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return reference;
}

void LuaBinder::refuseInexactReference(lua_State* L) {
    // Registry keys are script numbers (32-bit floats): a new reference past 2^24 would be
    // stored over a neighbour's. luaL_ref reuses the free list (slot 0) first, and only
    // otherwise takes the slot after the last.
    constexpr size_t kLargestExactReference = size_t{1} << 24;
    lua_rawgeti(L, LUA_REGISTRYINDEX, 0);
    bool reusesFreedSlot = lua_tointeger(L, -1) != 0;
    lua_pop(L, 1);
    if (!reusesFreedSlot && lua_objlen(L, LUA_REGISTRYINDEX) >= kLargestExactReference) {
        lua_pop(L, 1);
        throw QzException(QzInternalInconsistencyException,
                          "too many script tables are held by the host: references past 2^24 would collide");
    }
}

QzRef<LuaObject> LuaBinder::toLuaObject() {
    int reference = makeReference();
    if (QzRef<LuaObject> live = proxyForReference(reference)) return live;
    QzRef<LuaObject> proxy = QzMake<LuaObject>(luaState_, reference);
    referencesToObjc_.setObject(proxy.get(), reference);
    return proxy;
}

bool LuaBinder::adoptReference(LuaObject* proxy, int reference) {
    if (reference <= 0 || proxyForReference(reference)) return false;
    lua_State* L = luaState_->state();
    lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
    bool adoptable = lua_istable(L, -1) && getReference() == reference;
    lua_pop(L, 1);
    if (adoptable) referencesToObjc_.setObject(proxy, reference);
    return adoptable;
}

void LuaBinder::dereference(int reference) {
    lua_rawgeti(luaState_->state(), LUA_REGISTRYINDEX, reference);
}

void LuaBinder::freeReference(int reference) {
    lua_State* L = luaState_->state();
    lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        QZ_ASSERT(false, this, "[LuaBinder freeReference] freeing a nil reference");
        return;
    }
    // The reverse entry goes only when it still names this reference: a newer reference
    // for the same table may have replaced it.
    pushReverseReferences();
    lua_pushvalue(L, -2);
    lua_rawget(L, -2);
    bool current = lua_isnumber(L, -1) && lua_tointeger(L, -1) == reference;
    lua_pop(L, 1);
    if (current) {
        lua_pushvalue(L, -2);
        lua_pushnil(L);
        lua_rawset(L, -3);
    }
    lua_pop(L, 2);
    referencesToObjc_.removeObjectForKey(reference);
    luaL_unref(L, LUA_REGISTRYINDEX, reference);
}

void LuaBinder::clear() {
    lua_State* L = luaState_->state();
    if (L) {
        lua_pushnil(L);
        lua_setglobal(L, "luaBinder");
    }
    referencesToObjc_.removeAllObjects();
}
