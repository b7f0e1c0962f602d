// The host's handle on one Lua interpreter: script text and files, calls with runtime
// objects as arguments and results, script errors as LuaErrorException, and a lock.
#ifndef LUA_STATE_H
#define LUA_STATE_H

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <lua.h>

#include "LuaErrorException.h"
#include "QzObject.h"
#include "QzValues.h"

class LuaBinder;
class LuaObject;

// The message handler installed under every protected call of the wrapper: logs the error
// and its stack trace and returns a light userdata holding a new LuaErrorException, which
// qz_pcall takes over. Use it only through qz_pcall.
int luaErrorHandler(lua_State* L);
// The panic function: logs "Lua Panic: <message>" and throws a LuaErrorException with that
// message and no stack trace.
int luaPanicHandler(lua_State* L);
// lua_pcall that throws instead of returning a failure: the handler's exception when errfunc
// is the stack index of luaErrorHandler, otherwise one made from the message at the top.
int qz_pcall(lua_State* L, int nargs, int nresults, int errfunc);

// Operations marked (locks) take the wrapper's lock for their duration; the others expect
// the caller to hold it (lockState) or to run alone. The lock is not recursive: taking it
// again on the thread that holds it fails the assertion handler instead of deadlocking.
// Every call operation leaves the stack as the caller expects (the locking ones empty it)
// and the lock free before a LuaErrorException passes on.
class LuaState : public QzObject {
public:
    // Wraps an interpreter the wrapper then owns (closed by close()); opens luaObjc and the
    // binder and sets the global _debuglevel to 1.
    static QzRef<LuaState> withState(lua_State* L);
    static QzRef<LuaState> withNewState();
    ~LuaState() override;

    virtual void close();

    // (locks) A proxy for the global table, made on first use and kept.
    QzRef<LuaObject> globalObject();

    void lockState();
    void unlockState();
    // Whether the calling thread holds the lock.
    bool holdsLock() const;
    // Runs `body` holding the lock: taken for it, or already held by the calling thread.
    // The stack top is restored afterwards.
    template <class Body>
    void withLockHeld(Body body);

    int getTop();
    void setTop(int top);
    void getGlobal(const char* name);
    // Pushes field `name` of the table at the top.
    void getMember(const char* name);
    void getMemberAtIndex(int index);
    void setMemberAtIndex(QzObject* value, int index);
    void setMemberValue(QzObject* value, QzObject* key);
    bool equal();
    int luaType();
    bool hasMethod(const std::string& name);
    // The value at the index as an object: booleans and numbers as numbers, strings,
    // wrapped objects and classes, nil as the null singleton, tables as proxies; null for
    // anything else.
    QzId getStackItem(int index);
    // The top n values as objects (deepest first, leaving out nil and values with no object
    // form); pops them. With nothing to return, the result is the shared QzArray::empty().
    // So are the results of the call operations below.
    QzRef<QzArray> popStack(int n);
    void pushArgument(QzObject* argument);
    void pushArguments(const QzArray* arguments);
    // Calls the function below the nargs arguments at the top, leaving one result.
    void doFunctionCall(int nargs);
    // Calls method `name` of the table at the top with the arguments (no self argument is
    // added); the table stays, the result is returned.
    QzRef<QzArray> callMethodWithArgs(const std::string& name, const QzArray* arguments);

    // (locks) Calls the global function with the arguments; at most one result.
    QzRef<QzArray> callFunction(const std::string& name, const QzArray* arguments = nullptr);
    QzId callSimpleFunction(const std::string& name, const QzArray* arguments = nullptr);
    // (locks) Calls objectName:name(arguments...) on the global table objectName.
    QzRef<QzArray> callMethodOfObject(const std::string& name, const std::string& objectName,
                                      const QzArray* arguments = nullptr);
    QzId callSimpleMethodOfObject(const std::string& name, const std::string& objectName,
                                  const QzArray* arguments = nullptr);
    // (locks) Runs script text; a text that does not compile raises its compile error.
    std::optional<std::string> doString(const std::string& text);
    // (locks) Runs a script file: its string result, none for nil or nothing, and
    // "Result not a string!" for any other result.
    std::optional<std::string> doFile(const std::string& path);
    // (locks) Whether the text compiles.
    bool syntaxCheck(const std::string& text);
    // tostring(expression), as text; the empty string with no interpreter.
    std::string evaluateExpression(const std::string& expression);
    // (locks)
    void collectGarbage();
    // Kilobytes in use by the interpreter.
    int totalMemoryAllocated();
    // The result of Name:new() for the global table Name, or null (logged) when there is no
    // such table. Posts "luaObjectCreatedNotification".
    QzId instanceOfClass(const std::string& name);
    QzId instanceOfPrototype(LuaObject* prototype);

    lua_State* state() const { return L_; }
    LuaBinder* binder() const { return binder_.get(); }

protected:
    LuaState();
    void initWithState(lua_State* L);
    // Lets go of the global proxy (which frees its reference while the interpreter lives).
    void releaseGlobalObject();
    // Forgets the interpreter and disconnects the binder's script functions; the interpreter
    // itself is the caller's to close, and then the binder's to free (freeBinder).
    void detachFromInterpreter();
    void freeBinder();

private:
    friend class LuaStateLock;
    // Pushes the message handler and returns its stack index.
    int pushErrorHandler();
    // Pushes the arguments after the function (and `extraArguments` values already pushed),
    // calls it under the handler at index `handler` and pops its one result.
    QzRef<QzArray> callPushedFunction(int handler, int extraArguments, const QzArray* arguments);
    // Pushes field `name` of the value at index, or nil when that value cannot be indexed.
    void pushFieldOrNil(int index, const char* name);

    lua_State* L_ = nullptr;                  // owned unless a QzLuaState's engine state owns it
    int errorHandler_ = 0;                    // registry reference of the message handler, once made
    std::mutex lock_;                         // the wrapper's lock, owned
    std::atomic<std::thread::id> lockOwner_;  // the thread holding lock_, if any
    std::unique_ptr<LuaBinder> binder_;       // owned
    QzRef<LuaObject> globalObject_;           // retained; made on first use
};

// Holds a LuaState's lock for a scope, and empties the stack when the scope ends.
class LuaStateLock {
public:
    explicit LuaStateLock(LuaState* state);
    ~LuaStateLock();
    LuaStateLock(const LuaStateLock&) = delete;
    LuaStateLock& operator=(const LuaStateLock&) = delete;

private:
    LuaState* state_;  // borrowed
};

template <class Body>
void LuaState::withLockHeld(Body body) {
    bool takeLock = !holdsLock();
    if (takeLock) lockState();
    int top = L_ ? lua_gettop(L_) : 0;
    try {
        body();
    } catch (...) {
        if (L_) lua_settop(L_, top);
        if (takeLock) unlockState();
        throw;
    }
    if (L_) lua_settop(L_, top);
    if (takeLock) unlockState();
}

// Name of the notification posted (with the LuaState as sender) when instanceOfClass or
// instanceOfPrototype made an object.
inline constexpr const char* LuaObjectCreatedNotification = "luaObjectCreatedNotification";

#endif
