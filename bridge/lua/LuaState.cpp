// The Lua state wrapper: calls, errors with stack traces, conversions and the lock.
#include "LuaState.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include <lauxlib.h>
#include <lualib.h>

#include "LuaBinder.h"
#include "LuaObject.h"
#include "QzNotificationCenter.h"
#include "luaObjc.h"

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    char buffer[512];
    int length = std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    if (length < 0) return {};
    if (static_cast<size_t>(length) < sizeof buffer) return std::string(buffer, length);
    std::string text(length + 1, '\0');
    va_start(arguments, pattern);
    std::vsnprintf(text.data(), text.size(), pattern, arguments);
    va_end(arguments);
    text.resize(length);
    return text;
}

// The text of the value at index: strings and numbers as themselves, booleans as true or
// false, anything else by its type.
std::string valueText(lua_State* L, int index) {
    switch (lua_type(L, index)) {
    case LUA_TSTRING:
    case LUA_TNUMBER: {
        lua_pushvalue(L, index);  // lua_tolstring turns a number into a string in place
        size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        std::string copy(text, length);
        lua_pop(L, 1);
        return copy;
    }
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? "true" : "false";
    default:
        return std::string("<") + luaL_typename(L, index) + ">";
    }
}

std::string errorText(lua_State* L, int index) {
    int type = lua_type(L, index);
    if (type == LUA_TSTRING || type == LUA_TNUMBER) return valueText(L, index);
    return std::string("(error object is a ") + luaL_typename(L, index) + " value)";
}

void appendLocals(lua_State* L, lua_Debug* frame, std::string& trace) {
    trace += "{\n";
    for (int local = 1;; ++local) {
        const char* name = lua_getlocal(L, frame, local);
        if (!name) break;
        if (lua_isnil(L, -1))
            trace += format("\t%s = nil\n", name);
        else if (lua_istable(L, -1))
            trace += format("\t%s = <table>\n", name);
        else
            trace += format("\t%s = %s\n", name, valueText(L, -1).c_str());
        lua_pop(L, 1);
    }
    trace += "}\n";
}

// A trace keeps the levels nearest the error and the outermost ones; a runaway recursion
// would otherwise log every one of its thousands of frames.
constexpr int kFirstTraceLevels = 12;
constexpr int kLastTraceLevels = 10;

// The number of stack levels. lua_getstack walks from the top, so the count is found by
// doubling and halving rather than level by level.
int stackDepth(lua_State* L) {
    lua_Debug frame;
    int present = 0;
    int absent = 1;
    while (lua_getstack(L, absent, &frame)) {
        present = absent;
        absent *= 2;
    }
    while (absent - present > 1) {
        int middle = present + (absent - present) / 2;
        (lua_getstack(L, middle, &frame) ? present : absent) = middle;
    }
    return lua_getstack(L, 0, &frame) ? present + 1 : 0;
}

void appendLevel(lua_State* L, int level, std::string& trace) {
    lua_Debug frame;
    if (!lua_getstack(L, level, &frame) || !lua_getinfo(L, "lnuS", &frame)) return;
    const char* name = frame.name ? frame.name : "?";
    switch (frame.what ? frame.what[0] : '\0') {
    case 'C':
        trace += format("%d: C function %s\n", level, name);
        break;
    case 'L':
        trace += format("%d: [%s:%s]:%d\n", level, frame.short_src, name, frame.currentline);
        appendLocals(L, &frame, trace);
        break;
    case 'm':
        trace += format("%d: main part of a chunk\n", level);
        break;
    case 't':
        trace += format("%d: tail call\n", level);
        break;
    default:
        trace += "(unknown)\n";
        break;
    }
}

std::string stackTrace(lua_State* L) {
    std::string trace = "Stack Trace:\n";
    int depth = stackDepth(L);
    int leftOut = depth - kFirstTraceLevels - kLastTraceLevels;
    for (int level = 0; level < depth; ++level) {
        if (leftOut > 0 && level == kFirstTraceLevels) {
            trace += format("... %d levels left out ...\n", leftOut);
            level += leftOut - 1;
            continue;
        }
        appendLevel(L, level, trace);
    }
    return trace;
}

// Throws a LuaErrorException without trace made from the message at the top, popping it.
[[noreturn]] void throwMessageAtTop(lua_State* L) {
    LuaErrorException error(errorText(L, -1), std::nullopt);
    lua_pop(L, 1);
    throw error;
}

int absoluteIndex(lua_State* L, int index) {
    return index < 0 && index > LUA_REGISTRYINDEX ? lua_gettop(L) + index + 1 : index;
}

}  // namespace

