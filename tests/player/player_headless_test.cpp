// End-to-end tests of headless play: repeatable screenshots, input timelines, text entry,
// exit statuses and the lifecycle calls the engine script receives.
#include <signal.h>
#include <sys/resource.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "player_fixture.h"
#include "sound_files.h"

namespace {

// Waits up to 15 s for the file to hold the text.
bool waitForText(const std::string& path, const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
        if (readFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

PlayerRun runHeadless(const ScratchFolder& scratch, const ProbeBundle& probe, const std::string& arguments) {
    return runPlayer(scratch, "--headless " + arguments + " " + makeBundle(scratch, probe));
}

TEST(Headless, TheSameBundleGivesTheSameScreenshotEveryRun) {
    ScratchFolder scratch;
    const PlayerRun first = runHeadless(scratch, {}, "--frames 30 --screenshot " + scratch.file("a.png"));
    const PlayerRun second = runHeadless(scratch, {}, "--frames 30 --screenshot " + scratch.file("b.png"));
    const PlayerRun other = runHeadless(scratch, {}, "--frames 30 --dt 0.05 --screenshot " + scratch.file("c.png"));
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(second.status, 0) << second.output;
    ASSERT_EQ(other.status, 0) << other.output;
    const std::string a = readFile(scratch.file("a.png"));
    EXPECT_GT(a.size(), 100u);
    EXPECT_EQ(a, readFile(scratch.file("b.png")));
    EXPECT_NE(a, readFile(scratch.file("c.png"))) << "the picture follows the game clock";
}

TEST(Headless, GetSystemTimeReadsTheFixedStepClock) {
    ScratchFolder scratch;
    const ProbeBundle probe{.game = "log('time at load', platformWrappers.getSystemTime())\n"
                                  "function onUpdate() log('time', clock, platformWrappers.getSystemTime()) end"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 3 --dt 1");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: time at load 0\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("probe: time 1 1\nprobe: time 2 2\nprobe: time 3 3\n"), std::string::npos) << run.output;
}

TEST(Headless, LifecycleCallsComeInOrderAndShutdownRunsOnce) {
    ScratchFolder scratch;
    const PlayerRun run = runHeadless(scratch, {.game = "game.attributes.displaySize.width._value = 300"}, "--frames 3");
    ASSERT_EQ(run.status, 0) << run.output;
    const char* order[] = {"probe: initEngine", "probe: load ", "probe: reset", "probe: screen 300 160", "probe: play",
                           "probe: stop", "probe: shutdownEngine"};
    size_t at = 0;
    for (const char* line : order) {
        const size_t found = run.output.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " after offset " << at << "\n" << run.output;
        at = found;
    }
    EXPECT_EQ(countOf(run.output, "probe: shutdownEngine"), 1);

    // Enabling drawing once the game has loaded draws its picture before play starts.
    const PlayerRun drawn = runHeadless(scratch, {.game = "function render() log('render') draw() end"}, "--frames 1");
    ASSERT_EQ(drawn.status, 0) << drawn.output;
    EXPECT_LT(drawn.output.find("probe: render"), drawn.output.find("probe: play")) << drawn.output;
}

TEST(Headless, ScriptChangeReportsAreRunOnTheMainThreadNotHoarded) {
    // Each report on a table with a live host proxy (the global table has one) queues work
    // for the main thread; a player that never runs the queue grows by about 100 MB here.
    ScratchFolder scratch;
    const ProbeBundle probe{.game = R"(
local function residentKB()
  for line in io.lines('/proc/self/status') do
    local kb = line:match('^VmRSS:%s*(%d+)') if kb then return tonumber(kb) end
  end
end
function onUpdate()
  if frames == 2 then before = residentKB() end
  for i = 1, 100000 do luaBinder.valueDidChangeForKey(_G, 'x') end
  if frames == 11 then log('grown', math.floor((residentKB() - before) / 1024)) end
end)"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 11");
    ASSERT_EQ(run.status, 0) << run.output;
    const size_t at = run.output.find("probe: grown ");
    ASSERT_NE(at, std::string::npos) << run.output;
    if (kMemoryIsMeasurable) {
        EXPECT_LT(std::stoi(run.output.substr(at + 13)), 40) << run.output;
    }
}

TEST(Headless, GameDidEndEndsTheRun) {
    ScratchFolder scratch;
    const ProbeBundle probe{.game = "function onUpdate() log('frame', frames) if frames == 3 then callbacks.gameDidEnd() end end"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 100");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: frame 3\nprobe: stop\nprobe: shutdownEngine"), std::string::npos) << run.output;
}

TEST(Headless, AnInputTimelineDrivesTheGameInOrder) {
    ScratchFolder scratch;
    writeFile(scratch.file("input.txt"), "2 keydown left shift\n2 keyup left shift\n1 mousedown 12 34.5\n"
                                         "3 mousemove 1 2\n3 keydown space\n");
    const ProbeBundle probe{.game = "function onUpdate() log('frame', frames) end"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 3 --input " + scratch.file("input.txt"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: mouseDown 12 34.5\nprobe: frame 1\nprobe: keyDown left shift\n"
                              "probe: keyUp left shift\nprobe: frame 2\nprobe: mouseMoved 1 2\nprobe: keyDown space\n"
                              "probe: frame 3\n"),
              std::string::npos)
        << run.output;
}

TEST(Headless, EveryScriptErrorIsReportedAndGivesExitStatus1AndTheGameGoesOn) {
    const struct {
        const char* game;
        const char* input;
        const char* message;
    } cases[] = {
        {"function onUpdate() if frames == 2 then error('boom at two') end log('frame', frames) end", "",
         "QzGameView drawFrame: Lua Error caught (and ignored): "},
        {"function keyDown() error('bad key') end", "1 keydown x\n", "Lua Error caught (and ignored): "},
        {"function play() error('play failed') end", "", "QzGameView play: Lua Error caught (and ignored): "},
        {"function stop() error('stop failed') end", "", "QzGameView stop: Lua Error caught (and ignored): "},
        {"function behaviorInitiatedPause() error('pause failed') end\n"
         "function onUpdate() if frames == 1 then callbacks.callExternalFunction('KeyboardInput', 'a', 'b') end end",
         "2 keydown return\n", "QzGameView pause: Lua Error caught (and ignored): "},
        {"game.attributes.displaySize.width._value = 2147483647 game.attributes.displaySize.height._value = 1", "",
         "display size 2147483647x1 is refused: each side may be at most 16384 pixels"},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), c.input);
        const PlayerRun run = runHeadless(scratch, {.game = c.game}, "--frames 3 --input " + scratch.file("input.txt"));
        EXPECT_EQ(run.status, 1) << c.game << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.game << "\n" << run.output;
    }
    ScratchFolder later;
    const PlayerRun goesOn = runHeadless(later, {.game = cases[0].game}, "--frames 3");
    EXPECT_NE(goesOn.output.find("probe: frame 3"), std::string::npos) << "the next frame runs\n" << goesOn.output;
    ScratchFolder scratch;
    // An engine script whose initEngine raises: the error is reported and the game plays.
    ScratchFolder failingInit;
    const std::string app = makeBundle(failingInit, {.game = "function onUpdate() log('frame', frames) end"});
    writeFile(app + "/Contents/Resources/engine64.luo",
              "dofile('" + kProbeEngine + "')\nlocal probeInit = initEngine\n"
              "function initEngine() probeInit() error('boom in initEngine') end\n");
    const PlayerRun initRun = runPlayer(failingInit, "--headless --frames 2 " + app);
    EXPECT_EQ(initRun.status, 1) << initRun.output;
    EXPECT_NE(initRun.output.find("initEngine failed: "), std::string::npos) << initRun.output;
    EXPECT_NE(initRun.output.find("boom in initEngine"), std::string::npos) << initRun.output;
    EXPECT_NE(initRun.output.find("probe: frame 2"), std::string::npos) << initRun.output;

    const PlayerRun clean = runHeadless(scratch, {}, "--frames 2");
    EXPECT_EQ(clean.status, 0) << clean.output;

    // The engine script reports a game's problems and goes on: each names the game's own file
    // and line, and the run still fails.
    const std::string projects = std::string(QZ_SOURCE_DIR) + "/tests/enginescript/projects/";
    ScratchFolder other;
    const PlayerRun faulty = runHeadless(other, {.project = projects + "bad.gameproj"}, "--frames 3");
    EXPECT_EQ(faulty.status, 1) << faulty.output;
    for (const char* says : {"game.xml:15: unknown element <extras> in <game>; ignored",
                             "scripts/misuse.lua:6: moveTo(x, y) needs two numbers",
                             "scripts/everyFrame.lua:4: attempt to index", "problem(s) reported"})
        EXPECT_NE(faulty.output.find(says), std::string::npos) << says << "\n" << faulty.output;
    EXPECT_EQ(countOf(faulty.output, "engine/"), 0) << faulty.output;
    EXPECT_EQ(countOf(faulty.output, QZ_BINARY_DIR), 0) << faulty.output;
    // Its scene of files that cannot be loaded: each is reported once, and no frame is lost.
    ScratchFolder assets;
    const std::string assetsApp = makeBundle(assets, {.project = projects + "bad.gameproj"});
    const std::string gameXml = assetsApp + "/Contents/Resources/main.gameproj/game.xml";
    std::string text = readFile(gameXml);
    writeFile(gameXml, text.replace(text.find("\"nowhere\""), 9, "\"assets\""));
    const PlayerRun unloadable = runPlayer(assets, "--headless --frames 30 " + assetsApp);
    EXPECT_EQ(unloadable.status, 1) << unloadable.output;
    for (const char* says : {"actor 'noise': sound 'noise.ogg' cannot be played",
                             "actor 'cracked': image 'cracked.png' cannot be shown", "image 'ghost.png' not found"})
        EXPECT_EQ(countOf(unloadable.output, says), 1) << says << "\n" << unloadable.output;
    EXPECT_EQ(countOf(unloadable.output, "Lua Error"), 0) << unloadable.output;
    ScratchFolder fine;
    const PlayerRun healthy = runHeadless(fine, {.project = projects + "contract.gameproj"}, "--frames 3");
    EXPECT_EQ(healthy.status, 0) << healthy.output;
}

