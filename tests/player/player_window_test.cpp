// Window tests under Xvfb: size and title, key names from real key presses, clicks in game
// coordinates and under a camera, full-screen letterbox and crop, the costs overlay and problem
// notes, and closing the window. Every wait is bounded.
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "player_fixture.h"
#include "test_movies.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

const std::string kXclose = std::string(QZ_BINARY_DIR) + "/tests/player/xclose";

std::string command(const std::string& line) {
    std::string output;
    FILE* pipe = popen(line.c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pipe) pclose(pipe);
    return output;
}

// An X server of its own (1920 × 1200), on a display number Xvfb picks.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
                              nullptr};
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // The server writes its display number and a line end once it is ready.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (waitForExit(pid_, 5s) < 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(xvfb_.display().empty()) << "Xvfb did not start"; }
    void TearDown() override {
        if (pid_ > 0 && waitForExit(pid_, 1ms) < 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }

    void launch(const ProbeBundle& probe, const std::string& extra = "") {
        std::vector<std::string> arguments = {kPlayer};
        if (!extra.empty()) arguments.insert(arguments.end(), {"--screenshot", extra});
        arguments.push_back(makeBundle(scratch_, probe));
        start(arguments);
        ASSERT_TRUE(waitForOutput("probe: play")) << output();
        ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
    }

    void start(const std::vector<std::string>& arguments) {
        setenv("DISPLAY", xvfb_.display().c_str(), 1);
        setenv("XDG_DATA_HOME", scratch_.file("data").c_str(), 1);
        // Under the sanitizers, SDL2's D-Bus connection leaves blocks behind at exit whose
        // allocations cannot be traced to a library to suppress; the windowed player is
        // checked for everything but leaks (headless runs check the same engine for leaks).
        const char* asan = std::getenv("ASAN_OPTIONS");
        if (asan) setenv("ASAN_OPTIONS", (std::string(asan) + ":detect_leaks=0").c_str(), 1);
        pid_ = spawn(arguments, scratch_.file("window-output.txt"));
        ASSERT_GT(pid_, 0);
    }

    // Finds the player's window by its title. A search while windows come and go can fail
    // on a window that vanished under it, so it is repeated until it finds one.
    void findWindow(const std::string& title) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        for (;;) {
            window_ = command("xdotool search --limit 1 --name '^" + title + "$' 2>/dev/null");
            while (!window_.empty() && window_.back() == '\n') window_.pop_back();
            if (!window_.empty() || std::chrono::steady_clock::now() >= end) break;
            std::this_thread::sleep_for(100ms);
        }
        ASSERT_FALSE(window_.empty()) << "no window titled " << title << "\n" << output();
    }

    std::string output() const { return readFile(scratch_.file("window-output.txt")); }

    bool waitForOutput(const std::string& text, int count = 1) const {
        const auto end = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < end) {
            if (countOf(output(), text) >= count) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void xdotool(const std::string& arguments) { command("xdotool " + arguments + " 2>&1"); }

    // The colour (0xRRGGBB) of a pixel of the window, counted from its top left.
    unsigned long windowPixel(int x, int y) {
        Display* display = XOpenDisplay(xvfb_.display().c_str());
        if (!display) return 0xdeadbeef;
        unsigned long colour = 0xdeadbeef;
        if (XImage* image = XGetImage(display, std::stoul(window_), x, y, 1, 1, AllPlanes, ZPixmap)) {
            colour = XGetPixel(image, 0, 0) & 0xffffff;
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return colour;
    }

    // Whether the pixel is within 40 of the colour in each channel.
    bool pixelNear(int x, int y, unsigned long colour) {
        const unsigned long seen = windowPixel(x, y);
        bool near = true;
        for (int shift : {0, 8, 16}) near = near && std::abs(int((seen >> shift) & 255) - int((colour >> shift) & 255)) <= 40;
        return near;
    }

    // Whether the pixel comes within 40 of the colour in each channel before the timeout.
    bool waitForPixel(int x, int y, unsigned long colour) {
        const auto end = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < end) {
            if (pixelNear(x, y, colour)) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // What the window shows now, as the X server holds it: one 32-bit value per pixel.
    std::vector<unsigned long> windowPixels() const {
        std::vector<unsigned long> pixels;
        Display* display = XOpenDisplay(xvfb_.display().c_str());
        if (!display) return pixels;
        const Window window = std::strtoul(window_.c_str(), nullptr, 0);
        XWindowAttributes attributes{};
        XImage* image = XGetWindowAttributes(display, window, &attributes)
                            ? XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap)
                            : nullptr;
        if (image) {
            for (int y = 0; y < image->height; ++y)
                for (int x = 0; x < image->width; ++x) pixels.push_back(XGetPixel(image, x, y));
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return pixels;
    }

    int closeWindow() {
        command(kXclose + " " + window_);
        return waitForExit(pid_, 60s);
    }

    Xvfb xvfb_;
    ScratchFolder scratch_;
    pid_t pid_ = -1;
    std::string window_;
};

TEST_F(WindowTest, TheWindowTakesTheGamesSizeAndTitleAndClosingEndsCleanly) {
    launch({});
    EXPECT_NE(command("xdotool getwindowgeometry " + window_).find("Geometry: 240x160"), std::string::npos);
    EXPECT_EQ(closeWindow(), 0) << output();
    EXPECT_EQ(countOf(output(), "probe: shutdownEngine"), 1) << output();
    EXPECT_NE(output().find("probe: stop\nprobe: shutdownEngine"), std::string::npos) << output();
}

TEST_F(WindowTest, AScreenshotThatCannotBeWrittenGivesExitStatus2) {
    launch({}, scratch_.file("no-such-folder/shot.png"));
    EXPECT_EQ(closeWindow(), 2) << output();
    EXPECT_NE(output().find("quillane-player: screenshot: "), std::string::npos) << output();
}

// The sample game drew its first frame before the window had a size, which left an OpenGL
// error behind. Its title asks for the player's name on N: the name typed into the panel
// reaches the game, which keeps it and shows it; then space starts a game.
TEST_F(WindowTest, TheSampleGamePlaysInAWindowWithoutErrorsAndTakesTheTypedName) {
    start({kPlayer, std::string(QZ_BINARY_DIR) + "/games/Brickfall.app"});
    ASSERT_NO_FATAL_FAILURE(findWindow("Brickfall"));
    std::this_thread::sleep_for(1s);
    xdotool("key --window " + window_ + " n");
    std::this_thread::sleep_for(500ms);
    xdotool("type --window " + window_ + " --delay 30 Bob");
    xdotool("key --window " + window_ + " Return");
    EXPECT_TRUE(waitForOutput("player: Bob")) << output();
    xdotool("key --window " + window_ + " space");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(closeWindow(), 0) << output();
    EXPECT_EQ(output().find("Error"), std::string::npos) << output();
}

TEST_F(WindowTest, F11AndAltEnterToggleFullScreenAndSignalsQuitCleanly) {
    launch({});
    xdotool("key --window " + window_ + " F11");
    ASSERT_TRUE(waitForOutput("probe: screen 1920 1200")) << output();
    xdotool("key --window " + window_ + " alt+Return");
    ASSERT_TRUE(waitForOutput("probe: screen 240 160", 3)) << output();
    EXPECT_EQ(countOf(output(), "probe: keyDown return"), 0) << "Alt+Enter is the player's";
    EXPECT_EQ(readFile(scratch_.file("data") + "/Probe/player-fullscreen"), "0\n");
    kill(pid_, SIGINT);
    EXPECT_EQ(waitForExit(pid_, 60s), 128 + SIGINT) << output();
    EXPECT_EQ(countOf(output(), "probe: shutdownEngine"), 1) << output();
}

// The main thread stays responsive while a script is stuck in a loop, in a frame or while
// loading: the mouse moves, full screen comes and goes, and closing the window or a quit
// signal stops the script and shuts the game down. A stop stuck too ends on a second close.
TEST_F(WindowTest, ClosingTheWindowOrASignalEndsAScriptStuckInALoop) {
    const std::string stuckFrame = "function onUpdate() if frames == 5 then log('looping') while true do end end end\n";
    const std::string stuckStop = "function stop() log('stuck stop') while true do end end";
    const struct {
        std::string game;
        int signal;  // 0: the window is closed
        const char* keys;
    } cases[] = {{stuckFrame, 0, "F11 F11"}, {stuckFrame, SIGTERM, ""}, {"log('looping') while true do end", 0, ""},
                 {stuckFrame + stuckStop, 0, ""}};
    for (const auto& c : cases) {
        start({kPlayer, makeBundle(scratch_, {.game = c.game})});
        ASSERT_TRUE(waitForOutput("probe: looping")) << output();
        ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
        xdotool("mousemove --window " + window_ + " 10 10");
        xdotool("mousemove --window " + window_ + " 20 20");
        if (*c.keys) xdotool("key --delay 200 --window " + window_ + " " + c.keys);
        const auto start = std::chrono::steady_clock::now();
        if (c.signal) kill(pid_, c.signal);
        if (c.game.ends_with(stuckStop)) {
            command(kXclose + " " + window_);
            EXPECT_TRUE(waitForOutput("probe: stuck stop")) << output();
            EXPECT_EQ(waitForExit(pid_, 1s), -1) << "the first close lets the game's stop run\n" << output();
        }
        const int status = c.signal ? waitForExit(pid_, 60s) : closeWindow();
        if (status < 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        EXPECT_EQ(status, c.signal ? 128 + c.signal : 0) << c.game << "\n" << output();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << output();
        EXPECT_EQ(countOf(output(), "probe: shutdownEngine"), 1) << output();
    }
}

// A one-bit grey PNG of width × height zero pixels: a small file declaring many pixels.
std::string blackPng(uint32_t width, uint32_t height) {
    auto chunk = [](const char* kind, const std::string& data) {
        std::string bytes = {char(data.size() >> 24), char(data.size() >> 16), char(data.size() >> 8), char(data.size())};
        const std::string body = kind + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
        return bytes + body + std::string{char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    };
    const std::string header = {char(width >> 24), char(width >> 16), char(width >> 8), char(width),
                                char(height >> 24), char(height >> 16), char(height >> 8), char(height), 1, 0, 0, 0, 0};
    const std::string rows(static_cast<size_t>(height) * ((width + 7) / 8 + 1), '\0');
    std::string packed(compressBound(rows.size()), '\0');
    uLongf size = packed.size();
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()), rows.size());
    packed.resize(size);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

TEST_F(WindowTest, TheLoadingPictureSizesTheWindowWithinTheDisplayUntilItHasFaded) {
    const struct {
        uint32_t width, height;
        const char* introScreen;  // the screen size the game hears of first, or the refusal
    } cases[] = {{100, 80, "probe: screen 100 80"}, {3000, 1000, "probe: screen 1920 640"},
                 {16000, 16000, "is more than the 24000000 pixels"}};
    for (const auto& c : cases) {
        const std::string app = makeBundle(scratch_);
        writeFile(app + "/Contents/Resources/Default.png", blackPng(c.width, c.height));
        launch({});
        const std::string log = output();
        const size_t intro = log.find(c.introScreen), game = log.find("probe: screen 240 160");
        ASSERT_NE(intro, std::string::npos) << log;
        EXPECT_LT(intro, game) << log;
        EXPECT_LT(game, log.find("probe: play")) << log;
        EXPECT_EQ(closeWindow(), 0) << output();
    }
}

// The loudest sample of a float WAV file that OpenAL Soft's wave output wrote; -1 when the
// file holds no samples.
float loudestSample(const std::string& path) {
    const std::string wav = readFile(path);
    const size_t data = wav.find("data");
    if (data == std::string::npos || wav.size() < data + 8 + sizeof(float)) return -1;
    float loudest = 0;
    for (size_t at = data + 8; at + sizeof(float) <= wav.size(); at += sizeof(float)) {
        float sample = 0;
        std::memcpy(&sample, wav.data() + at, sizeof sample);
        loudest = std::max(loudest, std::abs(sample));
    }
    return loudest;
}

// The window's icon as the X server holds it: width, height, then one ARGB value a pixel.
std::vector<unsigned long> windowIcon(const std::string& displayName, const std::string& window) {
    std::vector<unsigned long> icon;
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return icon;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, std::strtoul(window.c_str(), nullptr, 0), XInternAtom(display, "_NET_WM_ICON", False),
                           0, 1 << 20, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success && data) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        icon.assign(values, values + count);
        XFree(data);
    }
    XCloseDisplay(display);
    return icon;
}

// The bundle's icon when its information dictionary names a picture the player can read,
// else the player's own (128 × 128, drawn on an opaque tile).
TEST_F(WindowTest, TheWindowShowsTheBundlesIconElseThePlayers) {
    const struct {
        const char* iconKey;  // the CFBundleIconFile entry, empty for none
        unsigned long width, height;
    } cases[] = {{"", 128, 128}, {"Icon", 30, 20}, {"Icon.icns", 30, 20}, {"Missing.icns", 128, 128},
                 {"../Resources/Icon.png", 128, 128}};
    for (const auto& c : cases) {
        writeFile(makeBundle(scratch_) + "/Contents/Resources/Icon.png", blackPng(30, 20));
        std::string plist = "<key>CFBundleName</key><string>Probe</string>";
        if (*c.iconKey) plist += std::string("<key>CFBundleIconFile</key><string>") + c.iconKey + "</string>";
        launch({plist, ""});
        const std::vector<unsigned long> icon = windowIcon(xvfb_.display(), window_);
        ASSERT_EQ(icon.size(), 2 + c.width * c.height) << c.iconKey;
        EXPECT_EQ(icon[0], c.width) << c.iconKey;
        EXPECT_EQ(icon[1], c.height) << c.iconKey;
        // The bundle's icon is opaque black; the player's has its golden quill in the middle.
        const unsigned long middle = icon[2 + c.height / 2 * c.width + c.width / 2] & 0xffffffff;
        if (c.width == 30) EXPECT_EQ(middle, 0xff000000) << c.iconKey;
        else EXPECT_GT(middle >> 16 & 0xff, 0x80u) << c.iconKey << ": " << std::hex << middle;
        EXPECT_EQ(countOf(output(), "the window shows the player's icon"), c.width == 128 && *c.iconKey ? 1 : 0)
            << c.iconKey << "\n" << output();
        EXPECT_EQ(closeWindow(), 0) << output();
    }
}

// Without a loading picture, the movie plays in the launch window at its shape (16:9 in
// 480 x 320: bars above and below) with its sound, and the game starts when it ends or a key
// ends it. A movie cut short (its index is at the end) is skipped with the reason.
TEST_F(WindowTest, TheIntroMovieShowsItsPicturesAndTheGameStartsAtItsEndOrOnAKey) {
    const struct {
        const char* what;
        int seconds;
        bool key;
        bool sound;
        bool cut;
    } cases[] = {{"played to its end", 2, false, false, false},
                 {"ended by a key", 120, true, false, false},
                 {"with sound", 2, false, true, false},
                 {"cut short", 2, false, false, true}};
    for (const auto& c : cases) {
        const std::string app = makeBundle(scratch_);
        std::string error;
        ASSERT_TRUE(writeTestMovie(app + "/Contents/Resources/intro-mac.mov",
                                   {.width = 160, .height = 90, .framesPerSecond = 10, .frames = c.seconds * 10, .sound = c.sound},
                                   &error))
            << error;
        if (c.cut) std::filesystem::resize_file(app + "/Contents/Resources/intro-mac.mov", 1000);
        // The sound goes to OpenAL Soft's wave output (float samples, the game itself is silent).
        const std::string wav = scratch_.file("intro.wav");
        writeFile(scratch_.file("alsoft.conf"), "[general]\nsample-type = float32\n[wave]\nfile = " + wav + "\n");
        setenv("ALSOFT_CONF", scratch_.file("alsoft.conf").c_str(), 1);
        setenv("ALSOFT_DRIVERS", c.sound ? "wave" : "null", 1);
        start({kPlayer, app});
        setenv("ALSOFT_DRIVERS", "null", 1);
        unsetenv("ALSOFT_CONF");
        ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
        if (c.cut) {
            EXPECT_TRUE(waitForOutput("probe: play")) << c.what << "\n" << output();
            EXPECT_NE(output().find("intro movie '" + app + "/Contents/Resources/intro-mac.mov' skipped: "), std::string::npos)
                << output();
            EXPECT_EQ(closeWindow(), 0) << c.what << "\n" << output();
            continue;
        }
        EXPECT_TRUE(waitForPixel(240, 160, 0x00ff00)) << c.what << ": the movie's green in the middle, not " << std::hex << windowPixel(240, 160) << "\n" << output();
        EXPECT_TRUE(waitForPixel(240, 8, 0x000000)) << c.what << ": a black bar above";
        EXPECT_EQ(countOf(output(), "probe: play"), 0) << c.what << ": the game waits for the movie";
        if (c.key) xdotool("key --window " + window_ + " space");
        EXPECT_TRUE(waitForOutput("probe: play")) << c.what << "\n" << output();
        EXPECT_EQ(closeWindow(), 0) << c.what << "\n" << output();
        if (c.sound) {
            EXPECT_GT(loudestSample(wav), 0.2f) << "the movie's tone (0.24 of full scale) is heard";
        }
    }
}

TEST_F(WindowTest, TypedTextReachesThePanelAndReturnAnswersOnce) {
    launch({.game = R"(
function onUpdate()
  if frames == 3 then callbacks.callExternalFunction("KeyboardInput", "Name?", "abc", false) end
end
function raiseExternalEvent(name, arguments) log("event", name, "[" .. arguments[1] .. "]") end
)"});
    ASSERT_TRUE(waitForOutput("probe: pause behavior")) << output();
    std::this_thread::sleep_for(300ms);
    const std::vector<unsigned long> before = windowPixels();
    xdotool("key --window " + window_ + " Right");
    xdotool("type --window " + window_ + " --delay 30 'x y'");
    std::this_thread::sleep_for(300ms);
    const std::vector<unsigned long> typed = windowPixels();
    ASSERT_FALSE(before.empty());
    EXPECT_NE(before, typed) << "the panel shows what was typed while the game is paused";
    // The window grown while paused shows the panel over the whole new size.
    xdotool("windowsize --sync " + window_ + " 300 200");
    std::this_thread::sleep_for(300ms);
    const std::vector<unsigned long> grown = windowPixels();
    ASSERT_EQ(grown.size(), 300u * 200u);
    EXPECT_EQ(grown[190 * 300 + 295], grown[20 * 300 + 5]) << "the part added by growing shows the dimmed game";
    xdotool("key --window " + window_ + " BackSpace Return");
    ASSERT_TRUE(waitForOutput("probe: event keyboardInputEntered")) << output();
    EXPECT_NE(output().find("probe: event keyboardInputEntered [abcx ]"), std::string::npos) << output();
    ASSERT_TRUE(waitForOutput("probe: play", 2)) << "the game goes on: " << output();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(countOf(output(), "probe: keyDown"), 0) << "the panel took the keys: " << output();
    EXPECT_EQ(countOf(output(), "probe: keyUp"), 0) << "no release without its press: " << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

// The probe's dark blue, and the same under the costs overlay's dark box.
constexpr unsigned long kProbeBlue = 0x000080, kProbeBlueUnderCosts = 0x00002d;

// F3 shows and hides the costs overlay, whether --stats showed it from the start or not; the
// game never hears of F3.
TEST_F(WindowTest, F3ShowsAndHidesTheCostsOverlay) {
    const struct {
        bool stats;
        std::vector<unsigned long> afterEachF3;  // the colour at the overlay's corner
    } cases[] = {{false, {kProbeBlueUnderCosts, kProbeBlue, kProbeBlueUnderCosts}},
                 {true, {kProbeBlue, kProbeBlueUnderCosts}}};
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {kPlayer, makeBundle(scratch_)};
        if (c.stats) arguments.insert(arguments.begin() + 1, "--stats");
        start(arguments);
        ASSERT_TRUE(waitForOutput("probe: play")) << output();
        ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
        EXPECT_TRUE(waitForPixel(5, 5, c.stats ? kProbeBlueUnderCosts : kProbeBlue)) << c.stats << std::hex << windowPixel(5, 5);
        for (unsigned long colour : c.afterEachF3) {
            xdotool("key --window " + window_ + " F3");
            EXPECT_TRUE(waitForPixel(5, 5, colour)) << c.stats << ": " << std::hex << windowPixel(5, 5);
        }
        xdotool("key --window " + window_ + " x");
        ASSERT_TRUE(waitForOutput("probe: keyUp x")) << output();
        EXPECT_EQ(countOf(output(), "probe: keyDown f3") + countOf(output(), "probe: keyUp f3"), 0) << output();
        EXPECT_EQ(closeWindow(), 0) << output();
    }
}

// Problems reported while playing show as a note at the bottom for a few seconds: script
// errors, and the game's problems the engine script reports. --quiet shows none.
TEST_F(WindowTest, ProblemsShowAsNotesAtTheBottomUnlessQuiet) {
    const std::string failing = "function onUpdate() if frames == 5 then error('shown at the bottom') end end";
    constexpr unsigned long kNoteRed = 0x701010;
    const struct {
        const char* what;
        ProbeBundle probe;
        const char* startScene;  // the real engine script on the guarded project, else the probe's
        bool quiet;
        const char* reported;
        int x, y;  // inside the note's box, left of its text, from the top left
    } cases[] = {
        {"a script error", {.game = failing}, "", false, "Lua Error caught", 8, 152},
        {"a problem the engine script reports", {}, "refused", false, "game: behaviour", 8, 55},
        {"a script error, quiet", {.game = failing}, "", true, "Lua Error caught", 8, 152},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {kPlayer, makeBundle(scratch_, c.probe, c.startScene)};
        if (c.quiet) arguments.insert(arguments.begin() + 1, "--quiet");
        start(arguments);
        ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
        ASSERT_TRUE(waitForOutput(c.reported)) << c.what << "\n" << output();
        if (c.quiet) {
            std::this_thread::sleep_for(300ms);
            EXPECT_TRUE(pixelNear(c.x, c.y, kProbeBlue)) << c.what << ": " << std::hex << windowPixel(c.x, c.y);
        } else {
            EXPECT_TRUE(waitForPixel(c.x, c.y, kNoteRed)) << c.what << ": " << std::hex << windowPixel(c.x, c.y);
            // A note goes after a few seconds.
            if (*c.startScene == '\0') {
                EXPECT_TRUE(waitForPixel(c.x, c.y, kProbeBlue)) << c.what;
            }
        }
        EXPECT_EQ(closeWindow(), 0) << c.what << "\n" << output();
    }
}

// Addresses are opened by xdg-open, started without a shell; its failure is reported.
TEST_F(WindowTest, OpenURLStartsXdgOpenAndReportsItsFailure) {
    const std::string tools = scratch_.file("tools");
    std::filesystem::create_directories(tools);
    writeFile(tools + "/xdg-open", "#!/bin/sh\necho \"$@\" >> " + scratch_.file("opened.txt") + "\nexit 3\n");
    std::filesystem::permissions(tools + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (tools + ":" + path).c_str(), 1);
    const ProbeBundle probe{.game = "function onUpdate() if frames == 3 then callbacks.callExternalFunction('openURL', "
                                  "'mailto:a?subject=x;y $(id)', true) end end"};
    launch(probe);
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(waitForOutput("xdg-open could not open")) << output();
    EXPECT_EQ(readFile(scratch_.file("opened.txt")), "mailto:a?subject=x;y $(id)\n") << "one argument, no shell";
    EXPECT_NE(output().find("openURL: xdg-open could not open \"mailto:a?subject=x;y $(id)\" (exit status 3)"),
              std::string::npos) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
    // Without xdg-open, the failure to start it is reported.
    std::filesystem::remove(tools + "/xdg-open");
    setenv("PATH", tools.c_str(), 1);
    start({kPlayer, makeBundle(scratch_, probe)});
    setenv("PATH", path.c_str(), 1);
    ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
    EXPECT_TRUE(waitForOutput("openURL: cannot open \"mailto:a?subject=x;y $(id)\": cannot start xdg-open")) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

TEST_F(WindowTest, KeyPressesArriveAsKeyNames) {
    launch({});
    xdotool("key --delay 20 --window " + window_ + " a 7 Up Down Left Right space Return Caps_Lock");
    xdotool("keydown --window " + window_ + " Shift_L");
    xdotool("keyup --window " + window_ + " Shift_L");
    xdotool("keydown --window " + window_ + " Shift_R");
    xdotool("keyup --window " + window_ + " Shift_R");
    xdotool("key --window " + window_ + " x");
    ASSERT_TRUE(waitForOutput("probe: keyUp X")) << output();
    // Keys are named by the character they type; keys that type none have names of their own.
    xdotool("key --delay 20 --window " + window_ + " shift+1 shift+slash F5 Home End Prior Next KP_Enter");
    ASSERT_TRUE(waitForOutput("probe: keyUp return", 2)) << output();
    const std::string log = output();
    for (const char* name : {"!", "?"}) {
        EXPECT_EQ(countOf(log, std::string("probe: keyDown ") + name + "\n"), 1) << name << "\n" << log;
        EXPECT_EQ(countOf(log, std::string("probe: keyUp ") + name + "\n"), 1) << name << "\n" << log;
    }
    EXPECT_NE(log.find("probe: keyDown f5\nprobe: keyUp f5\nprobe: keyDown home\nprobe: keyUp home\n"
                       "probe: keyDown end\nprobe: keyUp end\nprobe: keyDown page up\nprobe: keyUp page up\n"
                       "probe: keyDown page down\nprobe: keyUp page down\nprobe: keyDown return\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("probe: keyDown a\nprobe: keyUp a\nprobe: keyDown 7\nprobe: keyUp 7\nprobe: keyDown up\n"
                       "probe: keyUp up\nprobe: keyDown down\nprobe: keyUp down\nprobe: keyDown left\n"
                       "probe: keyUp left\nprobe: keyDown right\nprobe: keyUp right\nprobe: keyDown space\n"
                       "probe: keyUp space\nprobe: keyDown return\nprobe: keyUp return\nprobe: keyDown caps lock\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("probe: keyDown left shift\nprobe: keyUp left shift\n"), std::string::npos) << log;
    // xdotool presses the left shift key with the right one; each side is reported on its own.
    EXPECT_EQ(countOf(log, "probe: keyDown right shift"), 1) << log;
    EXPECT_EQ(countOf(log, "probe: keyUp right shift"), 1) << log;
    EXPECT_NE(log.find("probe: keyDown X"), std::string::npos) << "caps lock is on: " << log;
    EXPECT_EQ(closeWindow(), 0) << output();
}

TEST_F(WindowTest, ClicksArriveInGameCoordinatesWithTheOriginAtTheLowerLeft) {
    launch({});
    xdotool("mousemove --sync --window " + window_ + " 10 20 click 1");
    xdotool("mousemove --sync --window " + window_ + " 239 159 click 1");
    ASSERT_TRUE(waitForOutput("probe: mouseUp", 2)) << output();
    EXPECT_NE(output().find("probe: mouseDown 10 139\nprobe: mouseUp 10 139\n"), std::string::npos) << output();
    EXPECT_NE(output().find("probe: mouseDown 239 0\n"), std::string::npos) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

// Clicks in a window reach behaviours through a zoomed and turned camera in world units, and a
// HUD button (a layer of parallax 0) is hit where it is drawn: the real engine script on the
// guarded project's camera scene, 64 × 64.
TEST_F(WindowTest, ClicksUnderATurnedAndZoomedCameraHitTheActorsDrawnThere) {
    start({kPlayer, makeBundle(scratch_, {}, "cameraView")});
    ASSERT_NO_FATAL_FAILURE(findWindow("Probe"));
    ASSERT_TRUE(waitForOutput("b on screen")) << output();
    xdotool("mousemove --sync --window " + window_ + " 32 51 click 1");
    xdotool("mousemove --sync --window " + window_ + " 56 7 click 1");
    ASSERT_TRUE(waitForOutput("click under")) << output();
    EXPECT_NE(output().find("click b 42.0 32.0\ndown 42.0 32.0 screen 32.0 12.0\n"), std::string::npos) << output();
    EXPECT_NE(output().find("click button 54.0 56.0\n"), std::string::npos) << output();
    EXPECT_EQ(countOf(output(), "click a "), 0) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

constexpr const char* kGame480x320 =
    "game.attributes.displaySize.width._value = 480 game.attributes.displaySize.height._value = 320";

TEST_F(WindowTest, FullScreenLetterboxPlacesThePictureAndMapsClicks) {
    // A choice remembered for this game does not override the game's own setting.
    std::filesystem::create_directories(scratch_.file("data") + "/Probe");
    writeFile(scratch_.file("data") + "/Probe/player-fullscreen", "0\n");
    launch({"<key>CFBundleName</key><string>Probe</string><key>QzStartFullscreen</key><true/>", kGame480x320},
           scratch_.file("letterbox.png"));
    ASSERT_TRUE(waitForOutput("probe: screen 1920 1200")) << output();
    EXPECT_EQ(countOf(output(), "probe: screen 480 320"), 0) << "full screen from the start: " << output();
    xdotool("mousemove --sync 60 600 click 1");
    xdotool("mousemove --sync 30 1199 click 1");
    ASSERT_TRUE(waitForOutput("probe: mouseUp", 2)) << output();
    EXPECT_NE(output().find("probe: mouseDown 0 599\n"), std::string::npos) << output();
    EXPECT_NE(output().find("probe: mouseDown -32 0\n"), std::string::npos) << "a click on the bar: " << output();
    EXPECT_EQ(closeWindow(), 0) << output();
    const Picture picture(scratch_.file("letterbox.png"));
    ASSERT_EQ(picture.width, 1920);
    EXPECT_EQ(picture.blue(59, 600), 0) << "left bar";
    EXPECT_GT(picture.blue(60, 600), 100) << "the game's first column";
    EXPECT_GT(picture.blue(1859, 600), 100);
    EXPECT_EQ(picture.blue(1860, 600), 0) << "right bar";
}

TEST_F(WindowTest, FullScreenCropFillsTheScreenAndMapsClicks) {
    launch({"<key>CFBundleName</key><string>Probe</string><key>QzStartFullscreen</key><true/>"
            "<key>QzOverscan</key><true/>", kGame480x320},
           scratch_.file("crop.png"));
    ASSERT_TRUE(waitForOutput("probe: screen 1920 1200")) << output();
    xdotool("mousemove --sync 0 1199 click 1");
    ASSERT_TRUE(waitForOutput("probe: mouseUp")) << output();
    EXPECT_NE(output().find("probe: mouseDown 0 37.5\n"), std::string::npos) << output();
    // Escape leaves full screen without reaching the game; the window takes the game's size.
    // Once windowed, Escape is the game's.
    xdotool("key Escape");
    ASSERT_TRUE(waitForOutput("probe: screen 480 320", 2)) << output();
    xdotool("key --window " + window_ + " x Escape");
    ASSERT_TRUE(waitForOutput("probe: keyUp esc")) << output();
    EXPECT_NE(output().find("probe: keyUp x\nprobe: keyDown esc\nprobe: keyUp esc\n"), std::string::npos)
        << "only the second Escape reaches the game: " << output();
    EXPECT_EQ(countOf(output(), "probe: keyDown esc"), 1) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
    const Picture picture(scratch_.file("crop.png"));
    ASSERT_EQ(picture.width, 480) << "the screenshot is taken after leaving full screen";
    EXPECT_FALSE(std::filesystem::exists(scratch_.file("data") + "/Probe/player-fullscreen"))
        << "the game's own setting holds at the next start";
}

// --watch in a window: a picture saved while the game plays shows in place of the old one.
TEST_F(WindowTest, WatchShowsAPictureSavedWhileTheGamePlays) {
    const std::filesystem::path project = scratch_.path() / "Shown.gameproj";
    std::filesystem::create_directories(project / "scenes");
    std::filesystem::create_directories(project / "images");
    writeFile((project / "game.xml").string(), "<game title=\"Shown\" width=\"160\" height=\"120\"><scenes>"
                                               "<scene name=\"main\" file=\"scenes/main.xml\"/></scenes></game>\n");
    writeFile((project / "scenes/main.xml").string(),
              "<scene><layer><sprite image=\"box.png\" x=\"80\" y=\"60\" width=\"80\" height=\"60\"/></layer></scene>\n");
    const std::string picture = (project / "images/box.png").string();
    writeSolidPNG(picture, 255, 0, 0);
    start({kPlayer, "--watch", project.string()});
    ASSERT_NO_FATAL_FAILURE(findWindow("Shown"));
    ASSERT_TRUE(waitForPixel(80, 60, 0xff0000)) << output();
    writeSolidPNG(picture, 0, 0, 255);
    EXPECT_TRUE(waitForOutput("reload: images/box.png replaced")) << output();
    EXPECT_TRUE(waitForPixel(80, 60, 0x0000ff)) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

// Game controllers plugged in, pressed, moved and unplugged while the game plays: SDL virtual
// pads made inside the player (virtual_pad.cpp, preloaded) stand in for real ones. Pads take
// the lowest free number, so a pad plugged in after pad 1 left takes number 1 again.
TEST_F(WindowTest, GamepadsArePluggedPressedMovedAndUnpluggedWhileTheGamePlays) {
    const std::filesystem::path project = scratch_.path() / "Pads.gameproj";
    std::filesystem::create_directories(project / "scenes");
    std::filesystem::create_directories(project / "scripts");
    writeFile((project / "game.xml").string(), "<game title=\"Pads\" width=\"160\" height=\"120\"><scenes>"
                                               "<scene name=\"main\" file=\"scenes/main.xml\"/></scenes></game>\n");
    writeFile((project / "scenes/main.xml").string(), "<scene behaviour=\"scripts/pads.lua\"><layer/></scene>\n");
    writeFile((project / "scripts/pads.lua").string(), R"(
function onStart() log("pads at start", #gamepads()) end
function onGamepadAdded(pad, name) log("added", pad, name, table.concat(gamepads(), ",")) end
function onGamepadRemoved(pad) log("removed", pad, gamepadConnected(pad)) end
function onGamepadDown(button, pad) log("down", button, pad, isGamepadDown(button, pad)) end
function onGamepadUp(button, pad) log("up", button, pad, isGamepadDown(button, pad)) end
function onUpdate()
  local x = string.format("%.2f %.2f", gamepadAxis("leftx", 1), gamepadAxis("lefttrigger"))
  if x ~= last then last = x log("axes", x) end
end
)");
    const std::string pipe = scratch_.file("pads");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    signal(SIGPIPE, SIG_IGN);
    setenv("LD_PRELOAD", (std::string(QZ_BINARY_DIR) + "/tests/player/libqz_virtual_pad.so").c_str(), 1);
    setenv("QZ_VIRTUAL_PAD_PIPE", pipe.c_str(), 1);
    // Xvfb has no window manager to give the window the focus; pads are heard without it.
    setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The preloaded library comes before the sanitizers' runtime in a sanitizer build.
    if (asan) setenv("ASAN_OPTIONS", (std::string(asan) + ":verify_asan_link_order=0").c_str(), 1);
    start({kPlayer, project.string()});
    for (const char* name : {"LD_PRELOAD", "QZ_VIRTUAL_PAD_PIPE", "SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS"}) unsetenv(name);
    ASSERT_NO_FATAL_FAILURE(findWindow("Pads"));
    ASSERT_TRUE(waitForOutput("pads at start 0")) << output();
    FILE* pads = std::fopen(pipe.c_str(), "w");
    ASSERT_NE(pads, nullptr);
    const struct {
        const char* line;      // to the virtual pads
        const char* expected;  // what the game logs then
    } steps[] = {
        {"plug A", "added 1 Virtual pad A 1\n"},
        {"plug B", "added 2 Virtual pad B 1,2\n"},
        {"button B 0 1", "down a 2 true\n"},
        {"axis A 0 16384", "axes 0.50 0.00\n"},
        {"axis B 4 32767", "axes 0.50 1.00\n"},
        {"axis A 0 -32768", "axes -1.00 1.00\n"},
        {"axis A 0 2000", "axes 0.00 1.00\n"},  // inside the dead zone
        {"button B 0 0", "up a 2 false\n"},
        {"unplug A", "removed 1 false\n"},
        {"plug C", "added 1 Virtual pad C 1,2\n"},
        {"button C 11 1", "down dpup 1 true\n"},
        {"unplug C", "up dpup 1 false\nremoved 1 false\n"},
        {"unplug B", "removed 2 false\n"},
    };
    for (const auto& step : steps) {
        std::fprintf(pads, "%s\n", step.line);
        std::fflush(pads);
        EXPECT_TRUE(waitForOutput(step.expected)) << step.line << "\n" << output();
    }
    // Eight pads are numbered; a ninth is ignored, with a message.
    for (int pad = 1; pad <= 9; ++pad) std::fprintf(pads, "plug %d\n", pad);
    std::fflush(pads);
    EXPECT_TRUE(waitForOutput("added 8 Virtual pad 8 1,2,3,4,5,6,7,8\n")) << output();
    EXPECT_TRUE(waitForOutput("game controller 'Virtual pad 9' ignored: 8 pads are plugged in")) << output();
    std::fclose(pads);
    EXPECT_EQ(countOf(output(), "failed"), 0) << output();
    EXPECT_EQ(countOf(output(), "added 9"), 0) << output();
    EXPECT_EQ(closeWindow(), 0) << output();
}

}  // namespace
