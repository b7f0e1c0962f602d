// The session's start-up, shutdown, script services and overlay drawing.
#include "QzPlayerSession.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "SoundManager.h"

QzPlayerSession::QzPlayerSession(const QzBundle& bundle, std::string savePath, QzGameView* view,
                                 QzSessionHooks hooks)
    : bundle_(bundle), savePath_(std::move(savePath)), view_(view), hooks_(std::move(hooks)),
      statsShown_(hooks_.stats),
      toasts_(hooks_.toasts ? std::make_unique<QzProblemToasts>(bundle_.projectPath) : nullptr) {
    view_->setOverlay([this](int width, int height) { drawOverlay(width, height); });
    view_->setFrameObserver([this](const QzFrameCost& cost) { addFrame(cost); });
    view_->setErrorObserver([this](const LuaErrorException& error) {
        std::lock_guard lock(overlayMutex_);
        lastError_ = error.luaError() + (error.luaStackTrace() ? "\n" + *error.luaStackTrace() : "");
    });
}

// The view outlives the session: its callbacks, which capture the session, go with it.
QzPlayerSession::~QzPlayerSession() {
    shutdown();
    view_->setOverlay(nullptr);
    view_->setErrorObserver(nullptr);
    view_->setFrameObserver(nullptr);
}

void QzPlayerSession::loadGame() {
    engine_ = std::make_unique<QzPlayerEngine>(bundle_.enginePath, savePath_, hooks_.interrupt,
                                               hooks_.memoryLimitBytes);
    engine_->registerHostServices(
        [this](const std::string& prompt, const std::string& initialValue) { keyboardInput(prompt, initialValue); },
        [this](const std::string& target) {
            if (hooks_.openURL) hooks_.openURL(target);
        },
        bundle_.folder);
    engine_->setGameDidEnd(hooks_.gameDidEnd);
    QzState* state = engine_->state();
    Qz_LoadGame(state, bundle_.projectPath.c_str());
    const auto report = [this](const std::string& problem) {
        std::fprintf(stderr, "quillane-player: %s\n", problem.c_str());
        engine_->reportProblem(problem);
    };
    if (const char* message = Qz_LastSilentError(state)) {
        report(std::string("loading the game project failed: ") + message);
        Qz_ClearLastSilentError(state);
    }
    if (Qz_Reset(state) != 0) {
        const char* message = Qz_LastSilentError(state);
        report(std::string("reset failed: ") + (message ? message : "(no message)"));
        Qz_ClearLastSilentError(state);
    }
    view_->setEngine(engine_.get());
    view_->setDrawingEnabled(true);
    view_->setCropToFit(bundle_.info.overscan);
}

void QzPlayerSession::stopFrames() {
    QzScriptInterrupt* interrupt = hooks_.interrupt;
    view_->thread().postAndWait(
        [this, interrupt] {
            view_->stopAnimation();
            if (interrupt) interrupt->clear();
        },
        kQuitGrace,
        [interrupt] {
            if (interrupt) interrupt->request("the player is quitting");
        });
}

void QzPlayerSession::shutdown() {
    stopFrames();
    view_->stopWaitUntilDone(true);
    view_->thread().postAndWait([this] {
        // A stop that was stopped does not take shutdownEngine with it.
        if (hooks_.interrupt) hooks_.interrupt->clear();
        if (engine_) errorsAtShutdown_ = engine_->errorCount();
        view_->setEngine(nullptr);
        engine_.reset();
        // The game thread's context is still current: the last frame made it so.
        costs_.release();
        if (toasts_) toasts_->release();
    });
}

void QzPlayerSession::reloadChangedFiles(const std::vector<std::string>& files) {
    constexpr const char* kReload = "projectFilesChanged";
    if (!engine_ || files.empty()) return;
    if (!engine_->hasFunction(kReload)) {
        if (!reloadRefused_)
            std::fprintf(stderr, "quillane-player: --watch: this game's engine script has no %s function, so "
                                 "changed files are not reloaded; play it with the engine script the player ships\n",
                         kReload);
        reloadRefused_ = true;
        return;
    }
    view_->callScript(kReload, std::vector<QzScriptArgument>(files.begin(), files.end()));
    // A paused game draws no frame by itself: the change shows at once all the same.
    view_->requestRedraw();
}

