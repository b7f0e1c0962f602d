// The windowed player: the SDL window and its OpenGL context, the launch sequence, the
// event loop that maps keys, mouse positions and game controllers, full screen, and orderly
// shutdown.
#include "QzWindowPlayer.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "QzFrameTiming.h"
#include "QzGamepads.h"
#include "QzGameView.h"
#include "QzIntroMovie.h"
#include "QzKeyNames.h"
#include "QzMainQueue.h"
#include "QzNotificationCenter.h"
#include "QzOffscreenGL.h"
#include "QzPlayerSession.h"
#include "QzProjectWatcher.h"
#include "QzQuitSignals.h"
#include "QzReplacementFile.h"
#include "QzWindowIcon.h"
#include "QzSDLKeys.h"

namespace {

constexpr int kLaunchWidth = 480, kLaunchHeight = 320;
constexpr double kFadeSeconds = 1.0;

// The window's OpenGL context, current on the game thread; counts and times presents.
class WindowSurface : public QzGameSurface {
public:
    WindowSurface(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    bool makeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
    void present() override {
        if (capturing_) return;
        SDL_GL_SwapWindow(window_);
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        if (presented_ > 0) intervals_.push_back(std::chrono::duration<double>(now - last_).count());
        else firstPresent_ = now;
        last_ = now;
        ++presented_;
    }
    long presented() {
        std::lock_guard lock(mutex_);
        return presented_;
    }
    std::vector<double> intervals() {
        std::lock_guard lock(mutex_);
        return intervals_;
    }
    // While capturing, frames are drawn but kept in the back buffer, to be read back.
    void setCapturing(bool capturing) { capturing_ = capturing; }
    std::chrono::steady_clock::time_point firstPresent() {
        std::lock_guard lock(mutex_);
        return firstPresent_;
    }

private:
    SDL_Window* window_;      // borrowed
    SDL_GLContext context_;   // borrowed
    std::mutex mutex_;
    bool capturing_ = false;  // game thread
    long presented_ = 0;
    std::chrono::steady_clock::time_point last_, firstPresent_;
    std::vector<double> intervals_;
};

// Whether an X11 window manager runs (it announces itself on the root window). Without one,
// nobody honours a full-screen request, so the player covers the display itself.
bool hasWindowManager(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    Display* display = info.info.x11.display;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &remaining, &data);
    if (data) XFree(data);
    return status == Success && count == 1;
}

class WindowPlayer {
public:
    WindowPlayer(const QzPlayerOptions& options, const QzBundle& bundle, std::string savePath)
        : options_(options), bundle_(bundle), savePath_(std::move(savePath)) {}
    ~WindowPlayer();
    int run();

private:
    bool openWindow();
    void launch();
    void playIntroMovie(const std::string& path);
    void fadeIntro();
    void waitClosable(const QzGameThread::Task& task);
    void takeIntendedSize();
    void eventLoop();
    void handleEvent(const SDL_Event& event);
    void handleKey(const SDL_KeyboardEvent& key);
    void handleMouse(QzInputEvent::Kind kind, int x, int y);
    void handleGamepad(const SDL_Event& event);
    void setFullScreen(bool fullScreen);
    void coverDisplay(bool cover);
    void reshape();
    void centreWindow(int width, int height);
    std::string fullScreenChoicePath() const;
    bool finish();

