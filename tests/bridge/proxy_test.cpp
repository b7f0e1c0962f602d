// Tests of the binder and the table proxies: identity, references, key-value access,
// change announcements, script collections and proxies outliving their state.
#include <atomic>
#include <map>
#include <thread>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "LuaBinder.h"
#include "LuaObject.h"
#include "LuaState.h"
#include "QzMainQueue.h"
#include "QzNotificationCenter.h"
#include "log_capture.h"

namespace {

class ProxyTest : public ::testing::Test {
protected:
    ProxyTest() { QzMainQueueBecomeMainThread(); }
    QzRef<LuaObject> global(const std::string& name) {
        QzId value = state->globalObject()->valueForKey(name);
        return QzRef<LuaObject>(QzCast<LuaObject>(value.get()));
    }
    std::string eval(const std::string& expression) { return state->evaluateExpression(expression); }
    LogCapture log;
    QzRef<LuaState> state = LuaState::withNewState();
};

TEST_F(ProxyTest, OneLiveProxyPerTableAndItsReferenceFreedWithIt) {
    state->doString("t = {}");
    QzRef<LuaObject> first = global("t");
    EXPECT_EQ(global("t"), first);
    int reference = first->ref();
    EXPECT_EQ(eval("luaBinder.reverseReferences[t]"), std::to_string(reference));
    first = nullptr;
    EXPECT_EQ(eval("tostring(luaBinder.reverseReferences[t])"), "nil");
    state->lockState();
    lua_rawgeti(state->state(), LUA_REGISTRYINDEX, reference);
    EXPECT_FALSE(lua_istable(state->state(), -1));
    state->setTop(0);
    state->unlockState();
    EXPECT_NE(global("t"), nullptr);
}

TEST_F(ProxyTest, ReleasingAProxyWhileHoldingTheLockFreesItWithoutDeadlock) {
    state->doString("t = {}");
    lua_State* L = state->state();
    state->lockState();
    lua_getglobal(L, "t");
    QzRef<LuaObject> proxy = state->binder()->toLuaObject();
    int reference = proxy->ref();
    lua_pushnumber(L, 1);
    proxy = nullptr;
    EXPECT_EQ(lua_gettop(L), 1);
    lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
    EXPECT_FALSE(lua_istable(L, -1));
    state->setTop(0);
    state->unlockState();
}

TEST_F(ProxyTest, FreeingANilReferenceFailsTheAssertion) {
    state->lockState();
    EXPECT_THROW(state->binder()->freeReference(9999), QzException);
    state->unlockState();
}

TEST_F(ProxyTest, KeyAndIndexAccess) {
    state->doString("t = {1, 2, nil, 4, name = 'n'}");
    QzRef<LuaObject> t = global("t");
    EXPECT_EQ(t->toArray()->count(), 2u);
    EXPECT_EQ(t->valueForKey("missing"), nullptr);
    EXPECT_EQ(QzCast<QzString>(t->valueForKey("name").get())->utf8(), "n");
    t->setValueForKey(nullptr, "name");
    EXPECT_EQ(eval("tostring(t.name)"), "nil");
    t->setValueAtIndex(QzString::withUTF8("three").get(), 3);
    EXPECT_EQ(t->toArray()->count(), 4u);
    EXPECT_EQ(QzCast<QzString>(t->valueAtIndex(3).get())->utf8(), "three");
}

TEST_F(ProxyTest, ScriptAccessorMethodsAreUsedWhenPresent) {
    state->doString("o = {store = {}} function o:valueForKey(k) return 'v:' .. k end "
                    "function o:setValueForKey(v, k) self.store[k] = v end "
                    "function o:twice(x) return 2 * x end");
    QzRef<LuaObject> o = global("o");
    EXPECT_EQ(QzCast<QzString>(o->valueForKey("a").get())->utf8(), "v:a");
    o->setValueForKey(QzNumber::withFloat(5).get(), "a");
    EXPECT_EQ(eval("o.store.a"), "5");
    QzRef<QzArray> arguments = QzArray::of({QzNumber::withFloat(4)});
    EXPECT_EQ(QzCast<QzNumber>(o->invokeMethod("twice", arguments.get()).get())->floatValue(), 8.0f);
    EXPECT_EQ(o->invokeMethod("absent"), nullptr);
}

TEST_F(ProxyTest, ScriptErrorsInProxyCallsLeaveTheStateUsable) {
    state->doString("o = {} function o:boom() error('proxy boom') end");
    EXPECT_THROW(global("o")->invokeMethod("boom"), LuaErrorException);
    EXPECT_FALSE(state->holdsLock());
    EXPECT_EQ(eval("1 + 1"), "2");
}

TEST_F(ProxyTest, ScriptChangeReportsAreNotDoubledForTheHostsOwnWrite) {
    state->doString("o = {} function o:setValueForKey(v, k) rawset(self, k, v) luaBinder.valueDidChangeForKey(self, k) end");
    QzRef<LuaObject> o = global("o");
    int wills = 0, dids = 0;
    o->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase phase) {
        (phase == QzChangePhase::willChange ? wills : dids) += 1;
    });
    o->setValueForKey(QzNumber::withFloat(1).get(), "x");
    QzMainQueueRunPending();
    EXPECT_EQ(wills, 1);
    EXPECT_EQ(dids, 1);

    int posted = 0;
    auto token = QzNotificationCenter::defaultCenter().addObserver(
        LuaValueDidChangeNotification, [&](const std::string&, const QzNotificationUserInfo& info, const void* sender) {
            posted += sender == o.get() && info.at("key") == "y";
        });
    o->setSendNotifications(true);
    state->doString("o:setValueForKey(2, 'y')");
    EXPECT_EQ(dids, 1);  // delivered on the main thread, not at once
    QzMainQueueRunPending();
    QzNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(wills, 2);
    EXPECT_EQ(dids, 2);
    EXPECT_EQ(posted, 1);
}