// A quit signal stops a frame stuck in a script within a second, even through pcall; the
// game still stops and shuts down, and nothing half-made is written. A second signal ends
// the player at once.
TEST(Headless, AQuitSignalEndsAStuckFrameAndASecondEndsThePlayerAtOnce) {
    constexpr const char* kStuck = "function onUpdate() if frames == 2 then log('looping') while true do end end end\n";
    const struct {
        std::string game;
        int signals;
        const char* last;
    } cases[] = {
        {kStuck, 1, "probe: shutdownEngine"},
        {"function onUpdate() if frames == 2 then log('looping') while true do pcall(function() while true do end end) "
         "end end end", 1, "probe: shutdownEngine"},
        {std::string(kStuck) + "function stop() log('stuck stop') while true do end end", 2, "probe: stuck stop"},
        {"log('looping') while true do end", 1, "probe: shutdownEngine"},  // while loading
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        setenv("XDG_DATA_HOME", scratch.file("data").c_str(), 1);
        const std::string output = scratch.file("output.txt");
        const pid_t pid = spawn({kPlayer, "--headless", "--frames", "1000000", "--screenshot", scratch.file("shot.png"),
                                 makeBundle(scratch, {.game = c.game})}, output);
        EXPECT_TRUE(waitForText(output, "probe: looping")) << readFile(output);
        kill(pid, SIGTERM);
        if (c.signals == 2) {
            EXPECT_TRUE(waitForText(output, c.last)) << readFile(output);
            kill(pid, SIGTERM);
        }
        const int status = waitForExit(pid, std::chrono::seconds(3));
        if (status < 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        EXPECT_EQ(status, 128 + SIGTERM) << c.game << "\n" << readFile(output);
        EXPECT_NE(readFile(output).find(c.last), std::string::npos) << readFile(output);
        EXPECT_FALSE(std::filesystem::exists(scratch.file("shot.png"))) << "an interrupted run writes no screenshot";
    }
}

// A game's behaviours run with the least rights: each refused name says so, a call that loops
// for ever and one that allocates without end are stopped with a report naming the behaviour,
// and the game goes on.
TEST(Headless, BehavioursAreRefusedStoppedAndBoundedAndTheGameGoesOn) {
    constexpr long kMemoryLimitMegabytes = 64;
    const char* refused[] = {"io", "os.execute", "os.exit", "os.remove", "os.rename", "os.getenv",
                             "package", "debug", "loadstring", "load", "loadfile", "dofile",
                             "module", "getmetatable", "setfenv", "rawset", "_G"};
    std::vector<std::string> refusals;
    for (size_t index = 0; index < std::size(refused); ++index) {
        refusals.push_back("behaviour scripts/refused.lua:" + std::to_string(index + 3) + ": '" + refused[index] +
                           "' is not available to games");
    }
    refusals.push_back("still playing; what games keep: true 2 007 true");
    const struct {
        const char* scene;
        std::string arguments;
        std::vector<std::string> lines;  // each in the output
        const char* never;
    } cases[] = {
        {"refused", "--frames 20", refusals, nullptr},
        {"runaway", "--frames 101",
         {"behaviour scripts/runaway.lua:8: script stopped: one call ran longer than 2 s", "ticker at frame 100"},
         nullptr},
        {"hungry", "--frames 21 --memory-limit " + std::to_string(kMemoryLimitMegabytes),
         {"behaviour scripts/hungry.lua (onUpdate): not enough memory", "ticker at frame 20"}, "hoarded everything"},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const PlayerRun run = runPlayer(scratch, "--headless " + c.arguments + " " + makeBundle(scratch, {}, c.scene));
        EXPECT_EQ(run.status, 1) << c.scene << ": problems were reported\n" << run.output;
        for (const std::string& line : c.lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        if (c.never) {
            EXPECT_EQ(run.output.find(c.never), std::string::npos) << run.output;
        }
    }
    // The largest player run: the scripts' limit plus the player's own (well under the 768 MB
    // the hungry behaviour asks for).
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    if (kMemoryIsMeasurable) {
        EXPECT_LT(usage.ru_maxrss / 1024, kMemoryLimitMegabytes + 256) << "peak megabytes";
    }
}

// Tweens and timers of the guarded project's scenes, run by the real engine script: easings
// half way and at the end, a sequence's steps in order, timers that stop while the game is
// paused and end with their scene, failing callbacks and misused functions reported at their
// lines while the rest goes on.
TEST(Headless, TweensAndTimersFollowTheScenesClockAndReportTheirFaults) {
    const struct {
        const char* easing;
        const char* half;  // x half way from 0 to 100
    } easings[] = {{"linear", "50.0"}, {"quadIn", "25.0"},   {"quadOut", "75.0"},    {"cubicIn", "12.5"},
                   {"cubicInOut", "50.0"}, {"sineIn", "29.3"}, {"backIn", "-8.8"}, {"elasticOut", "101.6"},
                   {"bounceOut", "76.6"}, {"quadInOut", "50.0"}};
    std::vector<std::string> easingLines{"grower 20 90 0.25 32 10"};
    for (const auto& e : easings) {
        easingLines.push_back(std::string("half ") + e.easing + " " + e.half + "\n");
        easingLines.push_back(std::string("end ") + e.easing + " 100\n");
    }
    const std::string faults = "behaviour scripts/tweenFaults.lua:";
    const struct {
        const char* scene;
        const char* arguments;
        const char* timeline;
        int status;
        std::vector<std::string> lines;  // each in the output
        std::vector<std::string> never;
    } cases[] = {
        {"easings", "--frames 62", "", 0, easingLines, {}},
        {"sequences", "--frames 90", "", 0,
         {"first at 15\ncall at 30\ncancelled at 45 false\nalpha at 60\ngroup at 60\nsequence at 60\n",
          "finally 10 5 45 0.5"},
         {"turning ended", "doomed ended"}},
        // Paused from frame 20 to 80: a timer that kept time then would tick 3 and more.
        {"timers", "--frames 200", "20 pause\n80 play\n", 0,
         {"tick 1 at update 15\ntick 2 at update 3", "next scene at update 90"},
         {"tick 3", "fired"}},
        {"tweenFaults", "--frames 24", "", 1,
         {faults + "7: timer boom", faults + "8: attempt to index local 'broken'", faults + "9: complete boom",
          "the next timer still fires", "the next tween still ends",
          faults + "15: tween: unknown easing 'quadout'; use one of backIn, backInOut",
          faults + "16: tween: unknown property 'width'; a tween moves x, y, angle, scale, alpha and color",
          faults + "17: tween: the first argument must be an actor, got string",
          faults + "18: tween: x must be a number, got string",
          faults + "19: tween: scale works on sprites with a size; 'label' is a text",
          faults + "20: after: the seconds must be a number of 0 or more, got -1",
          faults + "21: every: the seconds must be a number above 0, got 0",
          faults + "22: after: the second argument must be a function",
          faults + "23: sequence: step 2 must be a tween, sequence, group, number of seconds or function, got string",
          faults + "24: call cancel with a colon: handle:cancel()"},
         {}},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), c.timeline);
        const PlayerRun run = runPlayer(scratch, std::string("--headless ") + c.arguments + " --input " +
                                                     scratch.file("input.txt") + " " + makeBundle(scratch, {}, c.scene));
        EXPECT_EQ(run.status, c.status) << c.scene << "\n" << run.output;
        for (const std::string& line : c.lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        for (const std::string& line : c.never) EXPECT_EQ(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    }
}

// Joints of the scene document and of behaviours, ray casts, area queries and contact data,
// probed from behaviours; every misuse is reported at its line and the game goes on.
TEST(Headless, JointsQueriesAndContactsReachBehavioursAndMisuseIsReported) {
    const std::string doc = "game: scenes/jointFaults.xml:";
    const std::string faults = "game: behaviour scripts/jointFaults.lua:";
    const struct {
        const char* scene;
        int frames;
        int status;
        std::vector<std::string> lines;  // each in the output
    } cases[] = {
        {"joints", 122, 0,
         {"turns true\n", "ray near 90.0 100.0 -1.00 0.225\n", "ray back far near 2\n", "ray misses nil\n",
          "area far near | near | \n", "contact floor 0.0 -1.0 2 10 hard true\n", "weld waits true nil\n",
          "weld made true true\n", "holds true\n", "keeps its length true\n",
          "rope gone false nil false the rope joint is gone (destroyed, or one of its actors was)\n",
          "motor destroyed false nil\n"}},
        {"jointFaults", 40, 1,
         {doc + "16: <joint>: no actor named 'ghost' in the scene (templates are not there yet)",
          doc + "17: <joint>: no actor named 'brick' in the scene",
          doc + "18: <joint type=\"hinge\">: expected one of distance, mouse, prismatic, revolute, rope, weld",
          doc + "18: unknown attribute 'wobble' of <joint>; ignored",
          doc + "18: <joint>: attribute 'maxForce' does not apply to a revolute joint; ignored",
          doc + "19: <joint>: cannot join 'box' and the world: a rope to the world needs anchorB",
          doc + "20: <joint>: a joint needs two different actors, not 'box' twice",
          doc + "21: <joint>: give the actor it holds with a=\"name\"",
          faults + "5: makeJoint: unknown joint type 'spring'; use revolute, distance, prismatic, weld, rope or mouse",
          faults + "6: makeJoint: a joint needs two different actors, not 'box' twice",
          faults + "7: makeJoint: actor 'label' has no <body>",
          faults + "8: makeJoint: option 'lower' must be a finite number",
          faults + "9: makeJoint: cannot join 'box' and 'crate': the limit's lower end lies above its upper end",
          faults + "10: makeJoint: option 'motorSpeed' does not apply to a weld joint",
          faults + "11: makeJoint: cannot join 'box' and 'crate': the axis of a prismatic joint has no direction",
          faults + "12: setMotor works on prismatic and revolute joints; this one is a weld joint",
          faults + "13: the revolute joint is gone (destroyed, or one of its actors was)",
          faults + "14: rayCast: argument 3 must be a finite number, got inf",
          faults + "15: queryCircle: the radius must be 0 or more",
          faults + "16: makeJoint: no actor named 'nobody' in the scene",
          "game: behaviour scripts/lateFault.lua:3: makeJoint: cannot join 'faller' and 'crate': the axis of a "
          "prismatic joint has no direction",
          "asked during the step\n", "still playing box\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        ScratchFolder scratch;
        const PlayerRun run =
            runPlayer(scratch, "--headless --frames " + std::to_string(c.frames) + " " + makeBundle(scratch, {}, c.scene));
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& line : c.lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    }
}

// Scenes pushed over a paused scene and transitions between scenes, run by the real engine
// script at 1/8 s a frame: what runs and takes the keys when, pictures part way and after, and
// misused functions reported at their lines. The pushed menu (the guarded project's stackMenu)
// paints half-transparent black over the blue game and shows a red square at x 34 to 46.
TEST(Headless, PushedScenesPauseTheSceneBelowAndTransitionsHoldInput) {
    struct Pixel {
        const char* shot;  // the timeline's screenshot
        int x, y, red, green, blue;
    };
    const std::string faults = "behaviour scripts/stackFaults.lua:";
    const struct {
        const char* scene;
        const char* timeline;
        int frames;
        int status;
        std::vector<std::string> lines;  // each in the output
        std::vector<std::string> never;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"stackGame", "8 keydown a\n9 screenshot over\n12 keydown return\n14 keydown b\n16 screenshot after\n", 16, 0,
         {"tick at game time 0.5\npushed at 0.625 20.5\nmenu over the game; running scene stackMenu\n"
          "menu key a\nmenu key return\nresumed at 0.75 23.625\ntick at game time 0.75\ngame key b\n"},
         {"game key a", "game key return", "menu key b"},
         {{"over", 2, 2, 0, 0, 128}, {"over", 22, 32, 128, 128, 0}, {"over", 40, 32, 255, 0, 0},
          {"after", 2, 2, 0, 0, 255}, {"after", 40, 32, 255, 255, 0}}},
        // The menu pushed from onPause is there when the game goes on, and the game waits under it.
        {"stackGame", "2 pause\n4 play\n10 screenshot paused\n", 10, 0, {"menu over the game"}, {"pushed at"},
         {{"paused", 40, 32, 255, 0, 0}, {"paused", 2, 2, 0, 0, 127}}},
        // Out of white to black in 0.5 s, then into red; a key while it runs reaches no scene.
        {"fadeFrom", "4 screenshot out\n8 screenshot in\n9 keydown a\n10 screenshot end\n11 keydown b\n", 11, 0,
         {"fadeFrom update 1\nfadeTo starts\n", "fadeTo key b"},
         {"fadeFrom update 2", "fadeTo key a"},
         {{"out", 2, 2, 128, 128, 128}, {"in", 2, 2, 128, 0, 0}, {"end", 2, 2, 255, 0, 0}}},
        // The transition waits while the game is paused.
        {"fadeFrom", "3 pause\n5 play\n6 screenshot out\n", 6, 0, {}, {}, {{"out", 2, 2, 128, 128, 128}}},
        // Half way the green scene (its yellow mark moved from x 40 to 8) has gone left by 32
        // and the blue one fills the right half; the change slideTo asks for waits for the end.
        {"slideFrom", "6 screenshot half\n10 screenshot end\n", 11, 0,
         {"slideEnd after 8 slideTo updates\n"}, {},
         {{"half", 8, 32, 255, 255, 0}, {"half", 24, 32, 0, 255, 0}, {"half", 48, 32, 0, 0, 255},
          {"end", 40, 32, 0, 0, 0}}},
        {"stackFaults", "", 14, 1,
         {faults + "3: popScene: no scene is pushed; popScene ends a scene that pushScene put over another",
          faults + "4: pushScene: no scene named 'nowhere' in game.xml",
          faults + "5: changeScene: no scene named 'nowhere' in game.xml",
          faults + "6: changeScene: unknown transition 'wipe'; use \"fade\" or \"slide\"",
          faults + "7: changeScene: seconds must be a number above 0 and at most 10, got 0",
          faults + "8: changeScene: direction is \"left\", \"right\", \"up\" or \"down\" and goes with transition = "
                   "\"slide\"; got left",
          faults + "9: changeScene: unknown option 'speed'; the options are transition, seconds and direction",
          faults + "10: changeScene: the options must be a table such as {transition = \"fade\", seconds = 0.5}, got string",
          faults + "11: pushScene: give the scene name only (transitions are for changeScene)",
          faults + "12: popScene takes no arguments: it ends the scene on top",
          faults + "13: changeScene: the scene name must be a string, got table",
          faults + "14: pushScene: 8 scenes are pushed already, the most there can be; popScene one first",
          "faults update 12\n"},
         {"faults update 13"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scene) + ": " + c.timeline);
        ScratchFolder scratch;
        std::string timeline = c.timeline;
        for (size_t at = timeline.find(" screenshot "); at != std::string::npos; at = timeline.find(" screenshot ", at + 1)) {
            const size_t end = timeline.find('\n', at);
            timeline.replace(end, 0, ".png");
            timeline.insert(at + 12, scratch.path().string() + "/");
        }
        writeFile(scratch.file("input.txt"), timeline);
        const PlayerRun run = runPlayer(scratch, "--headless --dt 0.125 --frames " + std::to_string(c.frames) +
                                                     " --input " + scratch.file("input.txt") + " " +
                                                     makeBundle(scratch, {}, c.scene));
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& line : c.lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        for (const std::string& line : c.never) EXPECT_EQ(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        for (const Pixel& p : c.pixels) {
            const Picture picture(scratch.file(std::string(p.shot) + ".png"), PNG_FORMAT_RGBA);
            SCOPED_TRACE(std::string(p.shot) + " at " + std::to_string(p.x) + "," + std::to_string(p.y));
            EXPECT_NEAR(picture.red(p.x, p.y), p.red, 6);
            EXPECT_NEAR(picture.green(p.x, p.y), p.green, 6);
            EXPECT_NEAR(picture.blue(p.x, p.y), p.blue, 6);
        }
    }
}

// The looping sound of a scene is silent while a menu is pushed over it (frames 6 to 11) and
// plays on after popScene.
TEST(Headless, TheSoundsOfASceneWaitUnderAPushedScene) {
    ScratchFolder scratch;
    constexpr int kRate = 44100;
    const std::string bundle = makeBundle(scratch, {}, "stackSound");
    const std::string sounds = bundle + "/Contents/Resources/main.gameproj/sounds";
    std::filesystem::create_directories(sounds);
    writeSndfile(sounds + "/tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, sineFrames(1, kRate, kRate, 440.0));
    writeFile(scratch.file("input.txt"), "12 keydown return\n");
    const PlayerRun run = runPlayer(scratch, "--headless --dt 0.125 --frames 16 --input " + scratch.file("input.txt") +
                                                 " --audio " + scratch.file("sound.wav") + " " + bundle);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string wav = readFile(scratch.file("sound.wav"));
    // Whether any sample is heard between two points in frames: frame N covers (N-1)..N × 1/8 s
    // of 16-bit stereo after the 44-byte header.
    const auto heard = [&](double from, double to) {
        const auto byte = [](double frame) { return 44 + static_cast<size_t>(frame * kRate / 8) * 4; };
        return wav.find_first_not_of('\0', byte(from)) < byte(to);
    };
    ASSERT_GE(wav.size(), 44u + 16u * kRate / 8 * 4);
    EXPECT_TRUE(heard(1, 4)) << "before the menu";
    EXPECT_FALSE(heard(6, 10.5)) << "under the menu";
    EXPECT_TRUE(heard(12, 15)) << "after popScene";
}

// The game asks for text at frame 2 and logs the answer with the frame it arrived in.
constexpr const char* kTextGame = R"(
function onUpdate()
  if frames == 2 then callbacks.callExternalFunction("KeyboardInput", "Your name?", "abc", false) end
end
function raiseExternalEvent(name, arguments) log("event", name, "[" .. arguments[1] .. "]", "frames", frames) end
)";

TEST(Headless, TextEntryAnswersOncePerRequestWithTheEditedText) {
    ScratchFolder scratch;
    writeFile(scratch.file("finish.txt"), "");
    PlayerRun run = runHeadless(scratch, {.game = kTextGame}, "--frames 6 --input " + scratch.file("finish.txt"));
    EXPECT_EQ(countOf(run.output, "probe: event keyboardInputEntered"), 0) << "no answer before the panel finishes";
    EXPECT_NE(run.output.find("probe: pause behavior"), std::string::npos) << run.output;

    writeFile(scratch.file("finish.txt"), "4 keydown return\n");
    run = runHeadless(scratch, {.game = kTextGame}, "--frames 6 --input " + scratch.file("finish.txt"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(countOf(run.output, "probe: event keyboardInputEntered [abc] frames 2"), 1) << run.output;

    writeFile(scratch.file("edit.txt"), "3 keydown right\n3 keydown delete\n3 text \xC3\xA9 z\n4 keydown return\n");
    run = runHeadless(scratch, {.game = kTextGame}, "--frames 6 --input " + scratch.file("edit.txt"));
    EXPECT_EQ(countOf(run.output, "probe: event keyboardInputEntered"), 1) << run.output;
    EXPECT_NE(run.output.find("[ab\xC3\xA9 z]"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("probe: keyDown return"), std::string::npos) << "after the panel, keys reach the game";

    writeFile(scratch.file("cancel.txt"), "3 keydown x\n4 keydown esc\n5 text late\n");
    run = runHeadless(scratch, {.game = kTextGame}, "--frames 6 --input " + scratch.file("cancel.txt"));
    EXPECT_EQ(countOf(run.output, "probe: event keyboardInputEntered [abc]"), 1) << run.output;
    EXPECT_NE(run.output.find("frame 5: text \"late\" ignored: no text panel is showing"), std::string::npos)
        << run.output;
}

TEST(Headless, TheTextEntryPanelIsDrawnOverThePausedGame) {
    ScratchFolder scratch;
    writeFile(scratch.file("none.txt"), "");
    const PlayerRun run = runHeadless(scratch, {.game = kTextGame},
                                      "--frames 4 --screenshot " + scratch.file("panel.png") + " --input " +
                                          scratch.file("none.txt"));
    ASSERT_EQ(run.status, 0) << run.output;
    const Picture picture(scratch.file("panel.png"));
    ASSERT_EQ(picture.width, 240);
    EXPECT_GT(picture.red(120, 80), 200) << "the light panel in the middle";
    EXPECT_GT(picture.green(120, 80), 200);
    EXPECT_LT(picture.blue(2, 2), 100) << "the game is dimmed around it";
    // The prompt is written above the field, which holds the initial text, selected.
    const auto count = [&](int top, int bottom, const auto& wanted) {
        int found = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 20; x < 130; ++x) found += wanted(picture.red(x, y), picture.green(x, y), picture.blue(x, y));
        return found;
    };
    const auto dark = [](int r, int g, int b) { return r < 90 && g < 90 && b < 90; };
    const auto selection = [](int r, int g, int b) { return r > 130 && r < 180 && g > 180 && g < 215 && b > 235; };
    EXPECT_GT(count(35, 65, dark), 30) << "the prompt in the upper part of the panel";
    EXPECT_GT(count(90, 120, selection), 100) << "the initial text selected in the field";
    EXPECT_EQ(count(35, 65, selection), 0);
}

TEST(Headless, ATextRequestWhileTheGameIsNotPlayingIsAnsweredAtOnceWithNothing) {
    ScratchFolder scratch;
    const ProbeBundle probe{.game = R"(
callbacks.callExternalFunction("KeyboardInput", "Name?", "abc", false)
function raiseExternalEvent(name, arguments) log("event", name, "[" .. arguments[1] .. "]", "frames", frames) end
)"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 2");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(countOf(run.output, "probe: event keyboardInputEntered [] frames 0"), 1) << run.output;
}

TEST(Headless, FontsOfTheFontTableFallBackToAFaceOfTheirKind) {
    ScratchFolder scratch;
    // A typewriter face is as wide as Courier New, a serif one as Times New Roman.
    const ProbeBundle probe{.game = R"(
local space = scenegraph.scene.new(nil, nil):defaultSpace()
for _, font in ipairs({"American Typewriter", "Courier New", "Baskerville", "Cochin", "Times New Roman", "Arial"}) do
  local text = space:createNode(scenegraph.stringToImageNode)
  text.text:setValue("Quillane plays typewriter and serif faces", true)
  text.font:setValue(font, true)
  text.fontSize:setValue(20, true)
  log("width", font, text.width:value())
end
)"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 1");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto width = [&](const std::string& font) {
        const size_t at = run.output.find("probe: width " + font + " ");
        return at == std::string::npos ? std::string("missing") : run.output.substr(at, run.output.find('\n', at) - at)
                                                                          .substr(14 + font.size());
    };
    EXPECT_EQ(width("American Typewriter"), width("Courier New")) << run.output;
    EXPECT_EQ(width("Baskerville"), width("Times New Roman")) << run.output;
    EXPECT_EQ(width("Cochin"), width("Times New Roman")) << run.output;
    EXPECT_NE(width("Baskerville"), width("Arial")) << run.output;
}

TEST(Headless, DebugDrawsTheLastErrorOverTheGame) {
    ScratchFolder scratch;
    const ProbeBundle probe{.game = "function onUpdate() if frames == 1 then error('shown in debug') end end"};
    const PlayerRun plain = runHeadless(scratch, probe, "--frames 3 --screenshot " + scratch.file("plain.png"));
    const PlayerRun debug = runHeadless(scratch, probe, "--debug --frames 3 --screenshot " + scratch.file("debug.png"));
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(debug.status, 1);
    const Picture without(scratch.file("plain.png")), with(scratch.file("debug.png"));
    EXPECT_LT(without.red(1, 1), 20) << "the game's dark blue";
    EXPECT_GT(with.red(1, 1), 60) << "the error box at the top";
    EXPECT_EQ(with.red(1, 159), without.red(1, 159)) << "the bottom of the game stays visible";
}

// Five sprites of one colour replace the probe's picture: five sprites and one draw call a
// frame. With --stats a line of costs follows each second of game time, and one for the run.
constexpr const char* kFiveSprites = R"(
local five = scenegraph.scene.new(nil, nil)
for i = 1, 5 do
  local sprite = five:defaultSpace():createNode(scenegraph.spriteNode)
  sprite.x:setValue(30 * i, true) sprite.y:setValue(40, true)
  sprite.width:setValue(10, true) sprite.height:setValue(10, true)
end
function draw() five:render() end
)";

TEST(Headless, StatsPrintsTheCostsOfEachSecondOfGameTimeAndOfTheRun) {
    struct Line {
        std::string head;  // what follows "stats " up to the frame count
        int problems;
    };
    const struct {
        const char* arguments;
        std::vector<Line> lines;
    } cases[] = {
        {"--frames 120 --dt 0.016666666666666667", {{"1s: 60 frames", 0}, {"2s: 60 frames", 0}, {"total: 120 frames", 0}}},
        // A second ends at the frame that reaches it: 1.2 s, 2.1 s and 3.0 s.
        {"--frames 10 --dt 0.3", {{"1s: 4 frames", 0}, {"2s: 3 frames", 0}, {"3s: 3 frames", 0}, {"total: 10 frames", 0}}},
        // The key pressed before the second frame fails.
        {"--frames 3 --dt 1 --input", {{"1s: 1 frames", 0}, {"2s: 1 frames", 1}, {"3s: 1 frames", 1}, {"total: 3 frames", 1}}},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), "2 keydown x\n");
        const std::string game = std::string(kFiveSprites) + "function keyDown() error('no keys') end";
        std::string arguments = c.arguments;
        if (arguments.ends_with("--input")) arguments += " " + scratch.file("input.txt");
        const PlayerRun run = runHeadless(scratch, {.game = game}, "--stats " + arguments);
        EXPECT_EQ(run.status, c.lines.back().problems > 0 ? 1 : 0) << run.output;
        EXPECT_EQ(countOf(run.output, "stats "), static_cast<int>(c.lines.size())) << run.output;
        size_t at = 0;
        for (const Line& line : c.lines) {
            at = run.output.find("stats " + line.head + ", ", at);
            ASSERT_NE(at, std::string::npos) << line.head << "\n" << run.output;
            const std::string text = run.output.substr(at, run.output.find('\n', at) - at);
            EXPECT_NE(text.find(" fps, frame "), std::string::npos) << text;
            EXPECT_NE(text.find(", 1 draw calls, 5 sprites, memory "), std::string::npos) << text;
            EXPECT_NE(text.find(", sounds 0/32, problems " + std::to_string(line.problems)), std::string::npos) << text;
            EXPECT_GT(std::stod(text.substr(text.find("memory ") + 7)), 0) << text;
        }
    }
}

// The overlay covers a corner at the top left; the rest of the picture is the game's own.
TEST(Headless, TheCostsOverlayCoversTheTopLeftCornerOnly) {
    ScratchFolder scratch;
    const std::string common = "--size 480x320 --frames 20 --screenshot ";
    ASSERT_EQ(runHeadless(scratch, {}, common + scratch.file("plain.png")).status, 0);
    ASSERT_EQ(runHeadless(scratch, {}, "--stats " + common + scratch.file("stats.png")).status, 0);
    const Picture plain(scratch.file("plain.png")), stats(scratch.file("stats.png"));
    ASSERT_EQ(plain.pixels.size(), stats.pixels.size());
    int differing = 0, right = 0, bottom = 0;
    for (int y = 0; y < plain.height; ++y)
        for (int x = 0; x < plain.width; ++x)
            for (int c = 0; c < 3; ++c)
                if (plain.channel(x, y, c) != stats.channel(x, y, c)) {
                    ++differing;
                    right = std::max(right, x);
                    bottom = std::max(bottom, y);
                }
    EXPECT_GT(differing, 1000);
    EXPECT_LT(right, 340) << "the overlay ends well before the right edge";
    EXPECT_LT(bottom, 160) << "the overlay ends above the middle";
    EXPECT_LT(stats.blue(5, 5), plain.blue(5, 5) / 2) << "the overlay's dark box darkens the game";
}

// The game's own file is opened by its path; a file outside the bundle is refused.
TEST(Headless, OpenURLTakesWebAndMailAddressesAndTheBundlesOwnFiles) {
    ScratchFolder scratch;
    const ProbeBundle probe{.game = R"(
local project = debug.getinfo(1, 'S').source:sub(2):gsub('/game.lua$', '')
callbacks.callExternalFunction("openURL", "mailto:someone", true)
callbacks.callExternalFunction("openURL", "file://" .. project .. "/game.lua", true)
callbacks.callExternalFunction("openURL", "file:///etc/passwd", true)
callbacks.callExternalFunction("openURL")
callbacks.callExternalFunction("noSuchFunction", 1, 2)
)"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("openURL: mailto:someone (not opened: headless)"), std::string::npos);
    EXPECT_NE(run.output.find("openURL: " + std::filesystem::canonical(scratch.path()).string() +
                              "/Probe.app/Contents/Resources/main.gameproj/game.lua (not opened: headless)"),
              std::string::npos) << run.output;
    EXPECT_NE(run.output.find("refused \"file:///etc/passwd\": only files inside the game's bundle"),
              std::string::npos) << run.output;
}

TEST(Headless, ADeepSceneGraphReadFitsTheGameThreadsStack) {
    ScratchFolder scratch;
    // A chain of 4,900 arithmetic nodes read in one go nests through 9,800 ports in native code.
    const ProbeBundle probe{.game = R"(
deepScene = scenegraph.scene.new(nil, nil)
local space = deepScene:defaultSpace()
local previous = space:createNode(scenegraph.arithmeticNode)
for i = 1, 4900 do
  local node = space:createNode(scenegraph.arithmeticNode)
  node.input1:setValue(previous.output)
  previous = node
end
log("deep value", previous.output:value())
)"};
    const PlayerRun run = runHeadless(scratch, probe, "--frames 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: deep value"), std::string::npos) << run.output;
}

