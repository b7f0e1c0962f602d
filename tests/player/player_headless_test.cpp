// End-to-end tests of headless play: repeatable screenshots, input timelines, text entry,
// exit statuses and the lifecycle calls the engine script receives.
#include <signal.h>
#include <sys/resource.h>
#include <sndfile.h>

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

}  // namespace