TEST_F(ProxyTest, DictionaryAndClassQueriesGoThroughTheScript) {
    state->doString("function table.keys(t) local k = {} for key in pairs(t) do k[#k + 1] = key end return k end "
                    "function instanceOfClassType(o, c) if getmetatable(o) == c then return true end end "
                    "Point = {} Point.__index = Point p = setmetatable({1, x = 'a', __classname = 'Point'}, Point)");
    QzRef<LuaObject> p = global("p");
    QzRef<QzDictionary> dictionary = p->toDictionary();
    EXPECT_EQ(dictionary->count(), 3u);
    EXPECT_EQ(QzCast<QzString>(dictionary->objectForKey("x"))->utf8(), "a");
    EXPECT_EQ(QzCast<QzNumber>(dictionary->objectForKey(QzNumber::withFloat(1).get()))->floatValue(), 1.0f);
    EXPECT_EQ(QzCast<QzString>(p->luaClassname().get())->utf8(), "Point");
    EXPECT_TRUE(p->isInstanceOfLuaClass("Point"));
    EXPECT_FALSE(p->isInstanceOfLuaClass("Missing"));
}

TEST_F(ProxyTest, ProxiesOutlivingTheirStateAnswerNothing) {
    state->doString("t = {1}");
    QzRef<LuaObject> t = global("t");
    state = nullptr;
    EXPECT_EQ(t->valueAtIndex(1), nullptr);
    EXPECT_EQ(t->toArray()->count(), 0u);
    t->setValueForKey(QzNumber::withFloat(1).get(), "x");
    EXPECT_EQ(t->invokeMethod("anything"), nullptr);
}

TEST_F(ProxyTest, DeactivateFreesTheReferenceOnTheMainThread) {
    state->doString("t = {}");
    QzRef<LuaObject> t = global("t");
    t->deactivate();
    EXPECT_EQ(t->ref(), -1);
    EXPECT_NE(eval("tostring(luaBinder.reverseReferences[t])"), "nil");
    QzMainQueueRunPending();
    EXPECT_EQ(eval("tostring(luaBinder.reverseReferences[t])"), "nil");
}

// A script collection keeping its elements in itself.
const char* kCollection = R"(
c = {'a', 'b', 'c'}
function c:count() return #self end
function c:indexOfObject(o) for i, v in ipairs(self) do if v == o then return i end end return 0 end
function c:addObjectAtIndex(o, i, key) table.insert(self, i, o) end
function c:removeObjectAtIndex(i) table.remove(self, i) end
function c:setObjectForKey(o, i) self[i] = o end
)";

TEST_F(ProxyTest, LuaArrayTranslatesIndexes) {
    state->doString(kCollection);
    QzRef<LuaArray> array = QzMake<LuaArray>(global("c").get());
    EXPECT_EQ(array->count(), 3u);
    EXPECT_EQ(QzCast<QzString>(array->objectAtIndex(0).get())->utf8(), "a");
    EXPECT_EQ(array->indexOfObject(QzString::withUTF8("a").get()), 0);
    EXPECT_EQ(array->indexOfObject(QzString::withUTF8("z").get()), LuaArray::NotFound);
    array->moveObjectAtIndex(0, 2);
    EXPECT_EQ(eval("table.concat(c, ',')"), "b,a,c");
    array->moveObjectAtIndex(2, 0);
    EXPECT_EQ(eval("table.concat(c, ',')"), "c,b,a");
    array->replaceObjectAtIndex(0, QzString::withUTF8("x").get());
    array->removeLastObject();
    array->addObject(QzString::withUTF8("y").get());
    EXPECT_EQ(eval("table.concat(c, ',')"), "x,b,y");
    array->setArray(QzArray::of({QzString::withUTF8("only")}).get());
    EXPECT_EQ(eval("table.concat(c, ',')"), "only");
}

TEST_F(ProxyTest, AnObserverThatRaisesIsReportedAndTheWriteStands) {
    state->doString("t = {} function raise() error('observer raised') end");
    QzRef<LuaObject> t = global("t");
    int dids = 0;
    t->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase phase) {
        if (phase == QzChangePhase::didChange) state->callFunction("raise");
    });
    t->addKeyValueObserver([&](QzObject*, const std::string&, QzChangePhase phase) {
        dids += phase == QzChangePhase::didChange;
    });
    t->setValueForKey(QzNumber::withFloat(7).get(), "x");
    EXPECT_EQ(eval("t.x"), "7");
    EXPECT_EQ(dids, 1);
    EXPECT_TRUE(log.contains("observer raised"));
}

