// The headless run: an off-screen surface with a framebuffer that takes the game's size,
// a fixed-step clock, and the frame-by-frame driver.
#include "QzHeadless.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include "QzAudioRecorder.h"
#include "QzEngine.h"
#include "QzDate.h"
#include "QzGameView.h"
#include "QzInputEvent.h"
#include "QzMainQueue.h"
#include "QzOffscreenGL.h"
#include "QzPlayerSession.h"
#include "QzProjectWatcher.h"
#include "QzQuitSignals.h"

namespace {

constexpr int kDefaultWidth = 480, kDefaultHeight = 320;

// An off-screen context drawing into a framebuffer object, so that the picture can take the
// game's size after the game has loaded (a pbuffer's size is fixed).
class HeadlessSurface : public QzGameSurface {
public:
    ~HeadlessSurface() override { release(); }

    bool create(int width, int height, std::string* error) {
        gl_ = QzOffscreenGL::create(16, 16, error);
        if (!gl_) return false;
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &color_);
        return resize(width, height, error);
    }

    bool resize(int width, int height, std::string* error) {
        glBindRenderbuffer(GL_RENDERBUFFER, color_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            *error = "the off-screen framebuffer of " + std::to_string(width) + "x" + std::to_string(height) +
                     " is not supported";
            return false;
        }
        width_ = width;
        height_ = height;
        QzApplyHostGLState(width, height);
        return true;
    }

    bool makeCurrent() override {
        if (!gl_ || !gl_->makeCurrent()) return false;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        return true;
    }
    void present() override {}

    bool writeScreenshot(const std::string& path, std::string* error) {
        makeCurrent();
        std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return QzWritePNG(path, pixels, width_, height_, error);
    }

    void release() {
        if (!gl_) return;
        gl_->makeCurrent();
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &color_);
        gl_.reset();
    }

private:
    std::unique_ptr<QzOffscreenGL> gl_;  // owned; current on the game thread only
    GLuint framebuffer_ = 0;
    GLuint color_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// Makes the game clock follow a fixed-step reading for its lifetime.
class FixedStepClock {
public:
    explicit FixedStepClock(std::function<float()> reading) { QzDate::setTimeSource(std::move(reading)); }
    ~FixedStepClock() { QzDate::setTimeSource(nullptr); }
    FixedStepClock(const FixedStepClock&) = delete;
    FixedStepClock& operator=(const FixedStepClock&) = delete;
};

bool readTimeline(const std::string& path, std::vector<QzTimedInputEvent>* events) {
    if (path.empty()) return true;
    std::ifstream in(path);
    std::string error;
    if (!in) error = "cannot be read";
    if (in && QzReadInputTimeline(in, events, &error)) return true;
    std::fprintf(stderr, "quillane-player: input timeline '%s': %s\n", path.c_str(), error.c_str());
    return false;
}

bool writeScreenshot(QzGameView* view, HeadlessSurface* surface, const std::string& path) {
    bool written = false;
    std::string error;
    view->thread().postAndWait([&] { written = surface->writeScreenshot(path, &error); });
    if (!written) std::fprintf(stderr, "quillane-player: screenshot: %s\n", error.c_str());
    return written;
}

// A timeline's game controllers: a pad is plugged in by its first line (or a gamepadAdded
// line) and named "Timeline pad N"; adding a pad twice or removing one that is not there is
// ignored with a message.
void deliverGamepadEntry(const QzTimedInputEvent& entry, std::set<int>* pads, QzPlayerSession* session) {
    const QzInputEvent& event = entry.event;
    const bool plugged = pads->count(event.pad) > 0;
    const bool adding = event.kind == QzInputEvent::Kind::GamepadAdded;
    const bool removing = event.kind == QzInputEvent::Kind::GamepadRemoved;
    if ((adding && plugged) || (removing && !plugged)) {
        std::fprintf(stderr, "quillane-player: frame %ld: %s %d ignored: pad %d is %s\n", entry.frame,
                     QzInputFunctionName(event.kind), event.pad, event.pad, plugged ? "plugged in already" : "not plugged in");
        return;
    }
    if (!plugged) {
        pads->insert(event.pad);
        session->deliverInput({QzInputEvent::Kind::GamepadAdded, "Timeline pad " + std::to_string(event.pad), 0, 0,
                               event.pad});
        if (adding) return;
    }
    if (removing) pads->erase(event.pad);
    session->deliverInput(event);
}

