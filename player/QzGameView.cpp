// The game view's frame loop, engine-call brackets, geometry and input posting.
#include "QzGameView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <GL/gl.h>

#include "QzDate.h"
#include "nodes/spriteRenderers/SGSpriteBatcher.h"

QzGameView::QzGameView(QzGameSurface* surface, bool frameTimer) : surface_(surface), frameTimer_(frameTimer) {}

QzGameView::~QzGameView() {
    thread_.postAndWait([this] { stopAnimation(); });
}

void QzGameView::setEngine(QzPlayerEngine* engine) { engine_ = engine; }

void QzGameView::setOverlay(Overlay overlay) {
    std::lock_guard lock(contextLock_);
    overlay_ = std::move(overlay);
}

void QzGameView::setErrorObserver(std::function<void(const LuaErrorException&)> observer) {
    thread_.postAndWait([&] { errorObserver_ = std::move(observer); });
}

void QzGameView::setFrameObserver(std::function<void(const QzFrameCost&)> observer) {
    thread_.postAndWait([&] { frameObserver_ = std::move(observer); });
}

bool QzGameView::hasCallbacks() {
    bool any = false;
    thread_.postAndWait([&] {
        std::lock_guard lock(contextLock_);
        any = overlay_ || errorObserver_ || frameObserver_;
    });
    return any;
}

void QzGameView::scriptFailed(const char* where, const LuaErrorException& error) {
    std::fprintf(stderr, "%s: Lua Error caught (and ignored): %s\n", where, error.luaError().c_str());
    if (QzPlayerEngine* engine = engine_) engine->reportProblem(error.luaError());
    if (errorObserver_) errorObserver_(error);
}

void QzGameView::bracket(const std::function<void(QzState*)>& call) {
    QzPlayerEngine* engine = engine_;
    if (!engine) return;
    surface_->makeCurrent();
    engine->makeOpenALContextCurrent();
    std::lock_guard context(contextLock_);
    QzEngineLock state(*engine);
    call(engine->state());
}

// The lifecycle calls give back no status: a failure shows as a new silent error.
void QzGameView::play() {
    bracket([this](QzState* state) {
        Qz_ClearLastSilentError(state);
        Qz_Play(state);
        checkSilentCall("QzGameView play", Qz_LastSilentError(state) != nullptr);
    });
    resetTimebase();
    // The time spent paused is no frame's.
    lastFrameStart_.reset();
    startAnimation();
}

void QzGameView::pauseInitiatedBySystem(bool system) {
    stopAnimation();
    bracket([this, system](QzState* state) {
        Qz_ClearLastSilentError(state);
        if (system)
            Qz_SystemInitiatedPause(state);
        else
            Qz_BehaviorInitiatedPause(state);
        checkSilentCall("QzGameView pause", Qz_LastSilentError(state) != nullptr);
    });
}

void QzGameView::stop() {
    stopAnimation();
    bracket([this](QzState* state) { checkSilentCall("QzGameView stop", Qz_Stop(state)); });
}

void QzGameView::resetTimebase() { currentTime_ = QzDate::getTimeAsFloat(); }

