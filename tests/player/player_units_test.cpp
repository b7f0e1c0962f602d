// Tests of the player's pure parts: display geometry, key names and modifier keys, the
// input timeline, text-entry editing, overlay text, frame statistics and costs, the text of
// problem notes and address checks.
#include <sstream>

#include <gtest/gtest.h>
#include <lauxlib.h>

#include "QzAudioRecorder.h"
#include "QzFrameTiming.h"
#include "QzGameGeometry.h"
#include "QzInputEvent.h"
#include "QzKeyNames.h"
#include "QzPlayerSession.h"
#include "QzProblemToasts.h"
#include "QzHostServices.h"
#include "QzOverlayPainter.h"
#include "QzPlayerEngine.h"
#include "QzProjectWatcher.h"
#include "QzTextEntry.h"
#include "support/test_files.h"

namespace {

TEST(Geometry, LetterboxFitsTheHeightOfAWideScreen) {
    const QzViewGeometry g = QzComputeViewGeometry(1920, 1200, true, false, 1.5f);
    EXPECT_FLOAT_EQ(g.currentAspectRatio, 1.6f);
    EXPECT_EQ(g.viewportX, 60);
    EXPECT_EQ(g.viewportY, 0);
    EXPECT_EQ(g.viewportWidth, 1800);
    EXPECT_EQ(g.viewportHeight, 1200);
    EXPECT_NEAR(g.invertedCropScaleFactorX, 1920.0 / 1800.0, 1e-12);
    EXPECT_DOUBLE_EQ(g.invertedCropScaleFactorY, 1.0);
}

TEST(Geometry, CropFitsTheWidthAndOverflowsVertically) {
    const QzViewGeometry g = QzComputeViewGeometry(1920, 1200, true, true, 1.5f);
    EXPECT_EQ(g.viewportX, 0);
    EXPECT_EQ(g.viewportY, -40);
    EXPECT_EQ(g.viewportWidth, 1920);
    EXPECT_EQ(g.viewportHeight, 1280);
    EXPECT_DOUBLE_EQ(g.invertedCropScaleFactorY, 1200.0 / 1280.0);
}

TEST(Geometry, ANarrowGameLetterboxesAtTheSidesAndCropsAboveAndBelow) {
    const QzViewGeometry letterbox = QzComputeViewGeometry(1000, 500, true, false, 1.0f);
    EXPECT_EQ(letterbox.viewportX, 250);
    EXPECT_EQ(letterbox.viewportWidth, 500);
    const QzViewGeometry crop = QzComputeViewGeometry(1000, 500, true, true, 1.0f);
    EXPECT_EQ(crop.viewportY, -250);
    EXPECT_EQ(crop.viewportHeight, 1000);
}

TEST(Geometry, AWindowIsFilledWithoutScaling) {
    const QzViewGeometry g = QzComputeViewGeometry(640, 480, false, true, 1.5f);
    EXPECT_FALSE(g.clip);
    EXPECT_EQ(g.viewportX, 0);
    EXPECT_EQ(g.viewportWidth, 640);
    EXPECT_EQ(g.viewportHeight, 480);
    float x, y;
    QzMapViewPoint(g, 100, 50, &x, &y);
    EXPECT_FLOAT_EQ(x, 100);
    EXPECT_FLOAT_EQ(y, 50);
}

TEST(Geometry, ClicksMapThroughTheLetterboxToTheViewsCorners) {
    const QzViewGeometry g = QzComputeViewGeometry(1920, 1200, true, false, 1.5f);
    float x, y;
    QzMapViewPoint(g, 60, 0, &x, &y);
    EXPECT_FLOAT_EQ(x, 0);
    EXPECT_FLOAT_EQ(y, 0);
    QzMapViewPoint(g, 1860, 1200, &x, &y);
    EXPECT_FLOAT_EQ(x, 1920);
    EXPECT_FLOAT_EQ(y, 1200);
    QzMapViewPoint(g, 30, 600, &x, &y);
    EXPECT_LT(x, 0) << "a click on the left bar";
    const QzViewGeometry crop = QzComputeViewGeometry(1920, 1200, true, true, 1.5f);
    QzMapViewPoint(crop, 0, 0, &x, &y);
    EXPECT_FLOAT_EQ(y, 37.5f) << "the cropped strip below the screen is not reachable";
}

TEST(Geometry, AnAbsurdAspectRatioStaysInRange) {
    for (const float ratio : {2147483647.0f, 1.0f / 2147483647.0f}) {
        const QzViewGeometry g = QzComputeViewGeometry(1920, 1200, true, true, ratio);
        EXPECT_GT(g.viewportWidth, 0) << ratio;
        EXPECT_GT(g.viewportHeight, 0) << ratio;
        EXPECT_LE(g.viewportX, 0) << ratio;
        EXPECT_LE(g.viewportY, 0) << ratio;
    }
}

TEST(KeyNames, NamedKeysAndCharacters) {
    const struct {
        char32_t character;
        const char* name;
    } cases[] = {
        {0xF700, "up"}, {0xF701, "down"}, {0xF702, "left"}, {0xF703, "right"}, {0xF728, "delete"},
        {127, "delete"}, {27, "esc"}, {32, "space"}, {9, "tab"}, {10, "return"}, {13, "return"},
        {'a', "a"}, {'Z', "Z"}, {'7', "7"}, {0xE9, "\xC3\xA9"}, {0x4E2D, "\xE4\xB8\xAD"}, {0xD800, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QzKeyNameForCharacter(c.character), c.name) << std::hex << static_cast<uint32_t>(c.character);
}

std::string describe(const std::vector<QzKeyEvent>& events) {
    std::string text;
    for (const QzKeyEvent& event : events) text += std::string(event.function) + " " + event.keyName + ";";
    return text;
}

TEST(KeyNames, ModifierChangesReportEachKeyOnce) {
    EXPECT_EQ(describe(QzModifierKeyEvents(0, kQzLeftShiftModifierKeyMask)), "keyDown left shift;");
    EXPECT_EQ(describe(QzModifierKeyEvents(kQzLeftShiftModifierKeyMask, 0)), "keyUp left shift;");
    EXPECT_EQ(describe(QzModifierKeyEvents(kQzLeftShiftModifierKeyMask,
                                           kQzLeftShiftModifierKeyMask | kQzRightShiftModifierKeyMask)),
              "keyDown right shift;");
    EXPECT_EQ(describe(QzModifierKeyEvents(kQzLeftShiftModifierKeyMask | kQzRightShiftModifierKeyMask,
                                           kQzRightShiftModifierKeyMask)),
              "keyUp left shift;");
    EXPECT_EQ(describe(QzModifierKeyEvents(0, kQzShiftModifierFlag)), "") << "shift without a side bit";
    EXPECT_EQ(describe(QzModifierKeyEvents(kQzControlModifierMask,
                                           kQzCapsLockModifierMask | kQzAlternateModifierMask | kQzCommandModifierMask)),
              "keyDown caps lock;keyUp ctrl;keyDown alt;keyDown cmd;");
}

TEST(InputTimeline, ReadsEventsInFrameOrder) {
    std::istringstream in("# a comment\n"
                          "3 keydown left shift\n"
                          "1 mousedown 10 20.5\r\n"
                          "\n"
                          "3 text hello world\n"
                          "2 mousemove -4 5\n"
                          "3 keyUp a\n"
                          "4 pause\n4 Play\n4 screenshot shots/one.png\n"
                          "5 mouseMoved 1 2\n5 wait\n");
    std::vector<QzTimedInputEvent> events;
    std::string error;
    ASSERT_TRUE(QzReadInputTimeline(in, &events, &error)) << error;
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[5].action, QzTimedInputEvent::Action::Pause);
    EXPECT_EQ(events[6].action, QzTimedInputEvent::Action::Play);
    EXPECT_EQ(events[7].action, QzTimedInputEvent::Action::Screenshot);
    EXPECT_EQ(events[7].event.text, "shots/one.png");
    EXPECT_EQ(events[8].event.kind, QzInputEvent::Kind::MouseMoved);
    EXPECT_EQ(events[9].action, QzTimedInputEvent::Action::Wait);
    EXPECT_EQ(events[0].frame, 1);
    EXPECT_EQ(events[0].event.kind, QzInputEvent::Kind::MouseDown);
    EXPECT_FLOAT_EQ(events[0].event.y, 20.5f);
    EXPECT_EQ(events[1].event.kind, QzInputEvent::Kind::MouseMoved);
    EXPECT_EQ(events[2].event.text, "left shift");
    EXPECT_EQ(events[3].event.text, "hello world");
    EXPECT_EQ(events[4].event.kind, QzInputEvent::Kind::KeyUp);
}

TEST(InputTimeline, RefusesMalformedLinesNamingThem) {
    for (const char* line : {"0 keydown a", "x keydown a", "1 keydown", "1 mousedown 1", "1 mousedown 1 2 3",
                             "1 mousedown 1 nan", "1 jump 3", "99999999999999999999 keyup a", "1 pause now",
                             "1 screenshot", "1 keyDown Return", "1 wait now"}) {
        std::istringstream in(std::string("1 keyup a\n") + line + "\n");
        std::vector<QzTimedInputEvent> events;
        std::string error;
        EXPECT_FALSE(QzReadInputTimeline(in, &events, &error)) << line;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
    std::istringstream in("1 keyDown Return\n");
    std::vector<QzTimedInputEvent> events;
    std::string error;
    EXPECT_FALSE(QzReadInputTimeline(in, &events, &error));
    EXPECT_NE(error.find("unknown key name \"Return\"; the keys are single characters and up, down"),
              std::string::npos)
        << error;
}

TEST(InputTimeline, ReadsGamepadLinesWithThePadOneWhenLeftOut) {
    using Kind = QzInputEvent::Kind;
    const struct {
        const char* line;
        Kind kind;
        const char* name;
        float position;
        int pad;
    } cases[] = {
        {"1 gamepadDown a", Kind::GamepadDown, "a", 0, 1},
        {"1 GAMEPADUP dpleft 8", Kind::GamepadUp, "dpleft", 0, 8},
        {"1 gamepadAxis leftx -0.5", Kind::GamepadAxis, "leftx", -0.5f, 1},
        {"1 gamepadAxis triggerright 1 3", Kind::GamepadAxis, "righttrigger", 1, 3},
        {"1 gamepadAdded", Kind::GamepadAdded, "", 0, 1},
        {"1 gamepadRemoved 2", Kind::GamepadRemoved, "", 0, 2},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.line);
        std::vector<QzTimedInputEvent> events;
        std::string error;
        ASSERT_TRUE(QzReadInputTimeline(in, &events, &error)) << c.line << ": " << error;
        ASSERT_EQ(events.size(), 1u);
        const QzInputEvent& event = events[0].event;
        EXPECT_EQ(event.kind, c.kind) << c.line;
        EXPECT_EQ(event.text, c.name) << c.line;
        EXPECT_FLOAT_EQ(event.x, c.position) << c.line;
        EXPECT_EQ(event.pad, c.pad) << c.line;
    }
}

TEST(InputTimeline, RefusesBadGamepadLinesSayingWhy) {
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"1 gamepadDown A", "unknown gamepad button \"A\"; the buttons are a, b, x, y, back, guide, start"},
        {"1 gamepadUp", "expected \"FRAME keyDown|keyUp NAME\""},
        {"1 gamepadAxis lx 0.5", "unknown gamepad axis \"lx\"; the axes are leftx, lefty, rightx, righty, lefttrigger"},
        {"1 gamepadAxis leftx", "the gamepad axis \"leftx\" takes a position from -1 to 1"},
        {"1 gamepadAxis lefty -1.5", "the gamepad axis \"lefty\" takes a position from -1 to 1"},
        {"1 gamepadAxis lefttrigger -0.5", "the gamepad axis \"lefttrigger\" takes a position from 0 to 1"},
        {"1 gamepadDown a 9", "the pad number \"9\" must be a whole number from 1 to 8"},
        {"1 gamepadDown a 0", "the pad number \"0\" must be"},
        {"1 gamepadAxis leftx 0 1.5", "the pad number \"1.5\" must be"},
        {"1 gamepadAdded 2 3", "the pad number \"2\" must be a whole number from 1 to 8 and end the line"},
        {"1 gamepadRemoved pad", "the pad number \"pad\" must be"},
    };
    for (const auto& c : cases) {
        std::istringstream in(std::string("1 gamepadDown b\n") + c.line + "\n");
        std::vector<QzTimedInputEvent> events;
        std::string error;
        EXPECT_FALSE(QzReadInputTimeline(in, &events, &error)) << c.line;
        EXPECT_NE(error.find(std::string("line 2: ") + c.why), std::string::npos) << error;
        EXPECT_NE(error.find(c.line), std::string::npos) << error;
    }
}