TEST(Headless, TheSoundRecordingFollowsTheFramesAndRepeats) {
    ScratchFolder scratch;
    // The engine script owns its sound manager and deletes it when the engine shuts down.
    const ProbeBundle probe{.game = "sharedSoundManager = soundManager.new()\n"
                                  "function shutdownEngine() sharedSoundManager:delete() end"};
    const PlayerRun first = runHeadless(scratch, probe, "--frames 30 --audio " + scratch.file("a.wav"));
    const PlayerRun second = runHeadless(scratch, probe, "--frames 30 --audio " + scratch.file("b.wav"));
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(second.status, 0) << second.output;
    const std::string wav = readFile(scratch.file("a.wav"));
    // Half a second of 16-bit stereo at 44,100 Hz after the 44-byte header.
    ASSERT_EQ(wav.size(), 44u + 22050u * 4u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(wav.find_first_not_of('\0', 44), std::string::npos) << "nothing played: silence, without dither";
    EXPECT_EQ(wav, readFile(scratch.file("b.wav")));
}

// Sounds of every kind the game's tools export, WAV and AAC alike.
TEST(Headless, ASoundPlayedAtAFrameIsHeardFromThatFrameOn) {
    ScratchFolder scratch;
    constexpr int kRate = 44100, kFrame = 10;
    const std::vector<int16_t> tone = sineFrames(1, kRate, kRate / 10, 1000.0);
    writeSndfile(scratch.file("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, tone);
    writeEncoded(scratch.file("tone.m4a"), "aac", 1, kRate, tone);
    for (const char* file : {"tone.wav", "tone.m4a"}) {
        const ProbeBundle probe{.game = "function Project:pathForSound(name) return '" + scratch.file(file) +
                                      "' end\n"
                                      "local sounds, assets = soundManager.new(), assetManager.new()\n"
                                      "local soundScene = scenegraph.scene.new(sounds, assets)\n"
                                      "local loader = soundScene:defaultSpace():createNode(scenegraph.soundLoaderNode)\n"
                                      "local player = soundScene:defaultSpace():createNode(scenegraph.soundPlayerNode)\n"
                                      "player.sound:setValue(loader.asset)\n"
                                      "function onUpdate()\n"
                                      "  if frames ~= " + std::to_string(kFrame) + " then return end\n"
                                      "  loader.name:setValue('tone', true)\n"
                                      "  player.trigger:setValue(true, true)\n"
                                      "  log('playing', player.playing:value())\n"
                                      "end\n"
                                      "function shutdownEngine() soundScene:delete() assets:delete() sounds:delete() end\n"};
        const PlayerRun first = runHeadless(scratch, probe, "--frames 30 --audio " + scratch.file("a.wav"));
        const PlayerRun second = runHeadless(scratch, probe, "--frames 30 --audio " + scratch.file("b.wav"));
        ASSERT_EQ(first.status, 0) << file << "\n" << first.output;
        ASSERT_EQ(second.status, 0) << file << "\n" << second.output;
        EXPECT_NE(first.output.find("probe: playing true"), std::string::npos) << file << "\n" << first.output;
        const std::string wav = readFile(scratch.file("a.wav"));
        ASSERT_EQ(wav.size(), 44u + 22050u * 4u) << file;
        EXPECT_EQ(wav, readFile(scratch.file("b.wav"))) << file;
        // The sound starts with the audio of the frame that plays it: frame N covers (N-1)..N × dt.
        const size_t start = 44 + static_cast<size_t>((kFrame - 1) * kRate / 60 - 64) * 4;
        const size_t loudAt = wav.find_first_not_of('\0', 44);
        ASSERT_NE(loudAt, std::string::npos) << file << ": the sound is missing from the recording";
        EXPECT_GE(loudAt, start) << file << ": sound before the frame that plays it";
        EXPECT_LT(loudAt, 44 + static_cast<size_t>((kFrame + 1) * kRate / 60) * 4) << file << ": the sound starts late";
    }
}

// Music of every format the game's tools export plays; a track that cannot be read is named.
TEST(Headless, MusicOfEveryFormatPlaysAndAnUnreadableTrackIsNamed) {
    ScratchFolder scratch;
    const std::vector<int16_t> tone = sineFrames(2, 44100, 44100, 440.0);
    writeOgg(scratch.file("track.ogg"), 2, 44100, tone);
    writeEncoded(scratch.file("track.m4a"), "aac", 2, 44100, tone);
    writeFile(scratch.file("junk.m4a"), "not a sound");
    const struct {
        const char* file;
        bool plays;
    } cases[] = {{"track.ogg", true}, {"track.m4a", true}, {"junk.m4a", false}};
    for (const auto& c : cases) {
        const ProbeBundle probe{.game = "function onUpdate()\n"
                                      "  if frames == 2 then platformWrappers.playMusic('" + scratch.file(c.file) + "', 1) end\n"
                                      "  if frames == 4 then log('music', platformWrappers.isMusicPlaying()) end\n"
                                      "end\n"};
        const PlayerRun run = runHeadless(scratch, probe, "--frames 6");
        EXPECT_EQ(run.status, 0) << c.file << "\n" << run.output;
        EXPECT_NE(run.output.find(c.plays ? "probe: music 1" : "probe: music 0"), std::string::npos) << c.file << "\n" << run.output;
        const std::string named = "cannot play the music \"" + scratch.file(c.file) + "\"";
        EXPECT_EQ(run.output.find(named) != std::string::npos, !c.plays) << c.file << "\n" << run.output;
    }
}

TEST(Headless, CommandLineMistakesExitWithStatus2) {
    ScratchFolder scratch;
    for (const char* arguments : {"--frames -1", "--size 0x10", "--dt abc", "--bogus", "--input", "--audio x.wav",
                                  "--headless --input /nonexistent/timeline.txt", "--memory-limit lots",
                                  "--memory-limit 99999999999999", "--pack x.gameproj", "--output x.app",
                                  "--pack x.gameproj --output x.app", "--watch --check"}) {
        const PlayerRun run = runPlayer(scratch, std::string(arguments) + " " + makeBundle(scratch));
        EXPECT_EQ(run.status, 2) << arguments << "\n" << run.output;
    }
    const PlayerRun help = runPlayer(scratch, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--headless", "--size", "--frames", "--dt", "--screenshot", "--input", "--audio",
                               "--debug", "--timing", "--memory-limit", "--trusted-only", "--pack", "--output",
                               "--watch", "--stats", "--quiet", "F3"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
}

// A headless player whose timeline waits ("FRAME wait") until the test, having changed the
// project, sends it a line; its standard output and error are read as it runs.
class SteppedPlayer {
public:
    SteppedPlayer(const ScratchFolder& scratch, const std::vector<std::string>& arguments) {
        int input[2], output[2];
        if (pipe(input) != 0 || pipe(output) != 0) return;
        std::vector<std::string> words = {"/usr/bin/env", "XDG_DATA_HOME=" + scratch.file("data"),
                                          "XDG_CACHE_HOME=" + scratch.file("cache"), kPlayer};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_adddup2(&actions, output[1], 2);
        for (int fd : {input[0], input[1], output[0], output[1]}) posix_spawn_file_actions_addclose(&actions, fd);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        toPlayer_ = input[1];
        fromPlayer_ = output[0];
    }
    ~SteppedPlayer() { finish(); }

    // Reads until the output holds the text past what was read for the last call; false when
    // the player's output ended first.
    bool readUntil(const std::string& text) {
        for (;;) {
            const size_t found = output_.find(text, searchedTo_);
            if (found != std::string::npos) {
                searchedTo_ = found + text.size();
                return true;
            }
            if (!readMore()) return false;
        }
    }
    // Lets the waiting frame go.
    void go() { EXPECT_EQ(write(toPlayer_, "\n", 1), 1); }
    // Closes the player's input (later waits go on at once), reads the rest and waits.
    PlayerRun finish() {
        if (pid_ > 0) {
            close(toPlayer_);
            while (readMore()) {
            }
            close(fromPlayer_);
            int raw = 0;
            waitpid(pid_, &raw, 0);
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            pid_ = -1;
        }
        return {status_, output_};
    }

private:
    bool readMore() {
        char buffer[4096];
        const ssize_t length = read(fromPlayer_, buffer, sizeof buffer);
        if (length <= 0) return false;
        output_.append(buffer, static_cast<size_t>(length));
        return true;
    }

    pid_t pid_ = -1;
    int toPlayer_ = -1;
    int fromPlayer_ = -1;
    int status_ = -1;
    std::string output_;
    size_t searchedTo_ = 0;
};

constexpr const char* kWatchedGame = R"(<?xml version="1.0" encoding="UTF-8"?>
<game title="Watched" width="64" height="64" startScene="main">
  <scenes><scene name="main" file="scenes/main.xml"/><scene name="other" file="scenes/other.xml"/></scenes>
  <tables><table name="speeds" file="tables/speeds.xml"/></tables>
</game>
)";
constexpr const char* kWatchedScene = R"(<?xml version="1.0" encoding="UTF-8"?>
<scene background="0 0 0">
  <layer>
    <sprite name="box" image="box.png" x="16" y="32" width="16" height="16" behaviour="scripts/move.lua"/>
    <sound name="beep" sound="beep.wav" autoplay="true"/>
  </layer>
</scene>
)";
// speeds(1, 1) is how far the box moves each frame.
std::string speedsTable(int speed) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<table version="1" name="speeds" numRows="1" numCols="1" flags="0" tableType="0">
  <rows><row id="0" name="first"/></rows>
  <columns><column id="0" name="speed" type="2" readonly="0">)" + std::to_string(speed) + R"(</column></columns>
</table>
)";
}
constexpr const char* kMoveBehaviour = "local speed = readTable('speeds'):get(1, 1)\n"
                                       "function onUpdate() self:move(speed, 0) log('x', self.x) end\n";