void QzGameView::startAnimation() {
    if (animating_) return;
    const auto interval = std::chrono::nanoseconds(1'000'000'000LL * animationFrameInterval_ / 60);
    if (frameTimer_) thread_.startTimer(interval, [this] { drawView(); });
    animating_ = true;
}

void QzGameView::stopAnimation() {
    thread_.stopTimer();
    animating_ = false;
}

QzGameView::Layout QzGameView::takeLayout() {
    std::lock_guard lock(geometryMutex_);
    const Layout layout{geometry_, pointWidth_, pointHeight_, backingWidth_, backingHeight_, viewportChanged_};
    viewportChanged_ = false;
    return layout;
}

void QzGameView::applyViewport(const Layout& layout) {
    const QzViewGeometry& geometry = layout.geometry;
    if (geometry.clip) {
        // In full screen the game may clear; only its viewport is its own, the bars stay black.
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(geometry.viewportX, geometry.viewportY, geometry.viewportWidth, geometry.viewportHeight);
        glEnable(GL_SCISSOR_TEST);
    }
    // Until the view knows its size, there is no projection to make: glOrtho refuses an
    // empty one and leaves an error for the next check to report.
    if (!layout.viewportChanged || layout.pointWidth <= 0 || layout.pointHeight <= 0) return;
    glViewport(geometry.viewportX, geometry.viewportY, geometry.viewportWidth, geometry.viewportHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, layout.pointWidth, 0, layout.pointHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
}

void QzGameView::drawOverlay(const Layout& layout) {
    glDisable(GL_SCISSOR_TEST);
    const int width = layout.backingWidth, height = layout.backingHeight;
    if (!overlay_ || width <= 0 || height <= 0) return;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    overlay_(width, height);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    const QzViewGeometry& geometry = layout.geometry;
    glViewport(geometry.viewportX, geometry.viewportY, geometry.viewportWidth, geometry.viewportHeight);
}

void QzGameView::checkSilentCall(const char* where, int status) {
    QzPlayerEngine* engine = engine_;
    if (status == 0 || !engine) return;
    const char* message = Qz_LastSilentError(engine->state());
    scriptFailed(where, LuaErrorException(message ? message : "(no message)", std::nullopt));
    Qz_ClearLastSilentError(engine->state());
}

void QzGameView::drawFrame() {
    const float now = QzDate::getTimeAsFloat();
    const float elapsed = now - currentTime_;
    currentTime_ = now;
    QzPlayerEngine* engine = engine_;
    if (!engine) return;
    int status;
    {
        QzEngineLock state(*engine);
        status = Qz_Update(engine->state(), elapsed);
    }
    checkSilentCall("QzGameView drawFrame", status);
}

void QzGameView::renderFrame() {
    QzPlayerEngine* engine = engine_;
    int status;
    {
        QzEngineLock state(*engine);
        status = Qz_Render(engine->state());
    }
    checkSilentCall("QzGameView refreshFrame", status);
}

void QzGameView::tick(void (QzGameView::*draw)()) {
    QzPlayerEngine* engine = engine_;
    // While the scripts are being stopped (the player is quitting), no frame starts.
    if (engine && engine->interrupted()) return;
    surface_->makeCurrent();
    if (engine) engine->makeOpenALContextCurrent();
    {
        std::lock_guard context(contextLock_);
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        const SGDrawCounters before = SGSpriteBatcher::shared().counters();
        const Layout layout = takeLayout();
        applyViewport(layout);
        if (drawingEnabled_ && engine) {
            (this->*draw)();
        } else {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        const Clock::time_point drawn = Clock::now();
        const SGDrawCounters after = SGSpriteBatcher::shared().counters();
        drawOverlay(layout);
        const Clock::time_point overlaid = Clock::now();
        glFinish();
        // Only frames that advance the game count. What the scene graph drew counts as drawing,
        // the rest of the frame call as script; the overlay's own calls are left out (OpenGL
        // may still finish its pixels in the wait).
        if (draw == &QzGameView::drawFrame) {
            const double rendering = after.renderSeconds - before.renderSeconds;
            const auto seconds = [](Clock::duration span) { return std::chrono::duration<double>(span).count(); };
            const QzFrameCost cost{lastFrameStart_ ? seconds(start - *lastFrameStart_) : 0,
                                   std::max(0.0, seconds(drawn - start) - rendering),
                                   rendering + seconds(Clock::now() - overlaid), after.drawCalls - before.drawCalls,
                                   after.sprites - before.sprites};
            lastFrameStart_ = start;
            if (frameObserver_) frameObserver_(cost);
        }
    }
    surface_->present();
}

void QzGameView::drawView() { tick(&QzGameView::drawFrame); }

void QzGameView::refreshView() { tick(&QzGameView::renderFrame); }

void QzGameView::requestRedraw() {
    thread_.post([this] {
        if (!animating_) refreshView();
    });
}

void QzGameView::setDrawingEnabled(bool enabled) {
    drawingEnabled_ = enabled;
    if (enabled) requestRedraw();
}

void QzGameView::reshape(int backingWidth, int backingHeight, int pointWidth, int pointHeight) {
    {
        std::lock_guard lock(geometryMutex_);
        geometry_ = QzComputeViewGeometry(backingWidth, backingHeight, fullScreen_, cropToFit_, originalAspectRatio_);
        pointWidth_ = pointWidth;
        pointHeight_ = pointHeight;
        backingWidth_ = backingWidth;
        backingHeight_ = backingHeight;
        viewportChanged_ = true;
    }
    // The script may draw or set up drawing when told the size, so it hears of it on the
    // game thread, where the context is current.
    thread_.post([this, pointWidth, pointHeight] { updateScreenSize(pointWidth, pointHeight); });
}

void QzGameView::updateScreenSize(int width, int height) {
    bracket([width, height](QzState* state) { Qz_SetScreenSize(state, width, height); });
}

QzViewGeometry QzGameView::geometry() {
    std::lock_guard lock(geometryMutex_);
    return geometry_;
}

void QzGameView::mapPoint(double x, double y, float* gameX, float* gameY) {
    std::lock_guard lock(geometryMutex_);
    // Backing pixels per point: 1 except on high-density displays.
    const double scale = pointWidth_ > 0 && backingWidth_ > 0 ? static_cast<double>(backingWidth_) / pointWidth_ : 1.0;
    float backingX, backingY;
    QzMapViewPoint(geometry_, x * scale, y * scale, &backingX, &backingY);
    *gameX = static_cast<float>(backingX / scale);
    *gameY = static_cast<float>(backingY / scale);
}

void QzGameView::postEvent(const QzInputEvent& event) {
    const char* function = QzInputFunctionName(event.kind);
    if (!function) return;
    using Kind = QzInputEvent::Kind;
    const auto pad = static_cast<float>(event.pad);
    std::vector<QzScriptArgument> arguments;
    switch (event.kind) {
    case Kind::KeyDown:
    case Kind::KeyUp: arguments = {event.text}; break;
    case Kind::GamepadDown:
    case Kind::GamepadUp: arguments = {event.text, pad}; break;
    case Kind::GamepadAxis: arguments = {event.text, event.x, pad}; break;
    case Kind::GamepadAdded: arguments = {pad, event.text}; break;
    case Kind::GamepadRemoved: arguments = {pad}; break;
    default: arguments = {event.x, event.y}; break;
    }
    const bool gamepad = QzIsGamepadEvent(event.kind);
    thread_.post([this, function, arguments, gamepad] {
        QzPlayerEngine* engine = engine_;
        if (!engine) return;
        // An engine script that knows nothing of game controllers ignores them.
        if (gamepad && !engine->hasFunction(function)) return;
        try {
            engine->callFunction(function, arguments);
        } catch (const LuaErrorException& error) {
            scriptFailed("LuaState runLoop", error);
        }
    });
}

void QzGameView::callScript(const char* function, const std::vector<QzScriptArgument>& arguments) {
    QzPlayerEngine* engine = engine_;
    if (!engine) return;
    surface_->makeCurrent();
    engine->makeOpenALContextCurrent();
    std::lock_guard context(contextLock_);
    try {
        engine->callFunction(function, arguments);
    } catch (const LuaErrorException& error) {
        scriptFailed(function, error);
    }
}

void QzGameView::playWaitUntilDone(bool wait) {
    auto task = [this] {
        try {
            play();
        } catch (const LuaErrorException& error) {
            scriptFailed("QzGameView play", error);
        }
    };
    wait ? thread_.postAndWait(task) : thread_.post(task);
}

void QzGameView::pauseWaitUntilDone(bool wait, bool initiatedBySystem) {
    auto task = [this, initiatedBySystem] { pauseInitiatedBySystem(initiatedBySystem); };
    wait ? thread_.postAndWait(task) : thread_.post(task);
}

void QzGameView::stopWaitUntilDone(bool wait) {
    auto task = [this] { stop(); };
    wait ? thread_.postAndWait(task) : thread_.post(task);
}