// Hands one timeline entry to the game before its frame. Typed text goes to the text panel
// and finishes it, as a player typing and pressing Return would; without a panel it is
// ignored with a message. Pause and play are the window losing and getting the focus.
void deliverTimelineEntry(const QzTimedInputEvent& entry, QzGameView* view, QzPlayerSession* session,
                          std::set<int>* pads) {
    switch (entry.action) {
    case QzTimedInputEvent::Action::Pause: view->pauseWaitUntilDone(true, true); return;
    case QzTimedInputEvent::Action::Play: view->playWaitUntilDone(true); return;
    case QzTimedInputEvent::Action::Screenshot: return;
    case QzTimedInputEvent::Action::Wait: QzWaitForInputLine(entry.frame); return;
    case QzTimedInputEvent::Action::Input: break;
    }
    if (QzIsGamepadEvent(entry.event.kind)) {
        deliverGamepadEntry(entry, pads, session);
        return;
    }
    if (entry.event.kind != QzInputEvent::Kind::Text) {
        session->deliverInput(entry.event);
        return;
    }
    if (!session->panelShowing()) {
        std::fprintf(stderr, "quillane-player: frame %ld: text \"%s\" ignored: no text panel is showing\n",
                     entry.frame, entry.event.text.c_str());
        return;
    }
    session->deliverInput(entry.event);
    session->deliverInput({QzInputEvent::Kind::KeyDown, "return", 0, 0});
}

// Prints the costs of the second of game time that the frame ended, if it ended one: "stats
// 2s: 60 frames, ..." at the frame whose end reaches 2 s.
void printCostsEachSecond(long frame, double dt, QzPlayerSession* session) {
    // A little slack, so that 60 steps of 1/60 s end the first second at frame 60.
    const auto wholeSeconds = [dt](long frames) { return static_cast<long>(std::floor(frames * dt + 1e-9)); };
    const long second = wholeSeconds(frame);
    if (second > wholeSeconds(frame - 1))
        std::printf("stats %lds: %s\n", second, session->takeCostsSinceLastCall().c_str());
}

}  // namespace

