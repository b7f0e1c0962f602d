// The windowed player: the SDL window and its OpenGL context, the launch sequence, the
// event loop that maps keys and mouse positions, full screen, and orderly shutdown.
#include "QzWindowPlayer.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "QzFrameTiming.h"
#include "QzGameView.h"
#include "QzKeyNames.h"
#include "QzNotificationCenter.h"
#include "QzOffscreenGL.h"
#include "QzPlayerSession.h"

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

// The character of a key as the game sees it: the named function keys' characters,
// letters in the case shift and caps lock give, other keys their unshifted character;
// 0 for keys without one (function keys, keypad navigation).
char32_t characterForKey(const SDL_Keysym& key) {
    switch (key.sym) {
    case SDLK_UP: return kQzUpArrowCharacter;
    case SDLK_DOWN: return kQzDownArrowCharacter;
    case SDLK_LEFT: return kQzLeftArrowCharacter;
    case SDLK_RIGHT: return kQzRightArrowCharacter;
    case SDLK_DELETE: return kQzForwardDeleteCharacter;
    case SDLK_BACKSPACE: return 127;
    case SDLK_ESCAPE: return 27;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_TAB: return 9;
    case SDLK_SPACE: return 32;
    default: break;
    }
    if (key.sym & SDLK_SCANCODE_MASK || key.sym < 32) return 0;
    char32_t c = static_cast<char32_t>(key.sym);
    const bool upper = ((key.mod & KMOD_SHIFT) != 0) != ((key.mod & KMOD_CAPS) != 0);
    if (upper && c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return c;
}

bool isModifierKey(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL:
    case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK:
        return true;
    default:
        return false;
    }
}

uint64_t modifierFlags(uint16_t mod) {
    uint64_t flags = 0;
    if (mod & KMOD_CAPS) flags |= kQzCapsLockModifierMask;
    if (mod & KMOD_LSHIFT) flags |= kQzLeftShiftModifierKeyMask;
    if (mod & KMOD_RSHIFT) flags |= kQzRightShiftModifierKeyMask;
    if (mod & KMOD_CTRL) flags |= kQzControlModifierMask;
    if (mod & KMOD_ALT) flags |= kQzAlternateModifierMask;
    if (mod & KMOD_GUI) flags |= kQzCommandModifierMask;
    return flags;
}

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
    void fadeIntro();
    void takeIntendedSize();
    void eventLoop();
    void handleEvent(const SDL_Event& event);
    void handleKey(const SDL_KeyboardEvent& key);
    void handleMouse(QzInputEvent::Kind kind, int x, int y);
    void setFullScreen(bool fullScreen);
    void coverDisplay(bool cover);
    void reshape();
    void centreWindow(int width, int height);
    std::string fullScreenChoicePath() const;
    void finish();

    const QzPlayerOptions& options_;
    const QzBundle& bundle_;
    std::string savePath_;
    SDL_Window* window_ = nullptr;     // owned
    SDL_GLContext context_ = nullptr;  // owned
    std::unique_ptr<WindowSurface> surface_;
    std::unique_ptr<QzGameView> view_;
    std::unique_ptr<QzPlayerSession> session_;
    std::shared_ptr<const QzOverlayImage> intro_;
    uint32_t userEvent_ = 0;  // base of our two SDL user events
    int intendedWidth_ = 0;  // the game's size, 0 when it has none
    int intendedHeight_ = 0;
    uint64_t previousModifiers_ = 0;
    bool escapeLeftFullScreen_ = false;  // the Escape that left full screen is still held
    bool quit_ = false;
    QzNotificationCenter::Token exitFullscreenToken_ = 0;
};

enum UserEventCode { kPanelChanged = 0, kExitFullscreen = 1 };

WindowPlayer::~WindowPlayer() {
    QzNotificationCenter::defaultCenter().removeObserver(exitFullscreenToken_);
    session_.reset();
    view_.reset();
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
}

