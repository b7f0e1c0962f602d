// The interrupt's count hook and its request, deadline and clearing.
#include "QzScriptInterrupt.h"

#include <lauxlib.h>

static_assert(std::atomic<const char*>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free,
              "requests come from signal handlers");

namespace {

// The registry key under which an interpreter keeps its interrupt (a light userdata).
const char kRegistryKey = 0;

int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void QzScriptInterrupt::attach(lua_State* L) {
    lua_pushlightuserdata(L, const_cast<char*>(&kRegistryKey));
    lua_pushlightuserdata(L, this);
    lua_rawset(L, LUA_REGISTRYINDEX);
    lua_sethook(L, &QzScriptInterrupt::check, LUA_MASKCOUNT, kCheckInstructions);
    lua_newtable(L);
    lua_pushlightuserdata(L, this);
    lua_pushcclosure(L, &QzScriptInterrupt::limitedCall, 1);
    lua_setfield(L, -2, "call");
    lua_setglobal(L, "scriptLimits");
}

int QzScriptInterrupt::limitedCall(lua_State* L) {
    auto* interrupt = static_cast<QzScriptInterrupt*>(lua_touserdata(L, lua_upvalueindex(1)));
    luaL_checkany(L, 1);
    // Calls made inside a limited call share its time.
    if (interrupt->callDepth_++ == 0) ++interrupt->callNumber_;
    const int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
    if (--interrupt->callDepth_ == 0) interrupt->callStopped_ = false;
    // The results may fill the stack: room for the status before them.
    if (!lua_checkstack(L, 1)) return luaL_error(L, "too many results of a behaviour call");
    lua_pushboolean(L, status == 0);
    lua_insert(L, 1);
    return lua_gettop(L);
}

bool QzScriptInterrupt::callOverran() {
    if (callDepth_ == 0) return false;
    if (callStopped_) return true;
    const int64_t now = nowNanoseconds();
    if (seenCallNumber_ != callNumber_) {
        seenCallNumber_ = callNumber_;
        seenCallAt_ = now;
        return false;
    }
    callStopped_ = now - seenCallAt_ >= callLimit_.count();
    return callStopped_;
}

void QzScriptInterrupt::request(const char* reason) { reason_.store(reason); }

void QzScriptInterrupt::setDeadline(std::chrono::nanoseconds limit) {
    deadline_.store(nowNanoseconds() + limit.count());
}

void QzScriptInterrupt::clear() {
    reason_.store(nullptr);
    deadline_.store(0);
}

const char* QzScriptInterrupt::pendingReason() const {
    if (const char* reason = reason_.load()) return reason;
    const int64_t deadline = deadline_.load();
    return deadline != 0 && nowNanoseconds() >= deadline ? "it ran past its time limit" : nullptr;
}

void QzScriptInterrupt::check(lua_State* L, lua_Debug*) {
    lua_pushlightuserdata(L, const_cast<char*>(&kRegistryKey));
    lua_rawget(L, LUA_REGISTRYINDEX);
    auto* interrupt = static_cast<QzScriptInterrupt*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    if (!interrupt) return;
    const char* reason = interrupt->pendingReason();
    const bool overran = !reason && interrupt->callOverran();
    // While stopping, every instruction checks: the first one run after a pcall that caught
    // the error raises it again, outside that pcall, so no loop of pcalls holds the script.
    const int every = reason || overran ? 1 : kCheckInstructions;
    if (lua_gethookcount(L) != every) lua_sethook(L, &QzScriptInterrupt::check, LUA_MASKCOUNT, every);
    if (reason) luaL_error(L, "script stopped: %s", reason);
    if (overran) {
        // Where the running function is (level 0): its caller may be the protected call.
        luaL_where(L, 0);
        lua_pushfstring(L, "script stopped: one call ran longer than %f s",
                        std::chrono::duration<double>(interrupt->callLimit_).count());
        lua_concat(L, 2);
        lua_error(L);
    }
}
