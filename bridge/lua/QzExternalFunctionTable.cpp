// External function tables and the engine's external-function callback.
#include "QzExternalFunctionTable.h"

#include "QzClass.h"
#include "QzInvocation.h"
#include "QzLog.h"
#include "QzLuaGuard.h"
#include "QzValues.h"
#include "luaObjc.h"

namespace {

struct TableRegistry {
    std::mutex mutex;
    std::map<lua_State*, std::shared_ptr<QzExternalFunctionTable>> tables;
};

TableRegistry& tableRegistry() {
    static TableRegistry* registry = new TableRegistry;  // calls may come while the process exits
    return *registry;
}

std::shared_ptr<QzExternalFunctionTable> existingTable(lua_State* L) {
    TableRegistry& registry = tableRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = registry.tables.find(L);
    return found == registry.tables.end() ? nullptr : found->second;
}

// A script number or string as an object; anything else as none.
QzId scriptValueAsObject(lua_State* L, int index) {
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return QzNumber::withFloat(lua_tonumber(L, index));
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        return QzString::withUTF8({text, length});
    }
    default:
        return nullptr;
    }
}

void setArgument(lua_State* L, int index, QzInvocation& invocation, size_t position) {
    switch (invocation.methodSignature()->argumentTypeLetter(position)) {
    case '@':
        invocation.setObject(position, scriptValueAsObject(L, index).get());
        break;
    default:
        luaObjc_setNumberArgument(L, index, invocation, position);
        break;
    }
}

int pushResult(lua_State* L, const QzInvocation& invocation) {
    switch (invocation.methodSignature()->returnTypeLetter()) {
    case '@':
        if (auto* number = QzCast<QzNumber>(invocation.returnObject()))
            lua_pushnumber(L, number->floatValue());
        else if (auto* string = QzCast<QzString>(invocation.returnObject()))
            lua_pushlstring(L, string->utf8().data(), string->length());
        else
            lua_pushnil(L);
        return 1;
    default:
        return luaObjc_pushNumberReturn(L, invocation);
    }
}

int performExternalCall(lua_State* L) {
    std::shared_ptr<QzExternalFunctionTable> table = existingTable(L);
    return table ? table->performCall(L) : 0;
}

}  // namespace

QzExternalFunctionAction::QzExternalFunctionAction(QzObject* target, std::string selector, QzObject* context)
    : target_(target), selector_(std::move(selector)), context_(context), hasContext_(context != nullptr) {}

std::shared_ptr<QzExternalFunctionTable> QzExternalFunctionTable::externalFunctionTableForState(lua_State* L) {
    TableRegistry& registry = tableRegistry();
    std::lock_guard lock(registry.mutex);
    std::shared_ptr<QzExternalFunctionTable>& table = registry.tables[L];
    if (!table) table = std::make_shared<QzExternalFunctionTable>();
    return table;
}

void QzExternalFunctionTable::destroyExternalFunctionTableForState(lua_State* L) {
    TableRegistry& registry = tableRegistry();
    std::lock_guard lock(registry.mutex);
    registry.tables.erase(L);
}

void QzExternalFunctionTable::registerTarget(QzObject* target, QzObject* context, const std::string& selector,
                                             const std::string& name) {
    auto action = std::make_shared<const QzExternalFunctionAction>(target, selector, context);
    std::lock_guard lock(mutex_);
    functions_[name] = std::move(action);
}

void QzExternalFunctionTable::registerTarget(QzObject* target, QzObject* context,
                                             std::initializer_list<std::pair<std::string, std::string>> namesAndSelectors) {
    for (const auto& [name, selector] : namesAndSelectors) registerTarget(target, context, selector, name);
}

int QzExternalFunctionTable::performCall(lua_State* L) {
    if (lua_type(L, 1) != LUA_TSTRING) return 0;
    std::shared_ptr<const QzExternalFunctionAction> action;
    {
        std::lock_guard lock(mutex_);
        auto found = functions_.find(lua_tostring(L, 1));
        if (found == functions_.end()) return 0;
        action = found->second;
    }
    QzId target = action->target();
    QzId context = action->context();
    if (!target || (action->hasContext() && !context)) return 0;
    const QzMethodSignature* signature = QzMethodSignatureForSelector(target.get(), action->selector());
    if (!signature) {
        QzLog("External function %s: %s does not respond to selector %s", lua_tostring(L, 1),
              target->description().c_str(), action->selector().c_str());
        return 0;
    }
    QzInvocation invocation(signature);
    size_t arguments = signature->numberOfArguments();
    if (arguments > 2 && QzTypeMatches(signature->argumentType(2), "@")) invocation.setObject(2, context.get());
    for (size_t position = 3; position < arguments; ++position)
        setArgument(L, static_cast<int>(position) - 1, invocation, position);
    invocation.setSelector(action->selector());
    invocation.invokeWithTarget(target.get());
    return pushResult(L, invocation);
}

int32_t callExternalFunction(void*, lua_State* L) {
    return QzGuarded<performExternalCall>(L);
}