// A project whose box (a red picture) moves right by one each frame, logging where it is.
std::string makeWatchedProject(const ScratchFolder& scratch) {
    const std::filesystem::path project = scratch.path() / "Watched.gameproj";
    for (const char* folder : {"scenes", "scripts", "tables", "images", "sounds"})
        std::filesystem::create_directories(project / folder);
    writeFile((project / "game.xml").string(), kWatchedGame);
    writeFile((project / "scenes/main.xml").string(), kWatchedScene);
    writeFile((project / "scenes/other.xml").string(),
              "<scene background=\"0 1 0\"><layer/></scene>\n");
    writeFile((project / "tables/speeds.xml").string(), speedsTable(1));
    writeFile((project / "scripts/move.lua").string(), kMoveBehaviour);
    writeSolidPNG((project / "images/box.png").string(), 255, 0, 0);
    writeSndfile((project / "sounds/beep.wav").string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050,
                 sineFrames(1, 22050, 2205));
    return project.string();
}

TEST(Headless, WatchReloadsWhatChangedBetweenTwoFramesAndKeepsTheRunningVersionOfABrokenChange) {
    // The box is at x 26 after frame 10 and 27 after frame 11 while the scene runs on; a
    // restarted scene starts it again at 16. The pixel at game (27, 32) is inside the box at
    // 26 and 27, and shows the background otherwise.
    std::string gameToOther = kWatchedGame;
    gameToOther.replace(gameToOther.find("startScene=\"main\""), 17, "startScene=\"other\"");
    using Change = std::function<void(const std::string& path)>;
    const auto text = [](std::string contents) -> Change {
        return [contents](const std::string& path) { writeFile(path, contents); };
    };
    const Change bluePicture = [](const std::string& path) { writeSolidPNG(path, 0, 0, 255); };
    const Change lowTone = [](const std::string& path) {
        writeSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sineFrames(1, 22050, 4410, 220));
    };
    std::string blueScene = kWatchedScene;
    blueScene.replace(blueScene.find("0 0 0"), 5, "0 0 1");
    const struct {
        const char* name;
        const char* file;
        Change change;
        const char* said;      // in the output once the change was taken
        const char* xAfter;    // the box's place logged after frame 11; null: no box
        int red, green, blue;  // the pixel after frame 11
        int status;
    } cases[] = {
        {"picture", "images/box.png", bluePicture, "reload: images/box.png replaced", "x 27", 0, 0, 255, 0},
        {"sound", "sounds/beep.wav", lowTone, "reload: sounds/beep.wav replaced", "x 27", 255, 0, 0, 0},
        {"behaviour", "scripts/move.lua", text("function onUpdate() self:move(-1, 0) log('x', self.x) end"),
         "reload: scene 'main' restarted (scripts/move.lua changed)", "x 15", 0, 0, 0, 0},
        {"table", "tables/speeds.xml", text(speedsTable(2)), "reload: scene 'main' restarted (tables/speeds.xml changed)",
         "x 18", 0, 0, 0, 0},
        {"scene", "scenes/main.xml", text(blueScene), "reload: scene 'main' restarted (scenes/main.xml changed)", "x 17",
         0, 0, 255, 0},
        {"game", "game.xml", text(gameToOther), "reload: game restarted (game.xml changed)", nullptr, 0, 255, 0, 0},
        {"bad picture", "images/box.png", text("not a picture"),
         "game: images/box.png: the picture cannot be loaded (", "x 27", 255, 0, 0, 1},
        {"bad sound", "sounds/beep.wav", text("not a sound"), "game: sounds/beep.wav: the sound cannot be loaded (", "x 27",
         255, 0, 0, 1},
        {"bad behaviour", "scripts/move.lua", text("function onUpdate( self:move(1, 0) end"),
         "game: behaviour scripts/move.lua:1: ", "x 27", 255, 0, 0, 1},
        {"bad scene", "scenes/main.xml", text("<scene>\n<layer>\n</scene>\n"),
         "game: scenes/main.xml:3: ", "x 27", 255, 0, 0, 1},
        {"bad game", "game.xml", text("<game title=\"Watched\""), "game: game.xml:1: ", "x 27", 255, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const std::string project = makeWatchedProject(scratch);
        writeFile(scratch.file("input.txt"), "10 screenshot " + scratch.file("before.png") + "\n11 wait\n");
        SteppedPlayer player(scratch, {"--headless", "--watch", "--frames", "11", "--input", scratch.file("input.txt"),
                                       "--screenshot", scratch.file("after.png"), project});
        ASSERT_TRUE(player.readUntil("frame 11 waits for a line on standard input")) << player.finish().output;
        c.change(project + "/" + c.file);
        player.go();
        const PlayerRun run = player.finish();
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
        const size_t said = run.output.find("waits for a line");
        EXPECT_NE(run.output.find("x 26\n"), std::string::npos) << run.output;
        if (c.xAfter) {
            EXPECT_NE(run.output.find(std::string(c.xAfter) + "\n", said), std::string::npos) << run.output;
        }
        EXPECT_EQ(run.output.find("the running version stays") != std::string::npos, c.status != 0) << run.output;
        const Picture before(scratch.file("before.png")), after(scratch.file("after.png"));
        EXPECT_EQ(before.red(27, 32), 255);
        EXPECT_EQ(before.blue(27, 32), 0);
        EXPECT_EQ(after.red(27, 32), c.red);
        EXPECT_EQ(after.green(27, 32), c.green);
        EXPECT_EQ(after.blue(27, 32), c.blue);
    }
}