int QzRunHeadless(const QzPlayerOptions& options, const QzBundle& bundle, const std::string& savePath) {
    std::vector<QzTimedInputEvent> timeline;
    if (!readTimeline(options.input, &timeline)) return kQzExitUsage;
    std::unique_ptr<QzAudioRecorder> recorder;
    std::string error;
    if (!options.audio.empty() && !(recorder = QzAudioRecorder::open(&error))) {
        std::fprintf(stderr, "quillane-player: --audio: cannot record sound: %s\n", error.c_str());
        return kQzExitNoRecorder;
    }
    // A check first has the engine script read the whole project (checkProject), then visits
    // every scene game.xml lists for two frames: building a scene reports its documents,
    // pictures, sounds and behaviours that do not load, and what its behaviours do at start.
    const std::vector<std::string> checkedScenes = options.check ? QzProjectSceneNames(bundle.projectPath)
                                                                 : std::vector<std::string>{};
    constexpr long kFramesPerCheckedScene = 2;
    const long frames = options.check ? std::max<long>(1, kFramesPerCheckedScene * checkedScenes.size())
                        : options.frames < 0 ? 60 : options.frames;

    HeadlessSurface surface;
    long frame = 0;  // game thread
    // The game clock, which the frame loop and the scripts read, advances by the fixed step.
    const FixedStepClock clock([&] { return static_cast<float>(frame * options.dt); });
    QzGameView view(&surface, false);
    bool ready = false;
    view.thread().postAndWait([&] {
        ready = surface.create(options.width > 0 ? options.width : kDefaultWidth,
                               options.height > 0 ? options.height : kDefaultHeight, &error);
    });
    if (!ready) {
        std::fprintf(stderr, "quillane-player: no off-screen OpenGL context: %s\n", error.c_str());
        return kQzExitNoDisplay;
    }

    std::atomic<bool> ended{false};
    QzSessionHooks hooks;
    hooks.debug = options.debug;
    hooks.interrupt = &QzPlayerInterrupt();
    hooks.memoryLimitBytes = static_cast<size_t>(options.memoryLimitMegabytes) << 20;
    hooks.stats = options.stats;
    hooks.gameDidEnd = [&] { ended = true; };
    hooks.openURL = [](const std::string& address) {
        std::printf("openURL: %s (not opened: headless)\n", address.c_str());
        std::fflush(stdout);
    };
    QzPlayerSession session(bundle, savePath, &view, hooks);
    // Watched from before the game loads, so that nothing saved meanwhile is missed.
    std::unique_ptr<QzProjectWatcher> watcher;
    if (options.watch) watcher = QzProjectWatcher::startOrWarn(bundle.projectPath);

    int width = options.width, height = options.height;
    view.thread().postAndWait([&] {
        session.loadGame();
        if (options.check && session.engine()) session.engine()->checkProject();
        if (width == 0) session.engine()->intendedDisplaySize(&width, &height);
        if (width <= 0 || height <= 0) {
            width = kDefaultWidth;
            height = kDefaultHeight;
        }
        ready = surface.resize(width, height, &error);
    });
    if (!ready) {
        std::fprintf(stderr, "quillane-player: %s\n", error.c_str());
        return kQzExitNoDisplay;
    }
    view.setOriginalAspectRatio(static_cast<float>(width) / height);
    view.reshape(width, height, width, height);
    view.playWaitUntilDone(true);

    int status = kQzExitOK;
    size_t next = 0;
    std::set<int> pads;  // the game controllers the timeline has plugged in
    for (long current = 1; current <= frames && !ended && !QzQuitSignal(); ++current) {
        std::vector<std::string> screenshots;
        for (; next < timeline.size() && timeline[next].frame <= current; ++next) {
            if (timeline[next].action == QzTimedInputEvent::Action::Screenshot)
                screenshots.push_back(timeline[next].event.text);
            else
                deliverTimelineEntry(timeline[next], &view, &session, &pads);
        }
        // Changes saved before this frame (and after the timeline's waits) load before it runs.
        if (watcher) {
            const QzProjectWatcher::Changes changes = watcher->takeChanges();
            if (!changes.empty()) view.thread().postAndWait([&] { session.reloadChangedFiles(changes); });
        }
        if (options.check && (current - 1) % kFramesPerCheckedScene == 0 &&
            static_cast<size_t>((current - 1) / kFramesPerCheckedScene) < checkedScenes.size()) {
            const std::string& scene = checkedScenes[(current - 1) / kFramesPerCheckedScene];
            view.thread().postAndWait([&] { Qz_SetShouldChangeToScene(session.engine()->state(), scene.c_str()); });
        }
        view.thread().postAndWait([&] {
            frame = current;
            view.animating() ? view.drawView() : view.refreshView();
            if (recorder) recorder->renderUntil(current * options.dt);
        });
        QzMainQueueRunPending();
        if (QzQuitSignal()) break;
        if (options.stats) printCostsEachSecond(current, options.dt, &session);
        for (const std::string& path : screenshots) {
            if (!writeScreenshot(&view, &surface, path)) status = kQzExitUsage;
        }
    }

    if (const int signal = QzQuitSignal()) {
        // An interrupted run made no finished picture or recording: nothing is written.
        session.shutdown();
        view.thread().postAndWait([&] { surface.release(); });
        std::fprintf(stderr, "quillane-player: stopped by signal %d; no screenshot or recording written\n", signal);
        return 128 + signal;
    }
    if (!options.screenshot.empty() && !writeScreenshot(&view, &surface, options.screenshot)) status = kQzExitUsage;
    if (recorder && !recorder->writeWav(options.audio, &error)) {
        std::fprintf(stderr, "quillane-player: --audio: %s\n", error.c_str());
        status = kQzExitUsage;
    }
    if (options.stats) std::printf("stats total: %s\n", session.costsOfTheRun().c_str());
    session.shutdown();
    const int errors = session.errorCount();
    view.thread().postAndWait([&] { surface.release(); });
    if (options.check)
        std::fprintf(stderr, "quillane-player: checked %zu scene(s) of %s: %d problem(s)\n", checkedScenes.size(),
                     bundle.projectPath.c_str(), errors);
    if (errors > 0) {
        if (!options.check) std::fprintf(stderr, "quillane-player: %d problem(s) reported\n", errors);
        return kQzExitScriptError;
    }
    return status;
}