    const QzPlayerOptions& options_;
    const QzBundle& bundle_;
    std::string savePath_;
    SDL_Window* window_ = nullptr;     // owned
    SDL_GLContext context_ = nullptr;  // owned
    std::unique_ptr<WindowSurface> surface_;
    std::unique_ptr<QzGameView> view_;
    std::unique_ptr<QzPlayerSession> session_;
    // --watch: its thread posts the changes to the game thread; it stops before the session goes.
    std::unique_ptr<QzProjectWatcher> watcher_;
    std::shared_ptr<const QzOverlayImage> intro_;
    std::unique_ptr<QzGamepads> gamepads_;  // closed before SDL_Quit
    double introAspect_ = 0;  // 0 for the loading picture, the movie's shape for its last picture
    uint32_t userEvent_ = 0;  // base of our SDL user events
    int intendedWidth_ = 0;  // the game's size, 0 when it has none
    int intendedHeight_ = 0;
    uint64_t previousModifiers_ = 0;
    // The name each held key was given when the game received its press: its release carries
    // the same name, and only keys whose press the game received report a release.
    std::map<SDL_Scancode, std::string> keysDownInGame_;
    bool escapeLeftFullScreen_ = false;  // the Escape that left full screen is still held
    bool quit_ = false;
    QzNotificationCenter::Token exitFullscreenToken_ = 0;
};

enum UserEventCode { kExitFullscreen = 0, kOpenURL = 1, kUserEventCount = 2 };

WindowPlayer::~WindowPlayer() {
    QzNotificationCenter::defaultCenter().removeObserver(exitFullscreenToken_);
    watcher_.reset();
    session_.reset();
    view_.reset();
    gamepads_.reset();
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
}

void WindowPlayer::centreWindow(int width, int height) {
    SDL_SetWindowSize(window_, width, height);
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

bool WindowPlayer::openWindow() {
    // The player's own handlers take SIGINT and SIGTERM: SDL's would only queue a quit
    // that a stuck frame never lets the player act on.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "quillane-player: cannot open a window: %s; on a machine without a display, run with "
                             "--headless\n", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window_ = SDL_CreateWindow(bundle_.info.bundleName.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               kLaunchWidth, kLaunchHeight,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_) QzSetWindowIcon(window_, bundle_);
    if (window_) context_ = SDL_GL_CreateContext(window_);
    if (!window_ || !context_) {
        std::fprintf(stderr, "quillane-player: cannot make a window with an OpenGL 2.1 context: %s; run with "
                             "--headless to play without one\n", SDL_GetError());
        return false;
    }
    // The context belongs to the game thread from here on.
    SDL_GL_MakeCurrent(window_, nullptr);
    gamepads_ = std::make_unique<QzGamepads>();
    userEvent_ = SDL_RegisterEvents(kUserEventCount);
    // Text input stays on: the text a key press types names the key for the game, and
    // feeds the text-entry panel.
    SDL_StartTextInput();
    return true;
}

// Empty when the game has no save folder: the choice is then not remembered.
std::string WindowPlayer::fullScreenChoicePath() const {
    if (savePath_.empty()) return {};
    return (std::filesystem::path(savePath_).parent_path() / "player-fullscreen").string();
}

void WindowPlayer::reshape() {
    int backingWidth = 0, backingHeight = 0, pointWidth = 0, pointHeight = 0;
    SDL_GL_GetDrawableSize(window_, &backingWidth, &backingHeight);
    SDL_GetWindowSize(window_, &pointWidth, &pointHeight);
    view_->reshape(backingWidth, backingHeight, pointWidth, pointHeight);
}

void WindowPlayer::coverDisplay(bool cover) {
    SDL_SetWindowBordered(window_, cover ? SDL_FALSE : SDL_TRUE);
    if (!cover) return;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window_), &bounds) != 0) return;
    SDL_SetWindowPosition(window_, bounds.x, bounds.y);
    SDL_SetWindowSize(window_, bounds.w, bounds.h);
}

void WindowPlayer::setFullScreen(bool fullScreen) {
    view_->setFullScreen(fullScreen);
    if (hasWindowManager(window_))
        SDL_SetWindowFullscreen(window_, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    else
        coverDisplay(fullScreen);
    if (!fullScreen) {
        int width = 0, height = 0;
        waitClosable([&] {
            if (QzPlayerEngine* engine = session_->engine()) engine->intendedDisplaySize(&width, &height);
        });
        if (width > 0 && height > 0) centreWindow(width, height);
    }
    reshape();
    // The player has no settings of its own: a game that says how it starts is started so
    // every time; only for the others is the player's last choice remembered.
    if (const std::string path = fullScreenChoicePath(); !bundle_.info.startFullscreenSet && !path.empty())
        qzReplaceFileContents(path, fullScreen ? "1\n" : "0\n");
}

void WindowPlayer::launch() {
    std::string error;
    if (!bundle_.defaultImagePath.empty()) {
        // The window takes the picture's size, so the picture fits the display.
        SDL_Rect display{0, 0, 16384, 16384};
        SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &display);
        auto image = std::make_shared<QzOverlayImage>(
            QzLoadOverlayImage(bundle_.defaultImagePath, display.w, display.h, &error));
        if (image->width > 0) {
            intro_ = image;
            if (!view_->fullScreen()) centreWindow(image->width, image->height);
        } else {
            std::fprintf(stderr, "quillane-player: cannot read the loading picture '%s': %s\n",
                         bundle_.defaultImagePath.c_str(), error.c_str());
        }
    }
    session_->setIntro(intro_, 1);
    int backingWidth = 0, backingHeight = 0;
    SDL_GL_GetDrawableSize(window_, &backingWidth, &backingHeight);
    view_->thread().postAndWait([&] {
        surface_->makeCurrent();
        SDL_GL_SetSwapInterval(options_.noVsync ? 0 : 1);
        QzApplyHostGLState(backingWidth, backingHeight);
    });
    const std::string movie = bundle_.resources + "/intro-mac.mov";
    if (bundle_.defaultImagePath.empty() && std::filesystem::exists(movie)) {
        reshape();  // the view learns its size, so that its overlay draws
        playIntroMovie(movie);
    }
    int width = 0, height = 0;
    waitClosable([&] {
        view_->refreshView();
        session_->loadGame();
        session_->engine()->intendedDisplaySize(&width, &height);
    });
    intendedWidth_ = width;
    intendedHeight_ = height;
    int currentWidth = 0, currentHeight = 0;
    SDL_GetWindowSize(window_, &currentWidth, &currentHeight);
    if (view_->fullScreen()) {
        // The window has the screen's shape; the game keeps its own.
        currentWidth = width > 0 && height > 0 ? width : kLaunchWidth;
        currentHeight = width > 0 && height > 0 ? height : kLaunchHeight;
    }
    view_->setOriginalAspectRatio(static_cast<float>(currentWidth) / currentHeight);
    reshape();
}

