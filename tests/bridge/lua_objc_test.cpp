// Tests of the luaObjc library: classes and messages from scripts, conversions both ways,
// wrapper lifetime and misuse.
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include "LuaObject.h"
#include "LuaState.h"
#include "QzClass.h"
#include "luaObjc.h"
#include "log_capture.h"

namespace {

class Host final : public QzObject {
public:
    static QzClass* registeredClass() {
        static QzClass* cls = [] {
            QzClass* made = QzClass::registerClass("BridgeTestHost", QzClass::rootClass());
            made->addClassMethod<&Host::make>("host");
            made->addMethod<&Host::setValueForKey>("setValue:forKey:");
            made->addMethod<&Host::name>("name");
            made->addMethod<&Host::half>("half");
            made->addMethod<&Host::add>("add:to:");
            made->addMethod<&Host::fail>("fail");
            made->addMethod<&Host::self>("self");
            made->addMethod<&Host::twice>("twice:");
            made->addMethod<&Host::wide>("wide:");
            made->addMethod<&Host::negate>("negate:");
            return made;
        }();
        return cls;
    }
    QzClass* objectClass() const override { return registeredClass(); }
    static QzRef<Host> make() { return QzMake<Host>(); }
    void setValueForKey(QzObject* value, QzObject* key) {
        received = QzArray::of({QzId(value), QzId(key)});
    }
    QzRef<QzString> name() { return QzString::withUTF8("host"); }
    QzRef<QzNumber> half() { return QzNumber::withFloat(0.5f); }
    int add(int a, int b) { return a + b; }
    void fail() { throw std::runtime_error("host method failed"); }
    Host* self() { return this; }
    size_t twice(size_t n) { return 2 * n; }
    long long wide(long long n) { return n; }
    bool negate(bool flag) { return !flag; }