// A change saved while a scene is pushed over the game restarts the game's scene, not the
// pushed one alone: the box (stopped at 20 under the green scene) starts again at 16.
TEST(Headless, WatchRestartsTheSceneUnderAPushedOne) {
    ScratchFolder scratch;
    const std::string project = makeWatchedProject(scratch);
    writeFile(project + "/scripts/move.lua", std::string(kMoveBehaviour) + "function onStart() after(0.05, function() pushScene('other') end) end\n");
    writeFile(scratch.file("input.txt"), "11 wait\n");
    SteppedPlayer player(scratch, {"--headless", "--watch", "--frames", "12", "--input", scratch.file("input.txt"),
                                   "--screenshot", scratch.file("after.png"), project});
    ASSERT_TRUE(player.readUntil("frame 11 waits for a line on standard input")) << player.finish().output;
    writeFile(project + "/scripts/move.lua", kMoveBehaviour);
    player.go();
    const PlayerRun run = player.finish();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("reload: scene 'main' restarted (scripts/move.lua changed)"), std::string::npos) << run.output;
    const size_t said = run.output.find("waits for a line");
    EXPECT_NE(run.output.find("x 17\n", said), std::string::npos) << run.output;
    EXPECT_EQ(Picture(scratch.file("after.png")).green(2, 2), 0) << "the pushed green scene is gone";
}

// game.state lasts from scene to scene but not past a restart of the game: counted up to 10
// before game.xml is saved again, it starts from nothing after.
TEST(Headless, WatchRestartingTheGameEmptiesGameState) {
    ScratchFolder scratch;
    const std::string project = makeWatchedProject(scratch);
    writeFile(project + "/scripts/move.lua", "function onUpdate() game.state.n = (game.state.n or 0) + 1 log('n', game.state.n) end\n");
    writeFile(scratch.file("input.txt"), "11 wait\n");
    SteppedPlayer player(scratch, {"--headless", "--watch", "--frames", "12", "--input", scratch.file("input.txt"), project});
    ASSERT_TRUE(player.readUntil("frame 11 waits for a line on standard input")) << player.finish().output;
    writeFile(project + "/game.xml", kWatchedGame);
    player.go();
    const PlayerRun run = player.finish();
    EXPECT_EQ(run.status, 0) << run.output;
    const size_t said = run.output.find("reload: game restarted (game.xml changed)");
    ASSERT_NE(said, std::string::npos) << run.output;
    EXPECT_NE(run.output.rfind("n 10\n", said), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("n 1\n", said), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("n 11\n", said), std::string::npos) << run.output;
}

TEST(Headless, WatchRefusesAZippedBundle) {
    ScratchFolder scratch;
    writeFile(scratch.file("Game.zip"), "PK");
    const PlayerRun run = runPlayer(scratch, "--headless --watch " + scratch.file("Game.zip"));
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("is a zipped bundle: play the project folder it was packed from"), std::string::npos)
        << run.output;
}

// A project of two scenes for shared code and messages: scene "one" has actors a and b and a
// scene behaviour (the director); scene "two" has only its own. Each case writes the scripts.
std::string makeSharingProject(const ScratchFolder& scratch, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::filesystem::path project = scratch.path() / "Sharing.gameproj";
    for (const char* folder : {"scenes", "scripts"}) std::filesystem::create_directories(project / folder);
    writeFile((project / "game.xml").string(),
              "<game title=\"Sharing\" width=\"64\" height=\"64\" startScene=\"one\"><scenes>"
              "<scene name=\"one\" file=\"scenes/one.xml\"/><scene name=\"two\" file=\"scenes/two.xml\"/></scenes></game>\n");
    writeFile((project / "scenes/one.xml").string(),
              "<scene behaviour=\"scripts/director.lua\"><layer>\n"
              "<sprite name=\"a\" width=\"4\" height=\"4\" behaviour=\"scripts/a.lua\"/>\n"
              "<sprite name=\"b\" width=\"4\" height=\"4\" behaviour=\"scripts/b.lua\"/>\n</layer></scene>\n");
    writeFile((project / "scenes/two.xml").string(), "<scene behaviour=\"scripts/two.lua\"><layer/></scene>\n");
    for (const char* script : {"director", "a", "b", "two"}) writeFile((project / "scripts" / script).string() + ".lua", "");
    for (const auto& [file, text] : files) {
        std::filesystem::create_directories((project / file).parent_path());
        writeFile((project / file).string(), text);
    }
    return project.string();
}

// require runs a module of scripts/ once per scene and reports what goes wrong with both
// files; send and broadcast reach onMessage at once and in order, past failing handlers; and
// game.state outlives the scene.
TEST(Headless, BehavioursShareModulesStateAndMessages) {
    constexpr const char* kCounter = "log('count loaded') local M = {n = 0}\n"
                                     "function M.bump() M.n = M.n + 1 return M.n end\nreturn M\n";
    // Receivers note each message in game.state.seen, which the director logs in the end.
    constexpr const char* kReceiver = "function onMessage(...) game.state.seen = (game.state.seen or '') .. "
                                      "table.concat({NAME, ...}, ':') .. ' '\n"
                                      "  if ... == 'boom' and NAME == 'a' then error('a fails') end end\n";
    const auto receiver = [&](const char* name) { return "NAME = '" + std::string(name) + "'\n" + kReceiver; };
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::pair<std::string, int>> counts;  // each text is in the output that many times
        int status;
    } cases[] = {
        {"once per scene, shared, and state across scenes",
         {{"scripts/lib/count.lua", kCounter},
          {"scripts/a.lua", "log('a', require('lib.count').bump())"},
          {"scripts/b.lua", "local count = require 'lib.count'\nlog('b', count.bump())"},
          {"scripts/director.lua", "game.state.score = 7\nfunction onStart() changeScene('two') end"},
          {"scripts/two.lua", "log('two', game.state.score, require('lib.count').n)"}},
         {{"a 1\n", 1}, {"b 2\n", 1}, {"count loaded\n", 2}, {"two 7 0\n", 1}},
         0},
        {"module errors name both files",
         {{"scripts/broken.lua", "local x =\n= 1\n"},
          {"scripts/failing.lua", "local x = 1\nerror('failing at load')\n"},
          {"scripts/a.lua", "\nrequire 'broken'"},
          {"scripts/b.lua", "require 'missing'"},
          {"scripts/director.lua", "function onStart()\n  require 'failing'\nend"}},
         {{"game: behaviour scripts/a.lua:2: require \"broken\": scripts/broken.lua:2: unexpected symbol near '='", 1},
          {"game: behaviour scripts/b.lua:1: require \"missing\": scripts/missing.lua not found; create it or fix the name", 1},
          {"game: behaviour scripts/director.lua:2: require \"failing\": scripts/failing.lua:2: failing at load", 1}},
         1},
        {"bytecode is refused",
         {{"scripts/lib/count.lua", readFile(kProbeEngine)},
          {"scripts/a.lua", "require 'lib.count'"},
          {"scripts/b.lua", readFile(kProbeEngine)}},
         {{"game: behaviour scripts/a.lua:1: require \"lib.count\": scripts/lib/count.lua: compiled Lua (bytecode) is not "
           "run; give the source text of the file", 1},
          {"game: behaviour scripts/b.lua: compiled Lua (bytecode) is not run", 1},
          {"probe:", 0}},
         1},
        {"bad names are refused",
         {{"scripts/a.lua", "for _, name in ipairs({'../x', '/etc/passwd', 'a..b', 'a b', '.x', 'x.', 'x.lua', 42}) do\n"
                            "  log('refused', select(2, pcall(require, name)))\nend\n"
                            "log('set', select(2, pcall(function() game.state = {} end)))"}},
         {{"refused require: '../x' is not a module name: use letters", 1},
          {"' is not a module name", 6},  // and '/etc/passwd', 'a..b', 'a b', '.x', 'x.'
          {"refused require: write require \"x\" for scripts/x.lua", 1},
          {"refused require: the module name must be a string, got number", 1},
          {"set scripts/a.lua:4: game.state cannot be set; keep values in the fields of game.state", 1}},
         0},
        {"a cycle is reported",
         {{"scripts/cyc/one.lua", "local two = require 'cyc.two' return two"},
          {"scripts/cyc/two.lua", "local one = require 'cyc.one' return one"},
          {"scripts/a.lua", "require 'cyc.one'"}},
         {{"game: behaviour scripts/a.lua:1: require \"cyc.one\": scripts/cyc/one.lua:1: require \"cyc.two\": "
           "scripts/cyc/two.lua:1: require \"cyc.one\": the modules require each other in a cycle "
           "(cyc.one -> cyc.two -> cyc.one)", 1}},
         1},
        {"send and broadcast, in order, past a failing handler",
         {{"scripts/a.lua", receiver("a")},
          {"scripts/b.lua", receiver("b")},
          {"scripts/director.lua", receiver("director") + "function onStart()\n  send('a', 'hello', 1, 2)\n"
                                   "  broadcast('boom', 3)\n  send(actor('b'), 'direct')\n  send(self, 'me')\n"
                                   "  log('seen', game.state.seen)\nend"}},
         {{"seen a:hello:1:2 a:boom:3 b:boom:3 director:boom:3 b:direct director:me \n", 1},
          {"game: behaviour scripts/a.lua:3: a fails", 1}},
         1},
        {"a send to an actor that is not there is reported",
         {{"scripts/b.lua", "function onStart() local a = actor('a') a:destroy() send(a, 'late') end"},
          {"scripts/director.lua", "function onStart()\n  send('nobody', 'x')\nend"}},
         {{"game: behaviour scripts/b.lua:1: send: the actor 'a' is no longer in the scene", 1},
          {"game: behaviour scripts/director.lua:2: send: no actor named 'nobody' in scenes/one.xml", 1}},
         1},
        {"endless answers are stopped and the game goes on",
         {{"scripts/a.lua", "function onMessage(_, n) send('b', 'ping', n + 1) end"},
          {"scripts/b.lua", "function onMessage(_, n) if n > 60 then log('too deep') end send('a', 'ping', n + 1) end\n"
                            "function onUpdate() log('b plays on') end"},
          {"scripts/director.lua", "function onStart() send('a', 'ping', 1) end"}},
         {{"send: messages nested more than 32 deep", 1}, {"too deep", 0}, {"b plays on\n", 3}},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const PlayerRun run = runPlayer(scratch, "--headless --frames 3 " + makeSharingProject(scratch, c.files));
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const auto& [text, count] : c.counts) EXPECT_EQ(countOf(run.output, text), count) << text << "\n" << run.output;
    }
}