int QzPlayerSession::errorCount() {
    int count = 0;
    view_->thread().postAndWait([&] { count = engine_ ? engine_->errorCount() : errorsAtShutdown_; });
    return count;
}

// Runs on the game thread inside a script call, so the answer is always raised later, from
// the game thread's queue, never re-entering the script that asked.
void QzPlayerSession::keyboardInput(const std::string& prompt, const std::string& initialValue) {
    if (!view_->animating()) {
        answerTextRequest("");
        return;
    }
    {
        std::lock_guard lock(overlayMutex_);
        if (panelShowing_) {
            // A second request while the panel shows gets its own empty answer; the first
            // keeps the panel.
            answerTextRequest("");
            return;
        }
        entry_.begin(prompt, initialValue);
        panelShowing_ = true;
    }
    view_->pauseWaitUntilDone(false, false);
    view_->requestRedraw();
}

void QzPlayerSession::answerTextRequest(const std::string& text) {
    view_->thread().post([this, text] {
        if (!engine_) return;
        const char* arguments[] = {text.c_str()};
        QzEngineLock guard(*engine_);
        Qz_RaiseExternalEvent(engine_->state(), "keyboardInputEntered", arguments, 1);
    });
}

bool QzPlayerSession::panelShowing() {
    std::lock_guard lock(overlayMutex_);
    return panelShowing_;
}

bool QzPlayerSession::deliverInput(const QzInputEvent& event) {
    std::string answer;
    {
        std::lock_guard lock(overlayMutex_);
        // The text panel takes keys and typed text; game controllers still reach the game,
        // which keeps track of its pads while it is paused under the panel.
        if (!panelShowing_ || QzIsGamepadEvent(event.kind)) {
            view_->postEvent(event);
            return true;
        }
        const QzTextEntry::Outcome outcome = entry_.apply(event);
        // The game is paused under the panel, so nothing else draws the edit.
        view_->requestRedraw();
        if (outcome == QzTextEntry::Outcome::Editing) return false;
        panelShowing_ = false;
        answer = entry_.answer();
    }
    answerTextRequest(answer);
    view_->playWaitUntilDone(false);
    return false;
}

void QzPlayerSession::setIntro(std::shared_ptr<const QzOverlayImage> image, float opacity, double movieAspect) {
    std::lock_guard lock(overlayMutex_);
    intro_ = opacity > 0 ? std::move(image) : nullptr;
    introOpacity_ = opacity;
    introMovieAspect_ = movieAspect;
}

void QzPlayerSession::drawIntro(int width, int height) {
    if (introMovieAspect_ <= 0) {
        // The loading picture fills the view over a black ground, both fading together, so
        // the fade goes from black to the game and never flashes white.
        QzFillOverlayRect(0, 0, width, height, {0, 0, 0, introOpacity_});
        QzDrawOverlayImage(*intro_, 0, 0, width, height, {1, 1, 1, introOpacity_});
        return;
    }
    // A movie picture keeps its shape, centred on black; its rows come top-down, so it is
    // drawn from its top edge downwards.
    const float fitted = std::min<float>(width, height * introMovieAspect_);
    const float shownHeight = std::min<float>(height, fitted / introMovieAspect_);
    const float x = (width - fitted) / 2, top = (height + shownHeight) / 2;
    QzFillOverlayRect(0, 0, width, height, {0, 0, 0, introOpacity_});
    QzDrawOverlayImage(*intro_, x, top, fitted, -shownHeight, {1, 1, 1, introOpacity_});
}

void QzPlayerSession::addFrame(const QzFrameCost& cost) {
    costs_.addFrame(cost);
    costsSinceLastCall_.add(cost);
    costsOfTheRun_.add(cost);
}