// Without a loading picture, the intro movie plays in the window at the launch size until it
// ends, a key or click ends it, or the window closes; its last picture then fades like the
// loading picture.
void WindowPlayer::playIntroMovie(const std::string& path) {
    QzIntroMovieCalls calls;
    calls.show = [this](std::shared_ptr<const QzOverlayImage> picture, double aspect) {
        session_->setIntro(std::move(picture), 1, aspect);
        view_->thread().postAndWait([&] { view_->refreshView(); });
    };
    calls.endRequested = [this] {
        SDL_Event event;
        bool end = quit_;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT || (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
                quit_ = true;
            if (QzGamepads::isGamepadEvent(event)) handleGamepad(event);
            end = end || quit_ || event.type == SDL_KEYDOWN || event.type == SDL_MOUSEBUTTONDOWN;
        }
        return end;
    };
    QzPlayIntroMovie(path, calls, &intro_, &introAspect_);
    session_->setIntro(intro_, 1, introAspect_);
}

// Once the intro has gone, the window takes the game's intended size, centred; a window that
// has it already, or covers the screen, stays as it is.
void WindowPlayer::takeIntendedSize() {
    int currentWidth = 0, currentHeight = 0;
    SDL_GetWindowSize(window_, &currentWidth, &currentHeight);
    if (intendedWidth_ <= 0 || intendedHeight_ <= 0 || view_->fullScreen()) return;
    if (intendedWidth_ == currentWidth && intendedHeight_ == currentHeight) return;
    centreWindow(intendedWidth_, intendedHeight_);
    view_->setOriginalAspectRatio(static_cast<float>(intendedWidth_) / intendedHeight_);
    reshape();
}

// The loading picture (or the movie's last picture) fades out over one second while the game shows its first picture;
// the window stays responsive, so closing it during the fade quits.
void WindowPlayer::fadeIntro() {
    if (!intro_) return;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= kFadeSeconds || quit_ || QzQuitSignal()) break;
        session_->setIntro(intro_, static_cast<float>(1.0 - elapsed / kFadeSeconds), introAspect_);
        waitClosable([&] { view_->refreshView(); });
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) quit_ = true;
            if (QzGamepads::isGamepadEvent(event)) handleGamepad(event);
        }
    }
    session_->setIntro(nullptr, 0);
}

// Runs the task on the game thread. While it runs (or waits behind a frame), the window can
// still be closed, which stops a script stuck there. Other events wait in the queue, but for
// mouse movements, which would fill it.
void WindowPlayer::waitClosable(const QzGameThread::Task& task) {
    view_->thread().postAndWait(task, std::chrono::milliseconds(20), [this] {
        SDL_PumpEvents();
        SDL_FlushEvent(SDL_MOUSEMOTION);
        SDL_Event event;
        if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) != 1) return;
        quit_ = true;
        QzPlayerInterrupt().request("the player is quitting");
    });
}

void WindowPlayer::handleMouse(QzInputEvent::Kind kind, int x, int y) {
    int pointWidth = 0, pointHeight = 0;
    SDL_GetWindowSize(window_, &pointWidth, &pointHeight);
    QzInputEvent event;
    event.kind = kind;
    // The view's origin is the lower left; a position names the pixel's lower-left corner.
    view_->mapPoint(x, pointHeight - 1 - y, &event.x, &event.y);
    session_->deliverInput(event);
}