// Gamepad lines of a timeline reach behaviours through the real engine script: a pad is
// plugged in by its first line, presses and axes arrive in order with the pad's number, the
// dead zone reads as 0, removing a pad releases what it held, the text panel does not take
// pad events; misused functions and lines are reported.
TEST(Headless, GamepadLinesReachBehavioursAndMisuseIsReported) {
    constexpr const char* kLogger = R"(
function onGamepadAdded(pad, name) log('added', pad, name) end
function onGamepadRemoved(pad) log('removed', pad, gamepadConnected(pad), table.concat(gamepads(), ',')) end
function onGamepadDown(button, pad) log('down', button, pad, isGamepadDown(button), isGamepadDown(button, 3)) end
function onGamepadUp(button, pad) log('up', button, pad, isGamepadDown(button)) end
function onUpdate() log('axes', gamepadAxis('leftx'), gamepadAxis('lefttrigger', 2), gamepadAxis('leftx', 2)) end
)";
    constexpr const char* kMisuse = R"(local function try(f) log('refused', select(2, pcall(f))) end
try(function() local _ = isGamepadDown('A') end)
try(function() local _ = gamepadAxis('leftX') end)
try(function() local _ = gamepadAxis('leftx', 9) end)
try(function() local _ = gamepadName() end)
log('fine', gamepadAxis('triggerright'), gamepadConnected(), gamepadName(1), #gamepads())
function ongamepaddown() end
function onStart()
  isGamepadDown(42)
end
)";
    const struct {
        const char* name;
        const char* director;  // scripts/director.lua
        const char* timeline;
        std::vector<std::pair<std::string, int>> counts;  // each text is in the output that many times
        int status;
    } cases[] = {
        {"presses, axes and pads in order", kLogger,
         "2 gamepadDown a\n2 gamepadAxis leftx 0.5\n3 gamepadDown start 2\n3 gamepadAxis triggerleft 1 2\n"
         "4 gamepadUp a\n4 gamepadAxis leftx 0.05\n5 gamepadRemoved 2\n6 gamepadRemoved 2\n6 gamepadAdded 1\n",
         {{"axes 0 0 0\nadded 1 Timeline pad 1\ndown a 1 true false\naxes 0.5 0 0\nadded 2 Timeline pad 2\n"
           "down start 2 true false\naxes 0.5 1 0\nup a 1 false\naxes 0 1 0\nup start 2 false\nremoved 2 false 1\n"
           "axes 0 0 0\n", 1},
          {"axes ", 6},
          {"frame 6: gamepadRemoved 2 ignored: pad 2 is not plugged in", 1},
          {"frame 6: gamepadAdded 1 ignored: pad 1 is plugged in already", 1}},
         0},
        {"misuse is reported at the behaviour's line", kMisuse, "",
         {{"refused scripts/director.lua:2: isGamepadDown: unknown gamepad button 'A'; the buttons are a, b, x, y, "
           "back, guide, start, leftstick", 1},
          {"refused scripts/director.lua:3: gamepadAxis: unknown gamepad axis 'leftX'; the axes are leftx, lefty, "
           "rightx, righty, lefttrigger, righttrigger\n", 1},
          {"refused scripts/director.lua:4: gamepadAxis: the pad must be a whole number from 1 to 8, got 9\n", 1},
          {"refused scripts/director.lua:5: gamepadName: the pad must be a whole number from 1 to 8, got nil\n", 1},
          {"fine 0 false nil 0\n", 1},
          {"game: behaviour scripts/director.lua:7: unknown callback 'ongamepaddown'; did you mean 'onGamepadDown'?", 1},
          {"game: behaviour scripts/director.lua:9: isGamepadDown: unknown gamepad button '42'", 1}},
         1},
        {"pads still reach the game under the text panel",
         "function onStart() askText('Name?', '') end\n"
         "function onTextEntered(text) log('entered', text, isGamepadDown('a'), gamepadConnected(2)) end\n",
         "2 gamepadDown a\n2 gamepadAdded 2\n3 text Bob\n", {{"entered Bob true true\n", 1}}, 0},
        {"a bad line is refused, naming it", kLogger, "1 gamepadDown a\n2 gamepadAxis leftx 2\n",
         {{"line 2: the gamepad axis \"leftx\" takes a position from -1 to 1: 2 gamepadAxis leftx 2", 1}, {"axes", 0}},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), c.timeline);
        const PlayerRun run = runPlayer(scratch, "--headless --frames 6 --input " + scratch.file("input.txt") + " " +
                                                     makeSharingProject(scratch, {{"scripts/director.lua", c.director}}));
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const auto& [text, count] : c.counts) EXPECT_EQ(countOf(run.output, text), count) << text << "\n" << run.output;
    }
}

// A project of two scenes for sprite animation, both with the tour's 4 × 2 sheet hopper.png:
// "frames" animates sprites that a watching behaviour logs, "bad" misuses the format and the
// methods. The game starts at startScene.
std::string makeAnimationProject(const ScratchFolder& scratch, const std::string& startScene) {
    const std::filesystem::path project = scratch.path() / "Animation.gameproj";
    for (const char* folder : {"scenes", "scripts", "images"}) std::filesystem::create_directories(project / folder);
    std::filesystem::copy_file(std::string(QZ_SOURCE_DIR) + "/games/Tour.gameproj/images/hopper.png",
                               project / "images/hopper.png");
    writeFile((project / "game.xml").string(),
              "<game title=\"Animation\" width=\"64\" height=\"64\" startScene=\"" + startScene + "\"><scenes>"
              "<scene name=\"frames\" file=\"scenes/frames.xml\"/><scene name=\"bad\" file=\"scenes/bad.xml\"/></scenes></game>\n");
    const std::string grid = "columns=\"4\" rows=\"2\" fps=\"10\" ";
    writeFile((project / "scenes/frames.xml").string(),
              "<scene><layer>\n"
              "<sprite name=\"loop\" image=\"hopper.png\" behaviour=\"scripts/watch.lua\"><animation name=\"l\" " + grid + "last=\"3\"/></sprite>\n"
              "<sprite name=\"ping\" image=\"hopper.png\" behaviour=\"scripts/watch.lua\"><animation name=\"p\" " + grid + "last=\"3\" mode=\"pingpong\"/></sprite>\n"
              "<sprite name=\"once\" image=\"hopper.png\" behaviour=\"scripts/watch.lua\"><animation name=\"o\" " + grid + "last=\"3\" mode=\"once\"/></sprite>\n"
              "<sprite name=\"pictures\" behaviour=\"scripts/watch.lua\"><animation name=\"i\" images=\"hopper.png hopper.png\" fps=\"10\"/></sprite>\n"
              "<sprite name=\"switcher\" image=\"hopper.png\" animation=\"a\" behaviour=\"scripts/switcher.lua\">\n"
              "  <animation name=\"b\" " + grid + "first=\"5\" last=\"8\"/><animation name=\"a\" " + grid + "first=\"1\" last=\"2\"/></sprite>\n"
              "</layer></scene>\n");
    // Each watched sprite logs its frame numbers, one a scene update, and when it ends.
    writeFile((project / "scripts/watch.lua").string(),
              "local updates, seen = 0, ''\n"
              "function onUpdate()\n  updates = updates + 1\n  local _, frame = self:animation()\n  seen = seen .. frame\n"
              "  if updates == 48 then log(self.name, seen) end\nend\n"
              "function onAnimationEnd(name) log(self.name, 'ended', name, 'at update', updates, self:isAnimating()) end\n");
    // The switcher notes each change of animation, frame or state, and pauses, resumes, plays and stops.
    writeFile((project / "scripts/switcher.lua").string(),
              "local updates, last, seen = 0, nil, {}\n"
              "local actions = {[10] = 'pauseAnimation', [20] = 'resumeAnimation', [25] = 'b', [31] = 'b', [40] = 'stopAnimation', [50] = 'a'}\n"
              "function onUpdate()\n  updates = updates + 1\n  local name, frame = self:animation()\n"
              "  local now = name .. frame .. (self:isAnimating() and '' or '-')\n"
              "  if now ~= last then seen[#seen + 1] = updates .. ':' .. now last = now end\n"
              "  local action = actions[updates]\n"
              "  if action and #action == 1 then self:playAnimation(action) elseif action then self[action](self) end\n"
              "  if updates == 60 then log('switcher', table.concat(seen, ' ')) end\nend\n");
    const std::string sheet = "image=\"hopper.png\"";
    writeFile((project / "scenes/bad.xml").string(),
              "<scene><layer>\n"
              "<sprite name=\"s1\" " + sheet + "><animation columns=\"4\"/></sprite>\n"
              "<sprite name=\"s2\"><animation name=\"nosheet\" columns=\"2\"/></sprite>\n"
              "<sprite name=\"s3\" " + sheet + "><animation name=\"zero\" columns=\"0\" rows=\"2\"/></sprite>\n"
              "<sprite name=\"s4\" " + sheet + "><animation name=\"range\" columns=\"4\" rows=\"2\" first=\"9\"/></sprite>\n"
              "<sprite name=\"s5\"><animation name=\"lost\" image=\"missing.png\"/></sprite>\n"
              "<sprite name=\"s6\" " + sheet + "><animation name=\"thirds\" columns=\"3\"/></sprite>\n"
              "<sprite name=\"s7\" " + sheet + " animation=\"nope\">\n"
              "  <animation name=\"twice\"/><animation name=\"twice\"/><animation name=\"still\" fps=\"0\"/>\n"
              "  <animation name=\"odd\" mode=\"bounce\" speed=\"3\"/></sprite>\n"
              "<sprite name=\"hero\" " + sheet + " behaviour=\"scripts/misuse.lua\"><animation name=\"walk\"/><animation name=\"idle\"/></sprite>\n"
              "<text name=\"label\" text=\"x\"/>\n"
              "</layer></scene>\n");
    writeFile((project / "scripts/misuse.lua").string(),
              "function onStart()\n"
              "  log('m1', select(2, pcall(function() self:playAnimation('jmp') end)))\n"
              "  log('m2', select(2, pcall(function() self.playAnimation('walk') end)))\n"
              "  log('m3', select(2, pcall(function() actor('label'):playAnimation('walk') end)))\n"
              "  log('m4', select(2, pcall(function() self:playAnimation(3) end)))\n"
              "  log('m5', select(2, pcall(function() actor('hero'):playAnimation('run') end)))\n"
              "end\n");
    return project.string();
}

// Sprite animations played by the real engine script: frames in order at their rate for
// loop, ping-pong and once (onAnimationEnd once, after the last frame's time), pictures of a
// list, switching, pausing and stopping; a paused game holds every animation where it was.
TEST(Headless, SpriteAnimationsFollowTheScenesClock) {
    const std::vector<std::string> lines = {
        "loop 111111222222333333111111222222333333111111222222\n",
        "ping 111111222222333333222222111111222222333333222222\n",
        "once 111111222222333333333333333333333333333333333333\n",
        "pictures 111111222222111111222222111111222222111111222222\n",
        "switcher 1:a1 7:a2 11:a2- 21:a2 23:a1 26:b1 31:b2 37:b3 41:b1- 51:a1 56:a2\n",
        "once ended o at update 18 false\n"};
    for (const char* timeline : {"", "20 pause\n80 play\n"}) {
        SCOPED_TRACE(timeline);
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), timeline);
        const PlayerRun run = runPlayer(scratch, "--headless --frames 130 --input " + scratch.file("input.txt") + " " +
                                                     makeAnimationProject(scratch, "frames"));
        EXPECT_EQ(run.status, 0) << run.output;
        for (const std::string& line : lines) EXPECT_EQ(countOf(run.output, line), 1) << line << "\n" << run.output;
        EXPECT_EQ(countOf(run.output, "ended"), 1) << run.output;
    }
}

