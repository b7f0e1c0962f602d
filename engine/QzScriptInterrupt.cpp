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
    const auto* interrupt = static_cast<const QzScriptInterrupt*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    if (!interrupt) return;
    const char* reason = interrupt->pendingReason();
    // While stopping, every instruction checks: the first one run after a pcall that caught
    // the error raises it again, outside that pcall, so no loop of pcalls holds the script.
    const int every = reason ? 1 : kCheckInstructions;
    if (lua_gethookcount(L) != every) lua_sethook(L, &QzScriptInterrupt::check, LUA_MASKCOUNT, every);
    if (reason) luaL_error(L, "script stopped: %s", reason);
}