int luaErrorHandler(lua_State* L) {
    std::string message = errorText(L, 1);
    QzLog("Lua Error: %s", message.c_str());
    std::string trace = stackTrace(L);
    QzLog("Stack Trace: %s", trace.c_str());
    lua_pushlightuserdata(L, new LuaErrorException(std::move(message), std::move(trace)));
    return 1;
}

int luaPanicHandler(lua_State* L) {
    std::string message = lua_gettop(L) > 0 ? errorText(L, -1) : "unprotected error in the interpreter";
    QzLog("Lua Panic: %s", message.c_str());
    lua_settop(L, 0);
    throw LuaErrorException(message, std::nullopt);
}

int qz_pcall(lua_State* L, int nargs, int nresults, int errfunc) {
    errfunc = absoluteIndex(L, errfunc);
    int status = lua_pcall(L, nargs, nresults, errfunc);
    if (status == 0) return 0;
    bool handled = status == LUA_ERRRUN && errfunc != 0 && lua_tocfunction(L, errfunc) == luaErrorHandler &&
                   lua_islightuserdata(L, -1);
    if (!handled) throwMessageAtTop(L);
    std::unique_ptr<LuaErrorException> error(static_cast<LuaErrorException*>(lua_touserdata(L, -1)));
    lua_pop(L, 1);
    throw LuaErrorException(*error);
}

LuaState::LuaState() = default;

LuaState::~LuaState() {
    LuaState::close();
}

QzRef<LuaState> LuaState::withState(lua_State* L) {
    QzRef<LuaState> state = QzAdopt(new LuaState);
    state->initWithState(L);
    return state;
}

QzRef<LuaState> LuaState::withNewState() {
    lua_State* L = luaL_newstate();
    if (L) luaL_openlibs(L);
    return withState(L);
}

void LuaState::initWithState(lua_State* L) {
    L_ = L;
    if (!L_) return;
    lua_atpanic(L_, luaPanicHandler);
    lua_pushcfunction(L_, luaopen_luaObjc);
    lua_pushstring(L_, "luaObjc");
    lua_call(L_, 1, 0);
    // One handler closure serves every call, rather than a new one per call.
    lua_pushcfunction(L_, luaErrorHandler);
    errorHandler_ = luaL_ref(L_, LUA_REGISTRYINDEX);
    binder_ = std::make_unique<LuaBinder>(this);
    globalObject()->setValueForKey(QzNumber::withInteger(1).get(), "_debuglevel");
}

void LuaState::detachFromInterpreter() {
    L_ = nullptr;
    if (binder_) binder_->disconnect();
}

void LuaState::freeBinder() {
    binder_.reset();
}

void LuaState::releaseGlobalObject() {
    globalObject_ = nullptr;
}

void LuaState::close() {
    releaseGlobalObject();
    LuaStateLock lock(this);
    // The wrapper lets go of the interpreter before closing it, so that proxies released
    // by the collector while it closes find no interpreter to touch. The binder goes last:
    // the closing interpreter's scripts may still call its functions.
    lua_State* L = L_;
    detachFromInterpreter();
    if (L) lua_close(L);
    freeBinder();
}

QzRef<LuaObject> LuaState::globalObject() {
    if (globalObject_) return globalObject_;
    QzRef<LuaObject> proxy;
    {
        LuaStateLock lock(this);
        if (!L_) return nullptr;
        lua_getglobal(L_, "_G");
        proxy = binder_->toLuaObject();
    }
    globalObject_ = proxy;
    return proxy;
}

// The owner is only ever compared with the calling thread, which always sees its own
// writes: relaxed order is enough, and the mutex orders everything else.
void LuaState::lockState() {
    QZ_ASSERT(!holdsLock(), this,
              "LuaState lock taken twice on one thread; release it before calling another locking operation");
    lock_.lock();
    lockOwner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void LuaState::unlockState() {
    lockOwner_.store(std::thread::id(), std::memory_order_relaxed);
    lock_.unlock();
}

bool LuaState::holdsLock() const {
    return lockOwner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

int LuaState::getTop() {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    return lua_gettop(L_);
}

void LuaState::setTop(int top) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    lua_settop(L_, top);
}

void LuaState::getGlobal(const char* name) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    QZ_ASSERT(name != nullptr, this, "global name string is NULL");
    lua_getglobal(L_, name);
}

void LuaState::getMember(const char* name) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    QZ_ASSERT(name != nullptr, this, "member name string is NULL");
    QZ_ASSERT(name[0] != '\0', this, "name is an empty string");
    lua_getfield(L_, -1, name);
}

