// Stopping a running script from outside it: a pending request, a deadline or a call that
// ran too long, checked by an interpreter count hook that raises a script error.
#ifndef QZ_SCRIPT_INTERRUPT_H
#define QZ_SCRIPT_INTERRUPT_H

#include <atomic>
#include <chrono>
#include <cstdint>

#include <lua.h>

// A script stuck in a loop never returns to its host, so the host cannot stop it between
// calls. Once attached to an interpreter, the interrupt is checked every kCheckInstructions
// virtual-machine instructions of every script running there (coroutines made later
// included); while a request is pending or the deadline has passed, each check raises
// "script stopped: <reason>". A request stays pending until clear(), and while it is
// pending every instruction checks, so a script that catches the error with pcall is
// stopped again as soon as the pcall returns.
class QzScriptInterrupt {
public:
    static constexpr int kCheckInstructions = 1000;

    QzScriptInterrupt() = default;
    QzScriptInterrupt(const QzScriptInterrupt&) = delete;
    QzScriptInterrupt& operator=(const QzScriptInterrupt&) = delete;

    // Installs the check in L. The interrupt is borrowed and must outlive L.
    void attach(lua_State* L);
    // Any thread, and signal handlers (lock-free stores only). reason must be a string
    // literal: it is read while the script is being stopped.
    void request(const char* reason);
    // Stops the scripts that are still running `limit` from now, until clear().
    void setDeadline(std::chrono::nanoseconds limit);
    // Withdraws the request and the deadline.
    void clear();
    // The reason the next check would raise, or null. A call stopped by its own limit (below)
    // is not counted: the scripts around it go on.
    const char* pendingReason() const;

    // Calls the game's scripts make through the interpreter's `scriptLimits.call(fn, ...)`
    // (a protected call with pcall's results) are stopped once they ran longer than the call
    // limit, with everything they call in turn; the script that made the call goes on. The
    // limit is changed on the interpreter's thread only.
    static constexpr std::chrono::seconds kDefaultCallLimit{2};
    void setCallLimit(std::chrono::nanoseconds limit) { callLimit_ = limit; }

private:
    static void check(lua_State* L, lua_Debug* debug);
    static int limitedCall(lua_State* L);
    // Whether the limited call running now has run past the call limit.
    bool callOverran();

    std::atomic<const char*> reason_{nullptr};
    std::atomic<int64_t> deadline_{0};  // steady-clock nanoseconds; 0: none

    // The limited calls, on the interpreter's thread only. Each outermost call gets a new
    // number; the first check that sees a number starts its clock, so a call costs no clock
    // reading and the time counted starts at most kCheckInstructions late.
    std::chrono::nanoseconds callLimit_ = kDefaultCallLimit;
    int callDepth_ = 0;
    uint64_t callNumber_ = 0;
    uint64_t seenCallNumber_ = 0;
    int64_t seenCallAt_ = 0;
    bool callStopped_ = false;  // until the outermost limited call returns
};

#endif