    QzRef<QzArray> received;
};

class LuaObjcTest : public ::testing::Test {
protected:
    LuaObjcTest() { Host::registeredClass(); }
    std::string eval(const std::string& expression) { return state->evaluateExpression(expression); }
    LogCapture log;
    QzRef<LuaState> state = LuaState::withNewState();
};

TEST_F(LuaObjcTest, UnderscoresBecomeColonsAndValuesConvertBothWays) {
    state->doString("host = luaObjc.class('BridgeTestHost'):host() host:setValue_forKey_(3, 'k')");
    QzId value = state->globalObject()->valueForKey("host");
    auto* host = QzCast<Host>(value.get());
    ASSERT_NE(host, nullptr);
    ASSERT_NE(host->received, nullptr);
    EXPECT_EQ(QzCast<QzNumber>(host->received->objectAtIndex(0))->floatValue(), 3.0f);
    EXPECT_EQ(QzCast<QzString>(host->received->objectAtIndex(1))->utf8(), "k");
    EXPECT_EQ(eval("type(host:name()) .. host:name()"), "stringhost");
    EXPECT_EQ(eval("type(host:half()) .. host:half()"), "number0.5");
    EXPECT_EQ(eval("host:add_to_(2, 40)"), "42");
    EXPECT_EQ(eval("luaObjc._NAME .. luaObjc._VERSION"), "luaObjc0.1");
}

TEST_F(LuaObjcTest, WrongArgumentTypesReadAsZeroOrNoObject) {
    state->doString("host = luaObjc.class('BridgeTestHost'):host()");
    EXPECT_EQ(eval("host:add_to_({}, 'x')"), "0");
    EXPECT_EQ(eval("host:add_to_(1e30, 0)"), "2.14748e+09");
    EXPECT_EQ(eval("select('#', host:setValue_forKey_(true, print))"), "0");
}

TEST_F(LuaObjcTest, EveryIntegerAndTheBooleanTypeConvertBothWays) {
    state->doString("host = luaObjc.class('BridgeTestHost'):host()");
    const std::pair<const char*, const char*> cases[] = {
        {"host:twice_(21)", "42"},         {"host:twice_(-1)", "0"},          {"host:wide_(-3)", "-3"},
        {"host:wide_(1e30)", "9.22337e+18"}, {"host:negate_(false)", "true"}, {"host:negate_(nil)", "true"},
        {"host:negate_(0)", "false"},
    };
    for (auto [expression, expected] : cases) EXPECT_EQ(eval(expression), expected) << expression;
}

TEST_F(LuaObjcTest, AMemoryErrorWhileWrappingNeverReleasesAnUnretainedObject) {
    // An interpreter whose allocator fails once the budget is spent (-1: no limit).
    static long budget = -1;
    lua_State* L = lua_newstate(
        [](void*, void* block, size_t, size_t size) -> void* {
            if (size == 0) {
                std::free(block);
                return nullptr;
            }
            if (budget == 0) return nullptr;
            if (budget > 0) --budget;
            return std::realloc(block, size);
        },
        nullptr);
    QzRef<LuaState> limited = LuaState::withState(L);
    QzRef<Host> host = Host::make();
    for (long allowed = 0; allowed < 12; ++allowed) {
        budget = allowed;
        lua_cpcall(L, [](lua_State* L) {
            luaObjc_pushid(L, static_cast<QzObject*>(lua_touserdata(L, 1)));
            return 0;
        }, host.get());
        budget = -1;
        lua_settop(L, 0);
        lua_gc(L, LUA_GCCOLLECT, 0);
        EXPECT_EQ(host->retainCount(), 1) << allowed;
    }
}

TEST_F(LuaObjcTest, MissingClassesSelectorsAndReceiversAreLoggedNotFatal) {
    EXPECT_EQ(eval("select('#', luaObjc.class('NoSuchClass'):alloc())"), "0");
    EXPECT_TRUE(log.contains("luaObjc: class (null) has no method called alloc"));
    state->doString("host = luaObjc.class('BridgeTestHost'):host()");
    EXPECT_EQ(eval("select('#', host:no_such_())"), "0");
    EXPECT_TRUE(log.contains("does not respond to selector: no:such:"));
    EXPECT_EQ(eval("select('#', host.setValue_forKey_({}, 1, 2))"), "0");
    EXPECT_TRUE(log.contains("luaObject_object_method_call attempt to call method setValue_forKey_ on nil"));
    // Scripts cannot reach the object's __gc to release it early.
    EXPECT_EQ(eval("tostring(getmetatable(host))"), "false");
    // A foreign userdata or a table is not taken for an object.
    EXPECT_EQ(eval("select('#', host.name(io.stdout))"), "0");
    EXPECT_EQ(eval("select('#', host.name({}))"), "0");
    // A method taken from one class's object runs the method of the object it is called on.
    state->doString("list = luaObjc.class('QzArray'):new() list:addObject_(1) count = list.count "
                    "pairs = luaObjc.class('QzDictionary'):new() pairs:setObject_forKey_(1, 'a') "
                    "pairs:setObject_forKey_(2, 'b')");
    EXPECT_EQ(eval("count(list) .. count(pairs) .. host.name(host)"), "12host");
    EXPECT_EQ(eval("select('#', count(host))"), "0");
}

TEST_F(LuaObjcTest, HostExceptionsBecomeScriptErrors) {
    state->doString("host = luaObjc.class('BridgeTestHost'):host()");
    EXPECT_EQ(eval("select(2, pcall(host.fail, host))"), "host method failed");
}

TEST_F(LuaObjcTest, CollectingTheLastWrapperReleasesTheObjectOnce) {
    QzRef<Host> host = Host::make();
    lua_State* L = state->state();
    luaObjc_pushid(L, host.get());
    luaObjc_pushid(L, host.get());
    EXPECT_EQ(host->retainCount(), 3);
    EXPECT_TRUE(luaObjc_isid(L, -1));
    EXPECT_EQ(luaObjc_getid(L, -2), host.get());
    EXPECT_EQ(luaObjc_toid(L, -1), host);
    lua_pop(L, 1);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(host->retainCount(), 2);
    lua_pop(L, 1);
    lua_gc(L, LUA_GCCOLLECT, 0);
    EXPECT_EQ(host->retainCount(), 1);
}

TEST_F(LuaObjcTest, ConvertersMapScriptValues) {
    lua_State* L = state->state();
    lua_pushnumber(L, 3);
    lua_pushstring(L, "s");
    lua_pushboolean(L, 1);
    luaObjc_pushClass(L, Host::registeredClass());
    EXPECT_EQ(QzCast<QzNumber>(luaObjc_toid(L, 1).get())->floatValue(), 3.0f);
    EXPECT_EQ(QzCast<QzString>(luaObjc_toid(L, 2).get())->utf8(), "s");
    EXPECT_EQ(luaObjc_toid(L, 3), nullptr);
    EXPECT_TRUE(luaObjc_isClass(L, -1));
    EXPECT_EQ(luaObjc_getClass(L, 4), Host::registeredClass());
    EXPECT_EQ(luaObjc_toid(L, 4).get(), Host::registeredClass());
    lua_settop(L, 0);
}

}  // namespace
