// Tests of the Lua state wrapper: calls, results, errors with traces, the lock and closing.
#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "LuaObject.h"
#include "LuaState.h"
#include "QzNotificationCenter.h"
#include "log_capture.h"

namespace {

class LuaStateTest : public ::testing::Test {
protected:
    void run(const std::string& text) { state->doString(text); }
    LogCapture log;
    QzRef<LuaState> state = LuaState::withNewState();
};

LuaErrorException callExpectingError(LuaState* state, const std::string& name) {
    try {
        state->callFunction(name);
    } catch (const LuaErrorException& error) {
        return error;
    }
    ADD_FAILURE() << name << " did not raise";
    return LuaErrorException("", std::nullopt);
}

TEST_F(LuaStateTest, CallResultsConvertByType) {
    run("function two() return 1 + 1 end function text() return 'hi' end "
        "function flag() return true end function nothing() return nil end function tab() return {} end "
        "function tenth() return 0.1 end");
    EXPECT_EQ(QzCast<QzNumber>(state->callSimpleFunction("two").get())->floatValue(), 2.0f);
    EXPECT_EQ(QzCast<QzString>(state->callSimpleFunction("text").get())->utf8(), "hi");
    EXPECT_TRUE(QzCast<QzNumber>(state->callSimpleFunction("flag").get())->boolValue());
    EXPECT_EQ(state->callFunction("nothing")->count(), 0u);
    EXPECT_NE(QzCast<LuaObject>(state->callSimpleFunction("tab").get()), nullptr);
    EXPECT_EQ(QzCast<QzNumber>(state->callSimpleFunction("tenth").get())->floatValue(), 0.1f);
}

TEST_F(LuaStateTest, ArgumentsArriveAsScriptValues) {
    run("function describe(a, b, c, d) return type(a) .. type(b) .. type(c) .. type(d) end");
    QzRef<QzArray> arguments =
        QzArray::of({QzNumber::withFloat(1), QzString::withUTF8("s"), QzId(QzNull::null()), state->globalObject()});
    EXPECT_EQ(QzCast<QzString>(state->callSimpleFunction("describe", arguments.get()).get())->utf8(),
              "numberstringniltable");
}

TEST_F(LuaStateTest, ScriptErrorCarriesMessageAndTraceAndLeavesStackEmptyAndLockFree) {
    run("function fail() local count = 5 error('boom') end");
    LuaErrorException error = callExpectingError(state.get(), "fail");
    EXPECT_TRUE(error.luaError().ends_with("boom")) << error.luaError();
    ASSERT_TRUE(error.luaStackTrace().has_value());
    EXPECT_TRUE(error.luaStackTrace()->starts_with("Stack Trace:\n0: ")) << *error.luaStackTrace();
    EXPECT_NE(error.luaStackTrace()->find(":?]:1\n{\n\tcount = 5\n}\n"), std::string::npos) << *error.luaStackTrace();
    EXPECT_EQ(error.reason(), error.luaError() + "\n" + *error.luaStackTrace());
    EXPECT_TRUE(log.contains("Lua Error: "));
    EXPECT_FALSE(state->holdsLock());
    std::thread other([&] { EXPECT_EQ(state->evaluateExpression("1"), "1"); });
    other.join();
    state->lockState();
    EXPECT_EQ(state->getTop(), 0);
    state->unlockState();
}

TEST_F(LuaStateTest, CallingAMissingFunctionOrMethodRaisesInsteadOfPanicking) {
    EXPECT_THROW(state->callFunction("missing"), LuaErrorException);
    EXPECT_THROW(state->callMethodOfObject("method", "missingObject"), LuaErrorException);
    run("obj = {n = 2} function obj:times(x) return self.n * x end");
    QzRef<QzArray> three = QzArray::of({QzNumber::withFloat(3)});
    EXPECT_EQ(QzCast<QzNumber>(state->callSimpleMethodOfObject("times", "obj", three.get()).get())->floatValue(), 6.0f);
}

TEST_F(LuaStateTest, TextAndFiles) {
    EXPECT_EQ(state->evaluateExpression("1+1"), "2");
    EXPECT_TRUE(state->syntaxCheck("x = 1"));
    EXPECT_FALSE(state->syntaxCheck("x = = 1"));
    // A compile error keeps its own message instead of becoming "attempt to call a string value".
    try {
        state->doString("x = = 1");
        ADD_FAILURE() << "no error";
    } catch (const LuaErrorException& error) {
        EXPECT_NE(error.luaError().find("unexpected symbol"), std::string::npos) << error.luaError();
    }
    std::string path = ::testing::TempDir() + "/bridge_do_file.lua";
    for (auto [body, expected] : {std::pair{"return {}", std::optional<std::string>("Result not a string!")},
                                  std::pair{"return 'done'", std::optional<std::string>("done")},
                                  std::pair{"return nil", std::optional<std::string>()}}) {
        std::ofstream(path) << body;
        EXPECT_EQ(state->doFile(path), expected) << body;
    }
    EXPECT_THROW(state->doFile(path + ".missing"), LuaErrorException);
}

TEST_F(LuaStateTest, HasMethodWithANonTableOnTopIsFalseAndWarns) {
    state->lockState();
    lua_pushnumber(state->state(), 3);
    EXPECT_FALSE(state->hasMethod("x"));
    state->setTop(0);
    state->unlockState();
    EXPECT_TRUE(log.contains("Warning: hasMethod called, but stack top object is not a table"));
}

TEST_F(LuaStateTest, PanicBecomesAnExceptionWithoutTrace) {
    state->lockState();
    state->getGlobal("undefinedTable");
    try {
        state->getMember("field");
        ADD_FAILURE() << "no panic";
    } catch (const LuaErrorException& error) {
        EXPECT_FALSE(error.luaStackTrace().has_value());
    }
    state->unlockState();
    EXPECT_TRUE(log.contains("Lua Panic: "));
    EXPECT_EQ(state->evaluateExpression("2*3"), "6");
}

TEST_F(LuaStateTest, TakingTheLockTwiceOnOneThreadIsRefusedNotADeadlock) {
    state->lockState();
    EXPECT_THROW(state->callFunction("anything"), QzException);
    state->unlockState();
}

std::atomic<int> inside{0};
std::atomic<int> mostInside{0};

int enter(lua_State*) {
    int now = ++inside;
    mostInside = std::max(mostInside.load(), now);
    std::this_thread::yield();
    --inside;
    return 0;
}

TEST_F(LuaStateTest, TwoThreadsNeverRunTheInterpreterAtOnce) {
    lua_register(state->state(), "enter", enter);
    run("function work() enter() local t = {} for i = 1, 20 do t[i] = i end enter() return #t end");
    auto worker = [&] {
        for (int i = 0; i < 300; ++i) EXPECT_EQ(QzCast<QzNumber>(state->callSimpleFunction("work").get())->floatValue(), 20.0f);
    };
    std::thread first(worker), second(worker);
    first.join();
    second.join();
    EXPECT_EQ(mostInside.load(), 1);
}

TEST_F(LuaStateTest, InstanceOfClassCallsNewAndPostsTheNotification) {
    int posted = 0;
    auto token = QzNotificationCenter::defaultCenter().addObserver(
        LuaObjectCreatedNotification, [&](const std::string&, const QzNotificationUserInfo&, const void* sender) {
            posted += sender == state.get();
        });
    run("Point = {} function Point:new() return {kind = 'point'} end");
    QzId instance = state->instanceOfClass("Point");
    auto* point = QzCast<LuaObject>(instance.get());
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(QzCast<QzString>(point->valueForKey("kind").get())->utf8(), "point");
    EXPECT_EQ(state->instanceOfClass("Missing"), nullptr);
    EXPECT_TRUE(log.contains("No lua class Missing found"));
    QzNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(posted, 2);
}

TEST_F(LuaStateTest, AfterCloseOperationsAreEmptyOrAsserted) {
    QzRef<LuaObject> global = state->globalObject();
    state->close();
    EXPECT_EQ(state->callFunction("x")->count(), 0u);
    EXPECT_EQ(state->evaluateExpression("1"), "");
    EXPECT_EQ(state->doString("x = 1"), std::nullopt);
    EXPECT_THROW(state->getTop(), QzException);
    EXPECT_EQ(global->valueForKey("print"), nullptr);
    global->setValueForKey(QzNumber::withFloat(1).get(), "x");
}

TEST_F(LuaStateTest, ADeepStackTraceKeepsItsEndsAndCountsTheRest) {
    run("function deep(n) if n == 0 then error('deep') end return 1 + deep(n - 1) end function start() return deep(100) end");
    LuaErrorException error = callExpectingError(state.get(), "start");
    const std::string& trace = *error.luaStackTrace();
    EXPECT_NE(trace.find("\n11: "), std::string::npos) << trace;
    EXPECT_EQ(trace.find("\n12: "), std::string::npos) << trace;
    EXPECT_NE(trace.find("\n... 82 levels left out ...\n94: "), std::string::npos) << trace;
    EXPECT_NE(trace.find("\n103: tail call\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("\n104: "), std::string::npos) << trace;
}

}  // namespace