void WindowPlayer::handleGamepad(const SDL_Event& event) {
    for (const QzInputEvent& input : gamepads_->handle(event)) session_->deliverInput(input);
}

void WindowPlayer::handleKey(const SDL_KeyboardEvent& key) {
    const bool down = key.type == SDL_KEYDOWN;
    if (QzIsSDLModifierKey(key.keysym.sym)) {
        const uint64_t flags = QzModifierFlagsForSDL(key.keysym.mod);
        for (const QzKeyEvent& change : QzModifierKeyEvents(previousModifiers_, flags)) {
            QzInputEvent event;
            event.kind = std::string(change.function) == "keyDown" ? QzInputEvent::Kind::KeyDown
                                                                   : QzInputEvent::Kind::KeyUp;
            event.text = change.keyName;
            session_->deliverInput(event);
        }
        previousModifiers_ = flags;
        return;
    }
    if (key.repeat) return;
    const bool altReturn = key.keysym.sym == SDLK_RETURN && (key.keysym.mod & KMOD_ALT);
    if (down && (key.keysym.sym == SDLK_F11 || altReturn)) {
        setFullScreen(!view_->fullScreen());
        return;
    }
    if (altReturn) return;
    // F3 is the player's, like F11: the game sees neither its press nor its release.
    if (key.keysym.sym == SDLK_F3) {
        if (down) session_->toggleStats();
        return;
    }
    // Escape that leaves full screen is the player's, press and release: the game never sees it.
    if (key.keysym.sym == SDLK_ESCAPE && (escapeLeftFullScreen_ || (down && view_->fullScreen()))) {
        if (down) setFullScreen(false);
        escapeLeftFullScreen_ = down;
        return;
    }
    QzInputEvent event;
    event.kind = down ? QzInputEvent::Kind::KeyDown : QzInputEvent::Kind::KeyUp;
    if (!down) {
        const auto held = keysDownInGame_.find(key.keysym.scancode);
        if (held == keysDownInGame_.end()) return;
        event.text = std::move(held->second);
        keysDownInGame_.erase(held);
        session_->deliverInput(event);
        return;
    }
    // SDL queues the text a press types right behind the press; a press for the panel leaves
    // it queued for the panel.
    SDL_Event next;
    const bool typedFollows = SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
                              next.type == SDL_TEXTINPUT;
    event.text = QzKeyNameForSDLKey(key.keysym, typedFollows ? next.text.text : "");
    if (event.text.empty()) return;
    if (!session_->deliverInput(event)) return;
    keysDownInGame_[key.keysym.scancode] = event.text;
    // The press went to the game, which may open the text panel before the queued text is
    // handled: that text belongs to the press, not to the panel, so it goes with it.
    if (typedFollows) SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
}

void WindowPlayer::handleEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        quit_ = true;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) quit_ = true;
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) reshape();
        // While the game is paused (under the text-entry panel) no frame repaints the window.
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || event.window.event == SDL_WINDOWEVENT_EXPOSED)
            view_->requestRedraw();
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        handleKey(event.key);
        break;
    case SDL_TEXTINPUT: {
        QzInputEvent text;
        text.kind = QzInputEvent::Kind::Text;
        text.text = event.text.text;
        session_->deliverInput(text);
        break;
    }
    case SDL_MOUSEMOTION:
        handleMouse(QzInputEvent::Kind::MouseMoved, event.motion.x, event.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT)
            handleMouse(event.type == SDL_MOUSEBUTTONDOWN ? QzInputEvent::Kind::MouseDown : QzInputEvent::Kind::MouseUp,
                        event.button.x, event.button.y);
        break;
    default:
        if (QzGamepads::isGamepadEvent(event)) {
            handleGamepad(event);
        } else if (event.type == userEvent_ + kExitFullscreen && view_->fullScreen()) {
            setFullScreen(false);
        } else if (event.type == userEvent_ + kOpenURL) {
            const std::unique_ptr<std::string> target(static_cast<std::string*>(event.user.data1));
            std::string error;
            if (!QzStartURLOpener(*target, &error))
                std::fprintf(stderr, "openURL: cannot open \"%s\": %s\n", target->c_str(), error.c_str());
        }
        break;
    }
}

void WindowPlayer::eventLoop() {
    while (!quit_ && !QzQuitSignal()) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 50)) handleEvent(event);
        QzMainQueueRunPending();
        if (options_.frames >= 0 && surface_->presented() >= options_.frames) quit_ = true;
    }
}

