// The host functions scripts reach by name through callbacks.callExternalFunction: one
// table per interpreter, mapping names to a method of a host object.
#ifndef QZ_EXTERNAL_FUNCTION_TABLE_H
#define QZ_EXTERNAL_FUNCTION_TABLE_H

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <lua.h>

#include "QzObject.h"

// One registered function: the method `selector` of `target`, called with `context` first.
// Target and context are held weakly: once either is gone the function gives no result.
class QzExternalFunctionAction {
public:
    QzExternalFunctionAction(QzObject* target, std::string selector, QzObject* context);
    QzId target() const { return target_.load(); }
    const std::string& selector() const { return selector_; }
    QzId context() const { return context_.load(); }
    // Whether a context was registered (and so must still be alive for a call).
    bool hasContext() const { return hasContext_; }

private:
    QzWeak<QzObject> target_;
    std::string selector_;
    QzWeak<QzObject> context_;
    bool hasContext_;
};

class QzExternalFunctionTable {
public:
    // The interpreter's table, made on first request. Shared: it stays valid for a holder
    // even after it was destroyed for the interpreter.
    static std::shared_ptr<QzExternalFunctionTable> externalFunctionTableForState(lua_State* L);
    // Forgets the interpreter's table (an interpreter made later at the same address gets
    // a fresh one).
    static void destroyExternalFunctionTableForState(lua_State* L);

    // Registers (or replaces) the function `name`. The method's first argument after the
    // receiver and selector receives the context.
    void registerTarget(QzObject* target, QzObject* context, const std::string& selector, const std::string& name);
    // Registers each (name, selector) pair with the same target and context.
    void registerTarget(QzObject* target, QzObject* context,
                        std::initializer_list<std::pair<std::string, std::string>> namesAndSelectors);

    // Calls the function named by stack index 1 with the script arguments from index 2,
    // converted by the method's argument types; pushes its result and returns the count
    // (0 for an unknown name, a gone target or a method without result).
    int performCall(lua_State* L);

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const QzExternalFunctionAction>> functions_;
};

// The engine state's external-function callback: the calling interpreter's table performs
// the call; an interpreter without a table gets no result. The context is not used.
int32_t callExternalFunction(void* context, lua_State* L);

#endif