// Mistakes in <animation> elements and in playAnimation calls: reported while playing (file
// and line, the game going on) and by --check, each once, with the same words.
TEST(Headless, AnimationMistakesAreReportedWhilePlayingAndByCheck) {
    const std::string at = "game: scenes/bad.xml:";
    const std::vector<std::string> documentProblems = {
        at + "2: <animation> needs a name: add name=\"...\" for playAnimation to use",
        at + "3: animation 'nosheet': no picture to cut: give image=\"FILE\" here or on the <sprite>",
        at + "4: animation 'zero': columns=\"0\" rows=\"2\": a sheet is cut into whole numbers of columns and rows from 1",
        at + "5: animation 'range': first=\"9\" last=\"8\": cells are numbered 1 to 8 (row by row from the top left)",
        at + "6: animation 'lost': image 'missing.png' not found in images/",
        at + "7: animation 'thirds': picture 'hopper.png' is 128 x 64 pixels, which 3 columns and 1 rows do not cut",
        at + "8: animation=\"nope\": actor 's7' has no animation named 'nope' (it has odd, still, twice)",
        at + "9: animation 'twice': the sprite already has an animation of that name; rename one",
        at + "9: animation 'still': fps=\"0\": the frames per second must be above 0; 10 is used",
        at + "10: <animation mode=\"bounce\">: expected one of loop, once, pingpong",
        at + "10: unknown attribute 'speed' of <animation>; ignored"};
    ScratchFolder scratch;
    const std::string project = makeAnimationProject(scratch, "bad");
    const PlayerRun run = runPlayer(scratch, "--headless --frames 3 " + project);
    EXPECT_EQ(run.status, 1) << run.output;
    for (const std::string& line : documentProblems) EXPECT_EQ(countOf(run.output, line), 1) << line << "\n" << run.output;
    for (const char* line : {"m1 scripts/misuse.lua:2: playAnimation: actor 'hero' has no animation named 'jmp' (it has idle, walk)\n",
                             "m2 scripts/misuse.lua:3: call playAnimation with a colon: actor:playAnimation(...)\n",
                             "m3 scripts/misuse.lua:4: playAnimation: actor 'label' has no animations; add <animation> elements to its <sprite>\n",
                             "m4 scripts/misuse.lua:5: playAnimation: the animation name must be a string, got number\n",
                             "m5 scripts/misuse.lua:6: playAnimation: actor 'hero' has no animation named 'run' (it has idle, walk)\n"})
        EXPECT_EQ(countOf(run.output, line), 1) << line << "\n" << run.output;

    const PlayerRun check = runPlayer(scratch, "--check " + project);
    EXPECT_EQ(check.status, 1) << check.output;
    std::vector<std::string> checkProblems = documentProblems;
    checkProblems.push_back("game: behaviour scripts/misuse.lua:2: playAnimation: actor 'hero' has no animation named 'jmp' (it has idle, walk)\n");
    checkProblems.push_back("game: behaviour scripts/misuse.lua:4: playAnimation: actor 'label' has no animations; add <animation> elements to its <sprite>\n");
    checkProblems.push_back("game: behaviour scripts/misuse.lua:6: playAnimation: actor 'hero' has no animation named 'run' (it has idle, walk)\n");
    for (const std::string& line : checkProblems) EXPECT_EQ(countOf(check.output, line), 1) << line << "\n" << check.output;
    EXPECT_EQ(countOf(check.output, "game: "), static_cast<int>(checkProblems.size())) << check.output;
}

// The frames drawn are the cells of the sprite's own picture, read row by row from the top
// left (the tour's quadrants.png: blue, yellow, red, green), and setImage changes the sheet.
TEST(Headless, AnimationFramesShowTheCellsOfTheSpritesPicture) {
    ScratchFolder scratch;
    const std::filesystem::path project = scratch.path() / "Cells.gameproj";
    for (const char* folder : {"scenes", "scripts", "images"}) std::filesystem::create_directories(project / folder);
    std::filesystem::copy_file(std::string(QZ_SOURCE_DIR) + "/games/Tour.gameproj/images/quadrants.png",
                               project / "images/quadrants.png");
    writeSolidPNG((project / "images/magenta.png").string(), 255, 0, 255);
    writeFile((project / "game.xml").string(), "<game width=\"64\" height=\"64\"><scenes><scene name=\"cells\" "
                                               "file=\"scenes/cells.xml\"/></scenes></game>\n");
    writeFile((project / "scenes/cells.xml").string(),
              "<scene><layer><sprite image=\"quadrants.png\" x=\"32\" y=\"32\" width=\"64\" height=\"64\" "
              "behaviour=\"scripts/swap.lua\"><animation name=\"q\" columns=\"2\" rows=\"2\" fps=\"10\" mode=\"once\"/>"
              "</sprite></layer></scene>\n");
    writeFile((project / "scripts/swap.lua").string(),
              "local updates = 0\nfunction onUpdate()\n  updates = updates + 1\n"
              "  if updates == 30 then self:setImage('magenta.png') end\nend\n");
    const struct {
        int frame;
        const char* colour;
        int red, green, blue;
    } shots[] = {{3, "blue", 0, 0, 1}, {9, "yellow", 1, 1, 0}, {15, "red", 1, 0, 0}, {21, "green", 0, 1, 0},
                 {40, "magenta", 1, 0, 1}};
    std::string timeline;
    for (const auto& shot : shots) timeline += std::to_string(shot.frame) + " screenshot " + scratch.file(shot.colour) + ".png\n";
    writeFile(scratch.file("input.txt"), timeline);
    const PlayerRun run = runPlayer(scratch, "--headless --frames 41 --input " + scratch.file("input.txt") + " " + project.string());
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& shot : shots) {
        const Picture picture(scratch.file(shot.colour) + ".png");
        for (const auto& [x, y] : {std::pair{8, 8}, std::pair{56, 56}, std::pair{32, 32}}) {
            const int seen[] = {picture.red(x, y), picture.green(x, y), picture.blue(x, y)};
            const int wanted[] = {shot.red, shot.green, shot.blue};
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(seen[c] > 128, wanted[c] == 1) << shot.colour << " at " << x << "," << y << " channel " << c << ": "
                                                         << seen[c];
            }
        }
    }
}

// Labels of a scene document with markup, an outline and escaping, one set by a behaviour, and
// malformed markup (which shows as typed): drawn where they belong, the faults reported with
// file and line, and a template's fault found by --check alone.
TEST(Headless, LabelsDrawMarkupOutlinesAndTextAsTypedAndReportBadMarkupWhereItIsWritten) {
    ScratchFolder scratch;
    const std::filesystem::path project = scratch.path() / "Labels.gameproj";
    for (const char* folder : {"scenes", "scripts"}) std::filesystem::create_directories(project / folder);
    writeFile((project / "game.xml").string(), "<game title=\"Labels\" width=\"200\" height=\"120\" startScene=\"one\">"
                                               "<scenes><scene name=\"one\" file=\"scenes/one.xml\"/></scenes></game>\n");
    writeFile((project / "scenes/one.xml").string(),
              "<scene behaviour=\"scripts/a.lua\"><layer>\n"
              "<text name=\"runs\" x=\"100\" y=\"100\" size=\"20\" markup=\"true\"\n"
              "  text=\"[color=#ff0000]MMM[/color][color=#00ff00]MMM[/color]\"/>\n"
              "<text name=\"ring\" x=\"100\" y=\"70\" size=\"20\" text=\"OOO\" outline=\"0 0 1\" outlineWidth=\"3\"/>\n"
              "<text name=\"plain\" x=\"50\" y=\"35\" size=\"16\" text=\"&lt;b&gt;&amp;amp;[b]\"/>\n"
              "<text name=\"marked\" x=\"150\" y=\"35\" size=\"16\" markup=\"true\" text=\"&lt;b&gt;&amp;amp;[[b]\"/>\n"
              "<text name=\"bad\" x=\"100\" y=\"12\" size=\"16\" markup=\"true\" text=\"[b]open\"/>\n"
              "<text name=\"wide\" x=\"0\" y=\"0\" outline=\"1 1 1\" outlineWidth=\"40\" visible=\"false\"/>\n"
              "<text name=\"ghost\" template=\"true\" markup=\"true\" text=\"[x]\"/>\n"
              "</layer></scene>\n");
    writeFile((project / "scripts/a.lua").string(),
              "function onStart()\n  actor('wide'):setMarkup('[i]x')\n  log('kept', actor('runs'):getText())\nend\n");

    const PlayerRun run = runPlayer(scratch, "--headless --frames 3 --screenshot " + scratch.file("labels.png") + " " +
                                                 project.string());
    EXPECT_EQ(run.status, 1) << run.output;
    for (const auto& [says, count] : std::vector<std::pair<std::string, int>>{
             {"game: scenes/one.xml:7: actor 'bad': the markup is shown as typed: character 1: [b] is not closed; "
              "add [/b]\n", 1},
             {"game: scenes/one.xml:8: actor 'wide': outlineWidth 40 is outside 0 to 16; 16 is used\n", 1},
             {"game: scripts/a.lua:2: setMarkup: the markup is shown as typed: character 1: [i] is not closed", 1},
             {"kept [color=#ff0000]MMM[/color][color=#00ff00]MMM[/color]\n", 1},
             {"actor 'ghost'", 0}})
        EXPECT_EQ(countOf(run.output, says), count) << says << "\n" << run.output;

    const Picture picture(scratch.file("labels.png"));
    ASSERT_EQ(picture.width, 200);
    // Pixels of a colour between two rows (counted from the top) and columns.
    const auto count = [&](int top, int bottom, int left, int right, int r, int g, int b) {
        int found = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                found += std::abs(picture.red(x, y) - r) < 70 && std::abs(picture.green(x, y) - g) < 70 &&
                         std::abs(picture.blue(x, y) - b) < 70;
        return found;
    };
    EXPECT_GT(count(8, 32, 40, 100, 255, 0, 0), 40) << "the red run left of the centre";
    EXPECT_EQ(count(8, 32, 100, 200, 255, 0, 0), 0);
    EXPECT_GT(count(8, 32, 100, 160, 0, 255, 0), 40) << "the green run right of it";
    EXPECT_EQ(count(8, 32, 0, 100, 0, 255, 0), 0);
    EXPECT_GT(count(36, 64, 50, 150, 0, 0, 255), 60) << "the outline around the glyphs";
    EXPECT_GT(count(36, 64, 50, 150, 255, 255, 255), 30) << "the white glyphs inside it";
    EXPECT_EQ(count(0, 36, 0, 200, 0, 0, 255), 0) << "the outline stays near its label";
    EXPECT_GT(count(100, 120, 60, 140, 255, 255, 255), 20) << "malformed markup still shows";
    // The markup label with the same text as the plain one, 100 units to the right, looks the same.
    int white = 0, differ = 0;
    for (int y = 72; y < 98; ++y) {
        for (int x = 0; x < 100; ++x) {
            white += picture.red(x, y) > 128;
            differ += std::abs(picture.red(x, y) - picture.red(x + 100, y)) > 8;
        }
    }
    EXPECT_GT(white, 30);
    EXPECT_EQ(differ, 0);

    const PlayerRun check = runPlayer(scratch, "--check " + project.string());
    EXPECT_EQ(countOf(check.output, "scenes/one.xml:7: actor 'bad': the markup is shown as typed"), 1) << check.output;
    EXPECT_EQ(countOf(check.output, "scenes/one.xml:9: actor 'ghost': the markup is shown as typed: character 1: "
                                    "unknown tag [x]"), 1) << check.output;
}

// The mix a run recorded with --audio: 16-bit stereo after the WAV file's 44-byte header.
struct Recording {
    static constexpr int kRate = 44100;
    static constexpr int kFrame = kRate / 60;  // the audio of one game frame
    explicit Recording(const std::string& wav) {
        if (wav.size() > 44) samples.resize((wav.size() - 44) / 2);
        std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
    }
    // The level of a tone in one channel (0 left, 1 right) over game frames [from, to).
    double level(int channel, double hertz, int from, int to) const {
        const size_t begin = std::min(samples.size(), static_cast<size_t>(from) * kFrame * 2);
        const size_t end = std::min(samples.size(), static_cast<size_t>(to) * kFrame * 2);
        return toneLevel(std::vector<int16_t>(samples.begin() + begin, samples.begin() + end), channel, hertz, kRate);
    }
    std::vector<int16_t> samples;
};

// A project of one scene, "main", whose behaviour is scripts/main.lua; sounds/ holds tones
// of 300 Hz (low), 600 Hz (mid) and 1200 Hz (high), of one second (the long ones three).
std::string makeSoundProject(const ScratchFolder& scratch, const std::string& gameExtra, const std::string& sceneBody,
                             const std::string& behaviour) {
    const std::filesystem::path project = scratch.path() / "Sound.gameproj";
    for (const char* folder : {"scenes", "scripts", "sounds"}) std::filesystem::create_directories(project / folder);
    writeFile((project / "game.xml").string(),
              "<game title=\"Sound\" width=\"480\" height=\"320\" startScene=\"main\">\n"
              "<scenes><scene name=\"main\" file=\"scenes/main.xml\"/></scenes>\n" + gameExtra + "</game>\n");
    writeFile((project / "scenes/main.xml").string(), "<scene behaviour=\"scripts/main.lua\">\n" + sceneBody + "</scene>\n");
    writeFile((project / "scripts/main.lua").string(), behaviour);
    const struct {
        const char* file;
        double hertz, seconds;
    } tones[] = {{"low", 300, 1}, {"mid", 600, 1}, {"high", 1200, 1}, {"long-low", 300, 3}, {"long-high", 1200, 3}};
    for (const auto& tone : tones) {
        writeSndfile((project / "sounds" / tone.file).string() + ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1,
                     Recording::kRate, sineFrames(1, Recording::kRate, static_cast<long>(tone.seconds * Recording::kRate), tone.hertz));
    }
    writeFile((project / "sounds/junk.wav").string(), "not a sound");
    return project.string();
}