TEST_F(ProxyTest, OnlyTheKeyBeingWrittenUnderTheLockIsTakenForTheHostsOwn) {
    state->doString("o = {} function o:setValueForKey(v, k) rawset(self, k, v) luaBinder.valueDidChangeForKey(self, k) "
                    "rawset(self, 'side', v) luaBinder.valueDidChangeForKey(self, 'side') end");
    QzRef<LuaObject> o = global("o");
    std::map<std::string, int> dids;
    std::atomic<bool> announced{false};
    o->addKeyValueObserver([&](QzObject*, const std::string& key, QzChangePhase phase) {
        if (phase == QzChangePhase::didChange) ++dids[key];
        announced = true;
    });
    o->setValueForKey(QzNumber::withFloat(1).get(), "x");
    QzMainQueueRunPending();
    EXPECT_EQ(dids["x"], 1);
    EXPECT_EQ(dids["side"], 1);
    // A script change made while a host thread waits for the lock to write the same key
    // is the script's own and is announced.
    announced = false;
    state->lockState();
    std::thread writer([&] { o->setValueForKey(QzNumber::withFloat(2).get(), "y"); });
    while (!announced) std::this_thread::yield();
    lua_State* L = state->state();
    luaL_dostring(L, "luaBinder.valueDidChangeForKey(o, 'y')");
    state->setTop(0);
    state->unlockState();
    writer.join();
    QzMainQueueRunPending();
    EXPECT_EQ(dids["y"], 2);
}

TEST_F(ProxyTest, NumberKeysAreReadByTheirOwnValueWithinTheExactRange) {
    state->doString("function table.keys(t) local k = {} for key in pairs(t) do k[#k + 1] = key end return k end "
                    "t = {'one', [1.5] = 'half'} big = {[16777216] = 'last exact'}");
    QzRef<QzDictionary> dictionary = global("t")->toDictionary();
    EXPECT_EQ(QzCast<QzString>(dictionary->objectForKey(QzNumber::withFloat(1.5f).get()))->utf8(), "half");
    EXPECT_EQ(QzCast<QzString>(dictionary->objectForKey(QzNumber::withFloat(1).get()))->utf8(), "one");
    QzRef<LuaObject> big = global("big");
    EXPECT_EQ(QzCast<QzString>(big->valueAtIndex(16777216).get())->utf8(), "last exact");
    EXPECT_THROW(big->valueAtIndex(16777217), QzException);
    EXPECT_FALSE(state->holdsLock());
}

TEST_F(ProxyTest, ScriptsFindTheBridgeClassesAndDriveACollectionOfAnotherState) {
    state->doString(std::string(kCollection) + "Collection = {} "
                    "function instanceOfClassType(o, c) if c == Collection then return true end end");
    QzRef<LuaState> other = LuaState::withNewState();
    QzRef<LuaArray> array = QzMake<LuaArray>(global("c").get());
    other->globalObject()->setValueForKey(array.get(), "arr");
    other->globalObject()->setValueForKey(global("c").get(), "proxy");
    other->doString("function list(...) local a = luaObjc.class('QzArray'):new() "
                    "for _, v in ipairs({...}) do a:addObject_(v) end return a end");
    const std::pair<const char*, const char*> answers[] = {
        {"luaObjc.class('LuaArray'):new():count()", "0"},
        {"luaObjc.class('LuaArray'):alloc():initWithLuaObject_(nil):count()", "0"},
        {"arr:count()", "3"},
        {"arr:objectAtIndex_(2)", "c"},
        {"arr:indexOfObject_('b')", "1"},
        {"proxy:isInstanceOfLuaClass_('Collection')", "true"},
        {"proxy:isInstanceOfLuaClass_('Missing')", "false"},
        {"proxy:invokeMethod_args_('count', list())", "3"},
        {"luaObjc.class('LuaObject'):new():initWithLuaState_reference_(nil, 1):ref()", "-1"},
    };
    for (auto [expression, expected] : answers) EXPECT_EQ(other->evaluateExpression(expression), expected) << expression;
    const std::pair<const char*, const char*> changes[] = {
        {"arr:insertObject_atIndex_('z', 1)", "a,z,b,c"},
        {"arr:moveObjectAtIndex_toIndex_(0, 3)", "z,b,a,c"},
        {"arr:moveObjectsAtIndexes_toIndex_(list(1, 2), 0)", "a,b,z,c"},
        {"arr:replaceObjectAtIndex_withObject_(3, 'y')", "a,b,z,y"},
        {"arr:setArray_(list('p', 'q'))", "p,q"},
    };
    for (auto [action, expected] : changes) {
        other->doString(action);
        EXPECT_EQ(eval("table.concat(c, ',')"), expected) << action;
    }
}

}  // namespace