void LuaState::getMemberAtIndex(int index) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    lua_pushnumber(L_, static_cast<lua_Number>(index));
    lua_gettable(L_, -2);
}

void LuaState::setMemberAtIndex(QzObject* value, int index) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    lua_pushnumber(L_, static_cast<lua_Number>(index));
    pushArgument(value);
    lua_settable(L_, -3);
}

void LuaState::setMemberValue(QzObject* value, QzObject* key) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    pushArgument(key);
    pushArgument(value);
    lua_settable(L_, -3);
}

bool LuaState::equal() {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    return lua_equal(L_, -1, -2) != 0;
}

int LuaState::luaType() {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    return lua_type(L_, -1);
}

bool LuaState::hasMethod(const std::string& name) {
    if (!L_) return false;
    if (!lua_istable(L_, -1)) {
        QzLog("Warning: hasMethod called, but stack top object is not a table");
        return false;
    }
    lua_getfield(L_, -1, name.c_str());
    bool isFunction = lua_isfunction(L_, -1);
    lua_pop(L_, 1);
    return isFunction;
}

QzId LuaState::getStackItem(int index) {
    if (!L_) return nullptr;
    index = absoluteIndex(L_, index);
    switch (lua_type(L_, index)) {
    case LUA_TBOOLEAN:
        return QzNumber::withBool(lua_toboolean(L_, index));
    case LUA_TNUMBER:
        return QzNumber::withFloat(lua_tonumber(L_, index));
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L_, index, &length);
        return QzString::withUTF8({text, length});
    }
    case LUA_TNIL:
        return QzId(QzNull::null());
    case LUA_TUSERDATA:
        return QzId(luaObjc_getid(L_, index));
    case LUA_TTABLE:
        if (QzClass* cls = luaObjc_getClass(L_, index)) return QzId(cls);
        lua_pushvalue(L_, index);
        return binder_->toLuaObject();
    default:
        return nullptr;
    }
}

QzRef<QzArray> LuaState::popStack(int n) {
    if (!L_) return QzArray::empty();
    int top = lua_gettop(L_);
    n = std::clamp(n, 0, top);
    QzRef<QzArray> items;
    for (int index = top - n + 1; index <= top; ++index) {
        // nil results are left out, so that a function returning nil gives no result.
        if (lua_isnil(L_, index)) continue;
        QzId item = getStackItem(index);
        if (!item) continue;
        if (!items) items = QzArray::array();
        items->addObject(item.get());
    }
    lua_pop(L_, n);
    // Most calls return nothing: they share the one empty array instead of making one.
    return items ? items : QzArray::empty();
}

void LuaState::pushArgument(QzObject* argument) {
    if (!L_) return;
    auto* proxy = QzCast<LuaObject>(argument);
    if (!argument || QzIsNull(argument))
        lua_pushnil(L_);
    else if (proxy && proxy->belongsTo(this))
        binder_->dereference(proxy->ref());
    else
        luaObjc_pushid(L_, argument);
}

void LuaState::pushArguments(const QzArray* arguments) {
    if (!arguments) return;
    for (const QzId& argument : *arguments) pushArgument(argument.get());
}

int LuaState::pushErrorHandler() {
    lua_rawgeti(L_, LUA_REGISTRYINDEX, errorHandler_);
    return lua_gettop(L_);
}

void LuaState::pushFieldOrNil(int index, const char* name) {
    // Only tables and userdata can be indexed; anything else would raise outside any
    // protected call. Pushing nil instead lets the call fail with a trace.
    int type = lua_type(L_, index);
    if (type == LUA_TTABLE || type == LUA_TUSERDATA)
        lua_getfield(L_, index, name);
    else
        lua_pushnil(L_);
}

QzRef<QzArray> LuaState::callPushedFunction(int handler, int extraArguments, const QzArray* arguments) {
    pushArguments(arguments);
    int count = arguments ? static_cast<int>(arguments->count()) : 0;
    qz_pcall(L_, extraArguments + count, 1, handler);
    return popStack(1);
}

void LuaState::doFunctionCall(int nargs) {
    QZ_ASSERT(L_ != nullptr, this, "Lua State is nil");
    int function = lua_gettop(L_) - nargs;
    pushErrorHandler();
    lua_insert(L_, function);
    try {
        qz_pcall(L_, nargs, 1, function);
    } catch (...) {
        lua_remove(L_, function);
        throw;
    }
    lua_remove(L_, function);
}

