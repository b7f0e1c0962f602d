// Tests of the external function tables and the engine callback that dispatches to them.
#include <fstream>

#include <gtest/gtest.h>

#include "QzClass.h"
#include "QzExternalFunctionTable.h"
#include "QzLuaState.h"
#include "log_capture.h"
#include "support/test_files.h"

namespace {

class UrlOpener final : public QzObject {
public:
    static QzClass* registeredClass() {
        static QzClass* cls = [] {
            QzClass* made = QzClass::registerClass("BridgeTestUrlOpener", QzClass::rootClass());
            made->addMethod<&UrlOpener::openURL>("openURL:url:inBackground:");
            made->addMethod<&UrlOpener::title>("title:");
            made->addMethod<&UrlOpener::scale>("scale:by:");
            return made;
        }();
        return cls;
    }
    QzClass* objectClass() const override { return registeredClass(); }
    void openURL(QzObject* context, QzString* url, bool inBackground) {
        received = context;
        this->url = url ? url->utf8() : "(none)";
        background = inBackground;
    }
    QzRef<QzString> title(QzObject*) { return QzString::withUTF8("a title"); }
    double scale(QzObject*, int factor) { return 1.5 * factor; }

    QzObject* received = nullptr;
    std::string url;
    bool background = false;
};

const char* kEngineScript = R"(
function initEngine() end
local function counted(...) return select('#', ...), ... end
function call(...)
    local count, first = counted(callbacks.callExternalFunction(...))
    return count .. ' ' .. tostring(first)
end
)";

class ExternalFunctionTest : public ::testing::Test {
protected:
    ExternalFunctionTest() {
        std::ofstream(path) << kEngineScript;
        engine = QzLuaState::withEnginePath(path, std::nullopt);
        table = QzExternalFunctionTable::externalFunctionTableForState(engine->state());
    }
    std::string call(const std::string& arguments) {
        return engine->evaluateExpression("call(" + arguments + ")");
    }
    // Each test process has its own script file: ctest runs tests side by side.
    ScratchFolder scratch;
    std::string path = scratch.file("engine.lua");
    QzRef<QzLuaState> engine;
    std::shared_ptr<QzExternalFunctionTable> table;
    QzRef<UrlOpener> opener = QzMake<UrlOpener>();
    QzRef<QzString> context = QzString::withUTF8("context");
};

TEST_F(ExternalFunctionTest, OpenURLReachesTheMethodAsContextStringAndBoolean) {
    table->registerTarget(opener.get(), context.get(), "openURL:url:inBackground:", "openURL");
    EXPECT_EQ(call("'openURL', 'mailto:someone', true"), "0 nil");
    EXPECT_EQ(opener->received, context.get());
    EXPECT_EQ(opener->url, "mailto:someone");
    EXPECT_TRUE(opener->background);
}

TEST_F(ExternalFunctionTest, ResultsFollowTheReturnType) {
    table->registerTarget(opener.get(), context.get(), {{"title", "title:"}, {"scale", "scale:by:"}});
    EXPECT_EQ(call("'title'"), "1 a title");
    EXPECT_EQ(call("'scale', 2"), "1 3");
    EXPECT_EQ(call("'unregistered', 1"), "0 nil");
}

TEST_F(ExternalFunctionTest, ASecondRegistrationReplacesTheFirst) {
    table->registerTarget(opener.get(), context.get(), "title:", "f");
    table->registerTarget(opener.get(), context.get(), "scale:by:", "f");
    EXPECT_EQ(call("'f', 4"), "1 6");
}

TEST_F(ExternalFunctionTest, EachInterpreterHasItsOwnTable) {
    table->registerTarget(opener.get(), context.get(), "title:", "title");
    QzRef<QzLuaState> other = QzLuaState::withEnginePath(path, std::nullopt);
    EXPECT_NE(QzExternalFunctionTable::externalFunctionTableForState(other->state()), table);
    EXPECT_EQ(other->evaluateExpression("call('title')"), "0 nil");
}

TEST_F(ExternalFunctionTest, GoneTargetsAndTablesGiveNoResult) {
    table->registerTarget(opener.get(), context.get(), "title:", "title");
    opener = nullptr;
    EXPECT_EQ(call("'title'"), "0 nil");
    lua_State* L = engine->state();
    engine->close();
    EXPECT_EQ(callExternalFunction(nullptr, L), 0);
}

}  // namespace