// Sounds without a position are the same in both ears, a layer's volume multiplies its
// sounds, and playlists of game.xml and scenes cross-fade, move on and fade out; each read
// from the recorded mix of the real engine script.
TEST(Headless, SoundsWithoutAPositionLayerVolumesAndPlaylists) {
    using Check = std::function<void(const Recording&)>;
    constexpr double kHeard = 1000;
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    const std::string counter = "local n = 0\nfunction onUpdate()\n  n = n + 1\n";
    const struct {
        const char* name;
        std::string game, scene, behaviour;
        int frames, status;
        std::vector<std::string> lines;
        Check check;
    } cases[] = {
        {"a sound without a position is the same in both ears; an emitter at the left edge is not",
         "",
         "<layer name=\"main\">\n<sound sound=\"low.wav\" positional=\"false\" x=\"0\" y=\"160\" loop=\"true\" autoplay=\"true\"/>\n"
         "<sound sound=\"high.wav\" x=\"0\" y=\"160\" loop=\"true\" autoplay=\"true\"/>\n</layer>\n",
         "function onStart() playSound('mid.wav') end\n", 30, 0, {},
         [&](const Recording& mix) {
             EXPECT_GT(mix.level(0, 300, 5, 25), kHeard);
             EXPECT_NEAR(ratio(mix.level(0, 300, 5, 25), mix.level(1, 300, 5, 25)), 1.0, 0.02);
             EXPECT_NEAR(ratio(mix.level(0, 600, 5, 25), mix.level(1, 600, 5, 25)), 1.0, 0.02);
             EXPECT_GT(ratio(mix.level(0, 1200, 5, 25), mix.level(1, 1200, 5, 25)), 2.0);
         }},
        {"a layer's volume multiplies its sounds, from the document and from a behaviour",
         "",
         "<layer name=\"full\"><sound sound=\"low.wav\" positional=\"false\" loop=\"true\" autoplay=\"true\"/></layer>\n"
         "<layer name=\"half\" volume=\"0.5\"><sound sound=\"high.wav\" positional=\"false\" loop=\"true\" autoplay=\"true\"/></layer>\n",
         counter + "  if n == 30 then setLayerVolume('half', 0.25) log('half at', layerVolume('half')) end\nend\n", 60, 0,
         {"half at 0.25\n"},
         [&](const Recording& mix) {
             EXPECT_NEAR(ratio(mix.level(0, 1200, 5, 25), mix.level(0, 300, 5, 25)), 0.5, 0.02);
             EXPECT_NEAR(ratio(mix.level(0, 1200, 40, 58), mix.level(0, 300, 40, 58)), 0.25, 0.02);
         }},
        {"a playlist of game.xml cross-fades into its next track and ends there",
         "<playlist name=\"tunes\" fade=\"0.4\" loop=\"false\" autoplay=\"true\">\n"
         "<track file=\"low.wav\"/><track file=\"high.wav\"/></playlist>\n",
         "<layer/>\n", counter + "  if n == 20 or n == 80 then log('track', musicTrack()) end\nend\n", 130, 0,
         {"track low.wav\n", "track high.wav\n"},
         [&](const Recording& mix) {
             // A frame counts a track while it is above the dither: the fade's ends included.
             constexpr double kAudible = 200;
             int lowOnly = 0, both = 0, highOnly = 0, silent = 0, lastBoth = 0, firstHighOnly = 1000;
             for (int f = 1; f < 130; ++f) {
                 const bool low = mix.level(0, 300, f, f + 1) > kAudible, high = mix.level(0, 1200, f, f + 1) > kAudible;
                 if (low && high) ++both, lastBoth = f;
                 else if (low) ++lowOnly;
                 else if (high) ++highOnly, firstHighOnly = std::min(firstHighOnly, f);
                 else ++silent;
             }
             // Each count within two frames: at the ends of the fade one track is nearly silent.
             EXPECT_NEAR(lowOnly, 36, 2);  // 0.6 s of the first track alone
             EXPECT_NEAR(both, 24, 2);     // the 0.4 s cross-fade
             EXPECT_NEAR(highOnly, 36, 2); // the rest of the second
             EXPECT_LT(lastBoth, firstHighOnly);
             EXPECT_GT(silent, 28) << "the playlist does not loop";
         }},
        {"a scene's playlist is played, moved on and faded out from a behaviour",
         "",
         "<playlist name=\"scenelist\" fade=\"0.25\"><track file=\"long-low.wav\"/><track file=\"long-high.wav\"/></playlist>\n<layer/>\n",
         counter + "  if n == 1 then playPlaylist('scenelist') elseif n == 20 then nextTrack()\n"
                   "  elseif n == 60 then stopMusic(0.5) end\nend\n",
         110, 0, {},
         [&](const Recording& mix) {
             EXPECT_GT(mix.level(0, 300, 5, 18), kHeard);
             EXPECT_LT(mix.level(0, 1200, 5, 18), kHeard);
             EXPECT_LT(mix.level(0, 300, 40, 58), kHeard);
             const double full = mix.level(0, 1200, 40, 58);
             EXPECT_GT(full, kHeard);
             EXPECT_GT(mix.level(0, 1200, 64, 70), 0.6 * full);
             EXPECT_LT(mix.level(0, 1200, 82, 88), 0.3 * full);
             EXPECT_LT(mix.level(0, 1200, 95, 110), 10.0) << "stopped after the fade-out";
         }},
        {"mistakes are reported where they are written and the game goes on",
         "<playlist name=\"broken\"><track file=\"missing.ogg\"/>\n<track/></playlist>\n<playlist fade=\"2\"/>\n"
         "<playlist name=\"negative\" fade=\"-1\"><track file=\"low.wav\"/></playlist>\n",
         "<layer name=\"main\" volume=\"-1\"/>\n",
         "function onStart()\n  for _, call in ipairs({function() playPlaylist('nope') end, function() setLayerVolume('nope', 1) end,\n"
         "    function() setLayerVolume('main', 0/0) end, function() stopMusic(-1) end, function() playPlaylist(7) end}) do\n"
         "    log('refused', select(2, pcall(call)))\n  end\n  playPlaylist('broken')\n  log('after broken', musicTrack())\nend\n",
         5, 1,
         {"game: game.xml:4: <track> without a file; add file=\"NAME\" naming a file of sounds/",
          "game: game.xml:5: <playlist> without a name; ignored",
          "game: game.xml:6: playlist 'negative': fade must be 0 or more, got -1; 0 is used",
          "game: scenes/main.xml:2: layer: volume must be 0 or more, got -1; 1 is used",
          "refused scripts/main.lua:2: playPlaylist: no playlist named 'nope' in scenes/main.xml or game.xml; add <playlist name=\"nope\">",
          "refused scripts/main.lua:2: no layer named 'nope' in scenes/main.xml; give a <layer> name=\"nope\"",
          "refused scripts/main.lua:3: setLayerVolume: the volume must be a number of 0 or more, got ",
          "refused scripts/main.lua:3: stopMusic: the seconds must be a number of 0 or more, got -1",
          "refused scripts/main.lua:3: playPlaylist: the playlist name must be a string, got number",
          "game: game.xml:3: music 'missing.ogg' not found in sounds/; check the file name",
          "after broken nil\n"},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const std::string project = makeSoundProject(scratch, c.game, c.scene, c.behaviour);
        const PlayerRun run = runPlayer(scratch, "--headless --frames " + std::to_string(c.frames) + " --audio " +
                                                     scratch.file("mix.wav") + " " + project);
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& line : c.lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        if (c.check) c.check(Recording(readFile(scratch.file("mix.wav"))));
    }
}

// The camera of the guarded project's scenes, run by the real engine script: following inside
// a dead zone and within bounds, layers drawn by their parallax (screenshots), clicks and mouse
// positions mapped through zoom and rotation to each layer's units, the documented pan (a
// followed hidden actor moved by a tween), and misuse reported at its line while the camera
// keeps what it had.
TEST(Headless, CamerasFollowDrawLayersByParallaxAndMapTheMouse) {
    const std::string faults = "behaviour scripts/cameraFaults.lua:";
    const std::string document = "scenes/cameraFaults.xml:";
    const struct {
        const char* scene;
        const char* timeline;
        int frames;
        int status;
        std::vector<std::string> lines;  // each in the output once
    } cases[] = {
        {"cameraFollow", "", 240, 0,
         {"update 5 runner 37.0 camera 32.0 32.0 zoom 1\n", "update 30 runner 62.0 camera 51.0 41.5 zoom 1\n",
          "update 150 runner 182.0 camera 168.0 68.0 zoom 1\n", "update 170 runner 202.0 camera 184.0 84.0 zoom 2\n",
          "update 200 runner gone camera 184.0 84.0 zoom 2\n", "update 204 runner gone camera 184.0 84.0 zoom 2\n",
          "update 205 runner gone camera -84.0 30.0 zoom 2\n", "update 210 runner gone camera -5.6 16.0 zoom 2\n",
          "update 240 runner gone camera -5.6 16.0 zoom 2\n"}},
        {"cameraView", "15 mousedown 32 12\n16 mousedown 56 56\n17 mousemove 32 32\n17 mousedown 32 32\n", 21, 0,
         {"b on screen 32.0 12.0 back 42.0 32.0 parallax 0 32.0 12.0\n",
          "click b 42.0 32.0\ndown 42.0 32.0 screen 32.0 12.0\n",
          "click button 54.0 56.0\nclick under 20.0 44.0\ndown 20.0 44.0 screen 56.0 56.0\n",
          "moved 32.0 32.0 screen 32.0 32.0\nclick a 32.0 32.0\n"}},
        {"cameraPan", "", 40, 0, {"panned 132.0 32.0\n", "back 10.0 32.0\n"}},
        {"cameraFaults", "", 14, 1,
         {document + "3: <camera zoom=\"0\">: expected a number above 0",
          document + "3: <camera deadzone=\"5\">: expected a width and a height of 0 or more",
          document + "3: <camera bounds=\"10 0 5 64\">: expected left bottom right top, with right above left",
          document + "3: unknown attribute 'tilt' of <camera>; ignored",
          document + "4: a scene has one <camera>; this one is ignored",
          document + "5: <layer parallax=\"-1\">: expected a number of 0 or more",
          document + "3: <camera follow=\"ghost\">: no actor named 'ghost' when the scene starts",
          faults + "5: camera:setZoom: the zoom must be a number above 0, got -1",
          faults + "6: call setZoom with a colon: camera:setZoom(...)",
          faults + "7: camera:follow: no actor named 'nobody' in scenes/cameraFaults.xml",
          faults + "8: camera:follow: give an actor, an actor's name or nil, got number",
          faults + "9: camera:setBounds: give left, bottom, right, top with right above left",
          faults + "10: camera:setPosition: x must be a number, got a",
          faults + "11: camera:screenToWorld: the parallax must be a number of 0 or more, got -1",
          faults + "12: camera:setDeadzone: the width must be a number of 0 or more, got -1",
          faults + "13: camera:follow: actor 'box' was destroyed",
          faults + "14: camera:setDeadzone: the height must be a number of 0 or more, got wide",
          faults + "15: camera.setZoom cannot be set; call the camera's methods", "camera kept 1 32 32\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        ScratchFolder scratch;
        writeFile(scratch.file("input.txt"), c.timeline + std::string("5 screenshot ") + scratch.file("moved.png") +
                                                 "\n20 screenshot " + scratch.file("turned.png") + "\n");
        const PlayerRun run = runPlayer(scratch, "--headless --frames " + std::to_string(c.frames) + " --input " +
                                                     scratch.file("input.txt") + " " + makeBundle(scratch, {}, c.scene));
        EXPECT_EQ(run.status, c.status) << run.output;
        for (const std::string& line : c.lines) EXPECT_EQ(countOf(run.output, line), 1) << line << "\n" << run.output;
        if (std::string(c.scene) != "cameraView") continue;
        // Moved sideways by 16: the world by 16, the half-parallax layer by 8, the HUD not at all.
        const Picture moved(scratch.file("moved.png"));
        ASSERT_EQ(moved.width, 64);
        const auto colour = [](const Picture& picture, int x, int y) {
            const int top = picture.height - 1 - y;
            return std::to_string(picture.red(x, top) / 128) + std::to_string(picture.green(x, top) / 128) +
                   std::to_string(picture.blue(x, top) / 128);
        };
        struct Pixel {
            int x, y;
            const char* rgb;
        };
        const Pixel movedPixels[] = {{16, 32, "100"}, {32, 32, "000"}, {26, 32, "010"}, {24, 56, "001"},
                                     {32, 56, "000"}, {56, 54, "011"}, {4, 44, "110"}};
        for (const auto& p : movedPixels) EXPECT_EQ(colour(moved, p.x, p.y), p.rgb) << p.x << "," << p.y;
        // Turned a quarter and zoomed twice: b, right of a in the world, shows below it, and the
        // actor under the HUD's button is drawn where the click found it.
        const Picture turned(scratch.file("turned.png"));
        const Pixel turnedPixels[] = {{26, 26, "100"}, {38, 38, "100"}, {32, 12, "010"}, {32, 52, "000"},
                                      {56, 52, "011"}, {56, 59, "110"}, {8, 8, "000"}};
        for (const auto& p : turnedPixels) EXPECT_EQ(colour(turned, p.x, p.y), p.rgb) << p.x << "," << p.y;
    }
}

}  // namespace