QzRef<QzArray> LuaState::callMethodWithArgs(const std::string& name, const QzArray* arguments) {
    if (!L_) return QzArray::empty();
    int table = lua_gettop(L_);
    int handler = pushErrorHandler();
    pushFieldOrNil(table, name.c_str());
    try {
        QzRef<QzArray> results = callPushedFunction(handler, 0, arguments);
        lua_settop(L_, table);
        return results;
    } catch (...) {
        lua_settop(L_, table);
        throw;
    }
}

QzRef<QzArray> LuaState::callFunction(const std::string& name, const QzArray* arguments) {
    LuaStateLock lock(this);
    if (!L_) return QzArray::empty();
    int handler = pushErrorHandler();
    lua_getglobal(L_, name.c_str());
    return callPushedFunction(handler, 0, arguments);
}

QzId LuaState::callSimpleFunction(const std::string& name, const QzArray* arguments) {
    return QzId(callFunction(name, arguments)->firstObject());
}

QzRef<QzArray> LuaState::callMethodOfObject(const std::string& name, const std::string& objectName,
                                            const QzArray* arguments) {
    LuaStateLock lock(this);
    if (!L_) return QzArray::empty();
    int handler = pushErrorHandler();
    lua_getglobal(L_, objectName.c_str());
    int object = lua_gettop(L_);
    pushFieldOrNil(object, name.c_str());
    lua_pushvalue(L_, object);
    return callPushedFunction(handler, 1, arguments);
}

QzId LuaState::callSimpleMethodOfObject(const std::string& name, const std::string& objectName,
                                        const QzArray* arguments) {
    return QzId(callMethodOfObject(name, objectName, arguments)->firstObject());
}

std::optional<std::string> LuaState::doString(const std::string& text) {
    LuaStateLock lock(this);
    if (!L_) return std::nullopt;
    int handler = pushErrorHandler();
    if (luaL_loadbuffer(L_, text.data(), text.size(), text.c_str()) != 0) throwMessageAtTop(L_);
    qz_pcall(L_, 0, 0, handler);
    if (lua_type(L_, -1) != LUA_TSTRING) return std::nullopt;
    return std::string(lua_tostring(L_, -1));
}

std::optional<std::string> LuaState::doFile(const std::string& path) {
    LuaStateLock lock(this);
    if (!L_) return std::nullopt;
    int handler = pushErrorHandler();
    if (luaL_loadfile(L_, path.c_str()) != 0) throwMessageAtTop(L_);
    qz_pcall(L_, 0, 1, handler);
    switch (lua_type(L_, -1)) {
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L_, -1, &length);
        return std::string(text, length);
    }
    case LUA_TNIL:
        return std::nullopt;
    default:
        return "Result not a string!";
    }
}

bool LuaState::syntaxCheck(const std::string& text) {
    LuaStateLock lock(this);
    if (!L_) return false;
    return luaL_loadbuffer(L_, text.data(), text.size(), text.c_str()) == 0;
}

std::string LuaState::evaluateExpression(const std::string& expression) {
    doString("__result = tostring(" + expression + ")");
    LuaStateLock lock(this);
    if (!L_) return {};
    lua_getglobal(L_, "__result");
    size_t length = 0;
    const char* text = lua_tolstring(L_, -1, &length);
    return text ? std::string(text, length) : std::string();
}

void LuaState::collectGarbage() {
    LuaStateLock lock(this);
    if (L_) lua_gc(L_, LUA_GCCOLLECT, 0);
}

int LuaState::totalMemoryAllocated() {
    return L_ ? lua_gc(L_, LUA_GCCOUNT, 0) : 0;
}

QzId LuaState::instanceOfClass(const std::string& name) {
    bool isTable = false;
    {
        LuaStateLock lock(this);
        if (L_) {
            lua_getglobal(L_, name.c_str());
            isTable = lua_istable(L_, -1);
        }
    }
    QzId instance;
    if (!isTable) {
        QzLog("No lua class %s found", name.c_str());
    } else if (QzRef<LuaObject> global = globalObject()) {
        QzId value = global->valueForKey(name);
        if (auto* prototype = QzCast<LuaObject>(value.get())) instance = prototype->invokeMethod("new");
    }
    QzNotificationCenter::defaultCenter().post(LuaObjectCreatedNotification, {}, this);
    return instance;
}

QzId LuaState::instanceOfPrototype(LuaObject* prototype) {
    QzId instance = prototype ? prototype->invokeMethod("new") : nullptr;
    QzNotificationCenter::defaultCenter().post(LuaObjectCreatedNotification, {}, this);
    return instance;
}

LuaStateLock::LuaStateLock(LuaState* state) : state_(state) {
    state_->lockState();
}

LuaStateLock::~LuaStateLock() {
    if (state_->L_) lua_settop(state_->L_, 0);
    state_->unlockState();
}