QzInputEvent key(const char* name) { return {QzInputEvent::Kind::KeyDown, name, 0, 0}; }
QzInputEvent typed(const char* text) { return {QzInputEvent::Kind::Text, text, 0, 0}; }

// The engine script's askText and openURL reach the player's own services through the
// external function table, each argument where the service expects it.
TEST(HostServices, TheEngineScriptsTextAndAddressRequestsArriveWithTheirArguments) {
    QzPlayerEngine engine(std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo", "");
    std::vector<std::string> calls;
    engine.registerHostServices(
        [&](const std::string& prompt, const std::string& initial) { calls.push_back(prompt + " | " + initial); },
        [&](const std::string& address) { calls.push_back("open " + address); }, "");
    QzEngineLock lock(engine);
    lua_State* L = engine.state()->L;
    ASSERT_EQ(luaL_dostring(L, "Engine.Behaviours.api.askText('Your name?', 'Ann') "
                               "Engine.Behaviours.api.openURL('mailto:someone')"), 0)
        << lua_tostring(L, -1);
    EXPECT_EQ(calls, (std::vector<std::string>{"Your name? | Ann", "open mailto:someone"}));
}

TEST(TextEntry, FinishingWithoutEditsAnswersTheInitialValue) {
    QzTextEntry entry;
    entry.begin("Name?", "abc");
    EXPECT_EQ(entry.text(), "abc");
    EXPECT_EQ(entry.apply(key("return")), QzTextEntry::Outcome::Finished);
    EXPECT_EQ(entry.answer(), "abc");
}

TEST(TextEntry, EditsByWholeCharactersAtTheCursor) {
    QzTextEntry entry;
    entry.begin("", "ab\xC3\xA9");
    entry.apply(key("right"));  // ends the selection of the initial text; the cursor stays at its end
    entry.apply(key("delete"));
    entry.apply(key("left"));
    entry.apply(typed("\xE4\xB8\xAD"));
    entry.apply(key("right"));
    entry.apply(key("right"));
    entry.apply(typed("!"));
    entry.apply(key("keyUp is ignored"));
    entry.apply({QzInputEvent::Kind::MouseDown, "", 1, 2});
    EXPECT_EQ(entry.apply(key("return")), QzTextEntry::Outcome::Finished);
    EXPECT_EQ(entry.answer(), "a\xE4\xB8\xAD" "b!");
    EXPECT_EQ(entry.apply(typed("late")), QzTextEntry::Outcome::Finished) << "nothing changes once finished";
    EXPECT_EQ(entry.answer(), "a\xE4\xB8\xAD" "b!");
}

TEST(TextEntry, TheInitialTextStartsSelectedAndTypingReplacesIt) {
    QzTextEntry entry;
    entry.begin("Name?", "Ann");
    EXPECT_TRUE(entry.selected());
    entry.apply(key("left shift"));
    EXPECT_TRUE(entry.selected()) << "a modifier key keeps the selection";
    entry.apply(typed("Bob"));
    EXPECT_FALSE(entry.selected());
    EXPECT_EQ(entry.apply(key("return")), QzTextEntry::Outcome::Finished);
    EXPECT_EQ(entry.answer(), "Bob");
    entry.begin("Name?", "Ann");
    entry.apply(key("delete"));
    EXPECT_EQ(entry.text(), "") << "delete removes the whole selection";
}

TEST(TextEntry, EscapeKeepsTheInitialText) {
    QzTextEntry entry;
    entry.begin("", "keep");
    entry.apply(typed("xyz"));
    EXPECT_EQ(entry.apply(key("esc")), QzTextEntry::Outcome::Cancelled);
    EXPECT_EQ(entry.answer(), "keep");
}

// Text past what one drawing surface holds is cut with an ellipsis instead of being drawn
// from a surface without pixels.
TEST(OverlayText, TextBeyondTheDrawingLimitIsCutWithAnEllipsis) {
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += "line " + std::to_string(i) + "\n";
    const struct {
        const char* what;
        std::string text;
        int maxWidth;
        bool tall;  // cut at the bottom rather than at the right
    } cases[] = {{"a 5000-character value", std::string(5000, 'W'), 0, false},
                 {"a 3000-line prompt", lines, 416, true},
                 {"a 3000-line error", lines, 628, true}};
    for (const auto& c : cases) {
        const QzOverlayImage image = QzRenderOverlayText(c.text, 16, c.maxWidth);
        EXPECT_LE(image.width, 32767) << c.what;
        EXPECT_LE(image.height, 32767) << c.what;
        EXPECT_GT(c.tall ? image.height : image.width, 30000) << c.what << ": as much as fits is shown";
        EXPECT_GT(c.tall ? image.width : image.height, 10) << c.what;
    }
    EXPECT_EQ(QzRenderOverlayText("", 16, 0).width, 0);
}

TEST(FrameStats, MeanPercentileAndMissedRefreshes) {
    std::vector<double> intervals(99, 1.0 / 60);
    intervals.push_back(3.0 / 60);
    const QzFrameStats stats = QzComputeFrameStats(intervals);
    EXPECT_EQ(stats.frames, 100);
    EXPECT_NEAR(stats.meanSeconds, 1.02 / 60, 1e-9);
    EXPECT_NEAR(stats.p99Seconds, 1.0 / 60, 1e-9);
    EXPECT_EQ(stats.missedFrames, 2);
}

TEST(FrameCosts, TheRingKeepsTheLast120IntervalsOldestFirst) {
    QzFrameTimeRing ring;
    for (int i = 1; i <= 130; ++i) ring.push(i);
    ASSERT_EQ(ring.size(), 120);
    EXPECT_EQ(ring.at(0), 11);
    EXPECT_EQ(ring.at(119), 130);
}

// A run's first frame has no interval: it counts as a frame but not in the rate.
TEST(FrameCosts, TotalsGiveTheRateAndPerFrameFigures) {
    QzFrameCostTotals totals;
    totals.add({0, 0.001, 0.002, 4, 10});
    totals.add({0.02, 0.003, 0.002, 2, 10});
    totals.add({0.03, 0.002, 0.002, 3, 10});
    const std::string text = QzFormatFrameCosts(totals, {3 << 20, 2, 32, 1}, " | ");
    EXPECT_EQ(text, "40.0 fps, frame 25.00 ms (slowest 30.00 ms) | script 2.00 ms, drawing 2.00 ms | 3 draw calls, "
                    "10 sprites | memory 3.0 MB, sounds 2/32, problems 1");
    totals.add({0.02, 0, 0, 0, 0});
    EXPECT_NE(QzFormatFrameCosts(totals, {1000, 0, 32, 0}, ", ").find("2.2 draw calls, 7.5 sprites, memory 1 KB"),
              std::string::npos);
}

TEST(ProblemToasts, TheTextIsTheFirstLineWithFileNamesInsideTheProject) {
    const std::string project = "/home/maker/Games/Rocks.gameproj";
    const struct {
        std::string message, text;
    } cases[] = {
        {project + "/scripts/ship.lua:12: attempt to call a nil value\nstack traceback:", "scripts/ship.lua:12: attempt to call a nil value"},
        {"behaviour ...maker/Games/Rocks.gameproj/scripts/ship.lua:3: boom", "behaviour scripts/ship.lua:3: boom"},
        {"scenes/a.xml:4: unknown element <spirte>; ignored", "scenes/a.xml:4: unknown element <spirte>; ignored"},
        {"/elsewhere/x.lua:1: ...more", "/elsewhere/x.lua:1: ...more"},
        {std::string(300, 'a'), std::string(200, 'a') + "\u2026"},
        {std::string(199, 'a') + "\u00e9\u00e9", std::string(199, 'a') + "\u2026"},
    };
    for (const auto& c : cases) EXPECT_EQ(QzToastText(c.message, project), c.text) << c.message;
}

TEST(OpenURL, WebAndMailAddressesAndFilesInsideTheBundleAreOpened) {
    ScratchFolder scratch;
    const std::string bundle = scratch.file("Game.app");
    std::filesystem::create_directories(bundle + "/Contents/Resources");
    writeFile(bundle + "/Contents/Resources/about me.html", "about");
    writeFile(scratch.file("secret.txt"), "outside");
    std::filesystem::create_symlink(scratch.file("secret.txt"), bundle + "/Contents/Resources/link.html");
    std::filesystem::create_symlink(bundle, scratch.file("Link.app"));
    // Web addresses are put together here so that the sources name no network address.
    const std::string slashes = "//";
    const struct {
        std::string address;
        std::string target;  // empty: refused
    } cases[] = {
        {"http:" + slashes + "page", "http:" + slashes + "page"},
        {"HTTPS:" + slashes + "x", "HTTPS:" + slashes + "x"},
        {"mailto:someone", "mailto:someone"},
        {"mailto:someone?subject=Hi", "mailto:someone?subject=Hi"},
        {"file://" + bundle + "/Contents/Resources/about%20me.html", bundle + "/Contents/Resources/about me.html"},
        {"file://localhost" + scratch.file("Link.app") + "/Contents/Resources/about%20me.html",
         bundle + "/Contents/Resources/about me.html"},
        {"mailto:someone?attach=/etc/passwd", ""},
        {"mailto:someone?subject=x&%41ttachment=~/.ssh/id_rsa", ""},
        {"file://" + bundle + "/Contents/Resources/link.html", ""},
        {"file://" + bundle + "/../secret.txt", ""},
        {"file://" + bundle, ""},
        {"file://" + bundle + "/missing.html", ""},
        {"file:///etc/passwd", ""},
        {"file://otherhost" + bundle + "/Contents/Resources/about%20me.html", ""},
        {"javascript:alert(1)", ""},
        {"ftp:" + slashes + "x", ""},
        {"http:", ""},
        {"mailto:", ""},
        {"/usr/bin/xterm", ""},
        {"", ""},
        {"smb:" + slashes + "share", ""},
    };
    for (const auto& c : cases) {
        std::string target, reason;
        EXPECT_EQ(QzOpenURLSupport::checkAddress(c.address, bundle, &target, &reason), !c.target.empty()) << c.address;
        if (!c.target.empty()) EXPECT_EQ(target, c.target) << c.address;
        else EXPECT_FALSE(reason.empty()) << c.address;
    }
}

struct NoSurface : QzGameSurface {
    bool makeCurrent() override { return false; }
    void present() override {}
};

// The view outlives the session; the callbacks it was given capture the session.
TEST(Session, EndingASessionTakesItsCallbacksFromTheView) {
    NoSurface surface;
    QzGameView view(&surface, false);
    {
        QzPlayerSession session(QzBundle{}, "", &view, {});
        EXPECT_TRUE(view.hasCallbacks());
    }
    EXPECT_FALSE(view.hasCallbacks());
}

uint32_t littleEndianAt(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// A recording stops in whole frames at the size its WAV file can describe, and the file's
// size fields stay true.
TEST(AudioRecorder, ARecordingStopsAtTheWavSizeLimit) {
    std::string error;
    auto recorder = QzAudioRecorder::open(&error, 1003);
    ASSERT_TRUE(recorder) << error;
    recorder->renderUntil(0.001);
    EXPECT_FALSE(recorder->full());
    recorder->renderUntil(1.0);
    EXPECT_TRUE(recorder->full());
    ScratchFolder scratch;
    ASSERT_TRUE(recorder->writeWav(scratch.file("a.wav"), &error)) << error;
    const std::string wav = readFile(scratch.file("a.wav"));
    ASSERT_EQ(wav.size(), 44u + 1000u);
    EXPECT_EQ(littleEndianAt(wav, 4), 36u + 1000u);
    EXPECT_EQ(littleEndianAt(wav, 40), 1000u);
    EXPECT_EQ(QzAudioRecorder::kWavMaxDataBytes % 4, 0u);
    EXPECT_LE(QzAudioRecorder::kWavMaxDataBytes + 36, 0xFFFFFFFFull);
}

// Files written or moved into place are seen once each, also in folders made since the watch
// began; editors' hidden and backup files are not.
TEST(ProjectWatcher, SeesWrittenAndMovedFilesAndNewFoldersButNotEditorFiles) {
    ScratchFolder scratch;
    std::filesystem::create_directories(scratch.path() / "scenes");
    QzProjectWatcher watcher;
    std::string error;
    ASSERT_TRUE(watcher.start(scratch.path().string(), &error)) << error;
    EXPECT_TRUE(watcher.takeChanges().empty());
    writeFile(scratch.file("scenes/a.xml"), "<scene/>");
    writeFile(scratch.file("scenes/a.xml"), "<scene></scene>");
    writeFile(scratch.file("scenes/.a.xml.swp"), "x");
    writeFile(scratch.file("game.xml~"), "x");
    std::filesystem::create_directories(scratch.path() / ".git");
    writeFile(scratch.file(".git/index"), "x");
    writeFile(scratch.file("saving"), "x");
    std::filesystem::rename(scratch.file("saving"), scratch.file("game.xml"));
    std::filesystem::create_directories(scratch.path() / "images" / "big");
    writeFile(scratch.file("images/big/b.png"), "x");
    EXPECT_EQ(watcher.takeChanges(),
              (QzProjectWatcher::Changes{"game.xml", "images/big/b.png", "saving", "scenes/a.xml"}));
    EXPECT_TRUE(watcher.takeChanges().empty());
    EXPECT_FALSE(QzProjectWatcher().start(scratch.file("missing"), &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

}  // namespace