// Returns false when the screenshot could not be written.
bool WindowPlayer::finish() {
    watcher_.reset();
    session_->stopFrames();
    bool written = true;
    if (!options_.screenshot.empty() && !QzQuitSignal()) {
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(window_, &width, &height);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        // The current picture is drawn once more and read back before it would be shown.
        view_->thread().postAndWait([&] {
            surface_->setCapturing(true);
            view_->refreshView();
            surface_->setCapturing(false);
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        });
        std::string error;
        written = QzWritePNG(options_.screenshot, pixels, width, height, &error);
        if (!written) std::fprintf(stderr, "quillane-player: screenshot: %s\n", error.c_str());
    }
    if (options_.timing) {
        const QzFrameStats stats = QzComputeFrameStats(surface_->intervals());
        std::printf("timing: frames %d, mean %.3f ms, p99 %.3f ms, missed at 60 Hz %ld\n", stats.frames,
                    stats.meanSeconds * 1000, stats.p99Seconds * 1000, stats.missedFrames);
    }
    // The game's stop and shutdown may take their time; closing the window again stops them.
    // The quit event that came with the first close is not a second one.
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_QUIT);
    waitClosable([&] { session_->shutdown(); });
    view_->thread().postAndWait([&] { SDL_GL_MakeCurrent(window_, nullptr); });
    return written;
}

int WindowPlayer::run() {
    const auto launched = std::chrono::steady_clock::now();
    if (!openWindow()) return kQzExitNoDisplay;
    surface_ = std::make_unique<WindowSurface>(window_, context_);
    view_ = std::make_unique<QzGameView>(surface_.get());
    if (options_.noVsync) view_->setAnimationFrameInterval(0);
    QzSessionHooks hooks;
    hooks.debug = options_.debug;
    hooks.interrupt = &QzPlayerInterrupt();
    hooks.memoryLimitBytes = static_cast<size_t>(options_.memoryLimitMegabytes) << 20;
    hooks.stats = options_.stats;
    hooks.toasts = !options_.quiet;
    // Opened on the main thread, not inside the script call holding the engine lock.
    const uint32_t openEvent = userEvent_ + kOpenURL;
    hooks.openURL = [openEvent](const std::string& target) {
        SDL_Event open{};
        open.type = openEvent;
        open.user.data1 = new std::string(target);
        if (SDL_PushEvent(&open) != 1) delete static_cast<std::string*>(open.user.data1);
    };
    hooks.gameDidEnd = [] {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    };
    const uint32_t exitEvent = userEvent_ + kExitFullscreen;
    exitFullscreenToken_ = QzNotificationCenter::defaultCenter().addObserver(
        "QzShouldExitFullscreenNotification", [exitEvent](const std::string&, const QzNotificationUserInfo&) {
            SDL_Event leave{};
            leave.type = exitEvent;
            SDL_PushEvent(&leave);
        });
    session_ = std::make_unique<QzPlayerSession>(bundle_, savePath_, view_.get(), hooks);

    // A game that starts in full screen shows its intro there too.
    std::ifstream remembered(fullScreenChoicePath());
    std::string choice;
    const bool fullScreen = !bundle_.info.startFullscreenSet && remembered >> choice ? choice == "1"
                                                                                     : bundle_.info.startFullscreen;
    if (fullScreen) setFullScreen(true);
    if (options_.watch && (watcher_ = QzProjectWatcher::startOrWarn(bundle_.projectPath))) {
        watcher_->watchInBackground([this](const QzProjectWatcher::Changes& changes) {
            view_->thread().post([this, changes] { session_->reloadChangedFiles(changes); });
        });
    }
    launch();
    // Pads plugged in before the game loaded (the game saw none of them) are announced now.
    for (const QzInputEvent& pad : gamepads_->pluggedIn()) session_->deliverInput(pad);
    fadeIntro();
    takeIntendedSize();
    view_->playWaitUntilDone(false);
    if (options_.timing) {
        while (surface_->presented() == 0 && !quit_ && !QzQuitSignal()) SDL_Delay(1);
        std::printf("timing: launch to first frame %.1f ms\n",
                    std::chrono::duration<double, std::milli>(surface_->firstPresent() - launched).count());
    }
    eventLoop();
    const bool written = finish();
    if (const int signal = QzQuitSignal()) return 128 + signal;
    return written ? kQzExitOK : kQzExitUsage;
}

}  // namespace

int QzRunWindowPlayer(const QzPlayerOptions& options, const QzBundle& bundle, const std::string& savePath) {
    WindowPlayer player(options, bundle, savePath);
    return player.run();
}