void WindowPlayer::centreWindow(int width, int height) {
    SDL_SetWindowSize(window_, width, height);
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

bool WindowPlayer::openWindow() {
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
    if (window_) context_ = SDL_GL_CreateContext(window_);
    if (!window_ || !context_) {
        std::fprintf(stderr, "quillane-player: cannot make a window with an OpenGL 2.1 context: %s; run with "
                             "--headless to play without one\n", SDL_GetError());
        return false;
    }
    // The context belongs to the game thread from here on.
    SDL_GL_MakeCurrent(window_, nullptr);
    userEvent_ = SDL_RegisterEvents(2);
    // Typed text is read only while the text panel shows. SDL starts with it on, so the key
    // that made the game open the panel also typed its character into the panel.
    SDL_StopTextInput();
    return true;
}

std::string WindowPlayer::fullScreenChoicePath() const {
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
        view_->thread().postAndWait([&] {
            if (QzPlayerEngine* engine = session_->engine()) engine->intendedDisplaySize(&width, &height);
        });
        if (width > 0 && height > 0) centreWindow(width, height);
    }
    reshape();
    std::ofstream(fullScreenChoicePath()) << (fullScreen ? "1\n" : "0\n");
}

void WindowPlayer::launch() {
    std::string error;
    if (!bundle_.defaultImagePath.empty()) {
        auto image = std::make_shared<QzOverlayImage>(QzLoadOverlayImage(bundle_.defaultImagePath, &error));
        if (image->width > 0) {
            intro_ = image;
            if (!bundle_.info.startFullscreen) centreWindow(image->width, image->height);
        } else {
            std::fprintf(stderr, "quillane-player: cannot read the loading picture '%s': %s\n",
                         bundle_.defaultImagePath.c_str(), error.c_str());
        }
    } else if (std::filesystem::exists(bundle_.resources + "/intro-mac.mov")) {
        std::fprintf(stderr, "quillane-player: intro movie skipped: this player has no movie decoder\n");
    }
    session_->setIntro(intro_, 1);
    int backingWidth = 0, backingHeight = 0;
    SDL_GL_GetDrawableSize(window_, &backingWidth, &backingHeight);
    int width = 0, height = 0;
    view_->thread().postAndWait([&] {
        surface_->makeCurrent();
        SDL_GL_SetSwapInterval(options_.noVsync ? 0 : 1);
        QzApplyHostGLState(backingWidth, backingHeight);
        view_->refreshView();
        session_->loadGame();
        session_->engine()->intendedDisplaySize(&width, &height);
    });
    intendedWidth_ = width;
    intendedHeight_ = height;
    int currentWidth = 0, currentHeight = 0;
    SDL_GetWindowSize(window_, &currentWidth, &currentHeight);
    view_->setOriginalAspectRatio(static_cast<float>(currentWidth) / currentHeight);
    reshape();
}

// Once the intro has gone, the window takes the game's intended size, centred; a window that
// has it already stays where it is.
void WindowPlayer::takeIntendedSize() {
    int currentWidth = 0, currentHeight = 0;
    SDL_GetWindowSize(window_, &currentWidth, &currentHeight);
    if (intendedWidth_ <= 0 || intendedHeight_ <= 0) return;
    if (intendedWidth_ == currentWidth && intendedHeight_ == currentHeight) return;
    centreWindow(intendedWidth_, intendedHeight_);
    view_->setOriginalAspectRatio(static_cast<float>(intendedWidth_) / intendedHeight_);
    reshape();
}

// The loading picture fades out over one second while the game shows its first picture;
// the window stays responsive, so closing it during the fade quits.
void WindowPlayer::fadeIntro() {
    if (!intro_) return;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= kFadeSeconds || quit_) break;
        session_->setIntro(intro_, static_cast<float>(1.0 - elapsed / kFadeSeconds));
        view_->thread().postAndWait([&] { view_->refreshView(); });
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) quit_ = true;
    }
    session_->setIntro(nullptr, 0);
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