QzEngineGauges QzPlayerSession::readGauges() {
    return engine_ ? engine_->gauges() : QzEngineGauges{0, 0, SoundManager::kPoolSize, 0};
}

std::string QzPlayerSession::formatCosts(const QzFrameCostTotals& totals) {
    return std::to_string(totals.frames) + " frames, " + QzFormatFrameCosts(totals, readGauges(), ", ");
}

std::string QzPlayerSession::takeCostsSinceLastCall() {
    std::string line;
    view_->thread().postAndWait([&] {
        line = formatCosts(costsSinceLastCall_);
        costsSinceLastCall_ = {};
    });
    return line;
}

std::string QzPlayerSession::costsOfTheRun() {
    std::string line;
    view_->thread().postAndWait([&] { line = formatCosts(costsOfTheRun_); });
    return line;
}

void QzPlayerSession::drawOverlay(int width, int height) {
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (toasts_) {
        if (engine_)
            for (const std::string& problem : engine_->takeProblems()) toasts_->add(problem, now);
        toasts_->draw(width, now);
    }
    if (statsShown_) costs_.draw(height, now, [this] { return readGauges(); });
    std::lock_guard lock(overlayMutex_);
    if (intro_) drawIntro(width, height);
    if (panelShowing_) drawPanel(width, height);
    if (hooks_.debug && !lastError_.empty()) drawLastError(width, height);
}

void QzPlayerSession::drawPanel(int width, int height) {
    constexpr int kFontSize = 16, kMargin = 12;
    QzFillOverlayRect(0, 0, width, height, {0, 0, 0, 0.5f});
    const float panelWidth = std::min(width - 2.0f * kMargin, 440.0f);
    const float panelHeight = 4.0f * kFontSize + 3 * kMargin;
    const float x = (width - panelWidth) / 2, y = (height - panelHeight) / 2;
    QzFillOverlayRect(x, y, panelWidth, panelHeight, {0.93f, 0.93f, 0.93f, 1});
    const QzOverlayImage prompt = QzRenderOverlayText(entry_.prompt(), kFontSize, static_cast<int>(panelWidth) - 2 * kMargin);
    QzDrawOverlayImage(prompt, x + kMargin, y + panelHeight - kMargin - prompt.height, prompt.width, prompt.height,
                       {0.1f, 0.1f, 0.1f, 1});
    const float fieldHeight = 1.6f * kFontSize;
    QzFillOverlayRect(x + kMargin, y + kMargin, panelWidth - 2 * kMargin, fieldHeight, {1, 1, 1, 1});
    const QzOverlayImage text = QzRenderOverlayText(entry_.text(), kFontSize, 0);
    const float textY = y + kMargin + (fieldHeight - text.height) / 2;
    // The initial text starts selected: the first character typed replaces it.
    if (entry_.selected())
        QzFillOverlayRect(x + 2 * kMargin, y + kMargin + 3, text.width, fieldHeight - 6, {0.6f, 0.78f, 1, 1});
    QzDrawOverlayImage(text, x + 2 * kMargin, textY, text.width, text.height, {0, 0, 0, 1});
    const int cursorX = QzMeasureOverlayText(entry_.text().substr(0, entry_.cursor()), kFontSize);
    QzFillOverlayRect(x + 2 * kMargin + cursorX, y + kMargin + 3, 1.5f, fieldHeight - 6, {0, 0, 0, 1});
}

void QzPlayerSession::drawLastError(int width, int height) {
    constexpr int kFontSize = 12, kMargin = 6;
    const QzOverlayImage text = QzRenderOverlayText(lastError_, kFontSize, width - 2 * kMargin);
    const float boxHeight = std::min<float>(text.height + 2 * kMargin, height);
    QzFillOverlayRect(0, height - boxHeight, width, boxHeight, {0.35f, 0, 0, 0.85f});
    QzDrawOverlayImage(text, kMargin, height - kMargin - text.height, text.width, text.height, {1, 1, 1, 1});
}