void WindowPlayer::handleKey(const SDL_KeyboardEvent& key) {
    const bool down = key.type == SDL_KEYDOWN;
    if (isModifierKey(key.keysym.sym)) {
        const uint64_t flags = modifierFlags(key.keysym.mod);
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
    // Escape that leaves full screen is the player's, press and release: the game never sees it.
    if (key.keysym.sym == SDLK_ESCAPE && (escapeLeftFullScreen_ || (down && view_->fullScreen()))) {
        if (down) setFullScreen(false);
        escapeLeftFullScreen_ = down;
        return;
    }
    const char32_t character = characterForKey(key.keysym);
    if (character == 0) return;
    QzInputEvent event;
    event.kind = down ? QzInputEvent::Kind::KeyDown : QzInputEvent::Kind::KeyUp;
    event.text = QzKeyNameForCharacter(character);
    if (!event.text.empty()) session_->deliverInput(event);
}

void WindowPlayer::handleEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        quit_ = true;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) quit_ = true;
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) reshape();
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
        if (event.type == userEvent_ + kPanelChanged) {
            session_->panelShowing() ? SDL_StartTextInput() : SDL_StopTextInput();
        } else if (event.type == userEvent_ + kExitFullscreen && view_->fullScreen()) {
            setFullScreen(false);
        }
        break;
    }
}

void WindowPlayer::eventLoop() {
    while (!quit_) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 50)) handleEvent(event);
        if (options_.frames >= 0 && surface_->presented() >= options_.frames) quit_ = true;
    }
}

void WindowPlayer::finish() {
    if (!options_.screenshot.empty()) {
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
        if (!QzWritePNG(options_.screenshot, pixels, width, height, &error))
            std::fprintf(stderr, "quillane-player: screenshot: %s\n", error.c_str());
    }
    if (options_.timing) {
        const QzFrameStats stats = QzComputeFrameStats(surface_->intervals());
        std::printf("timing: frames %d, mean %.3f ms, p99 %.3f ms, missed at 60 Hz %ld\n", stats.frames,
                    stats.meanSeconds * 1000, stats.p99Seconds * 1000, stats.missedFrames);
    }
    session_->shutdown();
    view_->thread().postAndWait([&] { SDL_GL_MakeCurrent(window_, nullptr); });
}

int WindowPlayer::run() {
    const auto launched = std::chrono::steady_clock::now();
    if (!openWindow()) return kQzExitNoDisplay;
    surface_ = std::make_unique<WindowSurface>(window_, context_);
    view_ = std::make_unique<QzGameView>(surface_.get());
    if (options_.noVsync) view_->setAnimationFrameInterval(0);
    QzSessionHooks hooks;
    hooks.debug = options_.debug;
    hooks.openURL = [](const std::string& address) {
        if (SDL_OpenURL(address.c_str()) != 0)
            std::fprintf(stderr, "openURL: cannot open \"%s\": %s\n", address.c_str(), SDL_GetError());
    };
    hooks.gameDidEnd = [] {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    };
    const uint32_t panelEvent = userEvent_ + kPanelChanged;
    hooks.panelChanged = [panelEvent](bool) {
        SDL_Event changed{};
        changed.type = panelEvent;
        SDL_PushEvent(&changed);
    };
    const uint32_t exitEvent = userEvent_ + kExitFullscreen;
    exitFullscreenToken_ = QzNotificationCenter::defaultCenter().addObserver(
        "QzShouldExitFullscreenNotification", [exitEvent](const std::string&, const QzNotificationUserInfo&) {
            SDL_Event leave{};
            leave.type = exitEvent;
            SDL_PushEvent(&leave);
        });
    session_ = std::make_unique<QzPlayerSession>(bundle_, savePath_, view_.get(), hooks);

    launch();
    fadeIntro();
    takeIntendedSize();
    view_->playWaitUntilDone(false);
    std::ifstream remembered(fullScreenChoicePath());
    std::string choice;
    const bool fullScreen = remembered >> choice ? choice == "1" : bundle_.info.startFullscreen;
    if (fullScreen) setFullScreen(true);
    if (options_.timing) {
        while (surface_->presented() == 0 && !quit_) SDL_Delay(1);
        std::printf("timing: launch to first frame %.1f ms\n",
                    std::chrono::duration<double, std::milli>(surface_->firstPresent() - launched).count());
    }
    eventLoop();
    finish();
    return kQzExitOK;
}

}  // namespace

int QzRunWindowPlayer(const QzPlayerOptions& options, const QzBundle& bundle, const std::string& savePath) {
    WindowPlayer player(options, bundle, savePath);
    return player.run();
}
