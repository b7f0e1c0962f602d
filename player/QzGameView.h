// The game view: the frame loop on the game thread, the display geometry, and input
// mapping, drawing into a surface (a window's OpenGL context or an off-screen one).
#ifndef QZ_GAME_VIEW_H
#define QZ_GAME_VIEW_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "QzFrameTiming.h"
#include "QzGameGeometry.h"
#include "QzGameThread.h"
#include "QzInputEvent.h"
#include "QzPlayerEngine.h"

// Where the game view draws. Every call comes from the game thread.
class QzGameSurface {
public:
    virtual ~QzGameSurface() = default;
    virtual bool makeCurrent() = 0;
    // Shows the finished frame.
    virtual void present() = 0;
};

class QzGameView {
public:
    // Draws over the finished frame, with the whole view as viewport and one unit per
    // backing pixel (origin at the lower left). Called on the game thread.
    using Overlay = std::function<void(int viewWidth, int viewHeight)>;

    // Starts the game thread. The surface must outlive the view. A view without a frame
    // timer (headless runs) animates only when its driver calls drawView. Frames advance
    // by the game clock, QzDate::getTimeAsFloat, the clock scripts read too.
    explicit QzGameView(QzGameSurface* surface, bool frameTimer = true);
    // Stops the loop and joins the game thread.
    ~QzGameView();

    QzGameThread& thread() { return thread_; }

    // Attaches the engine (borrowed; it must outlive its use here, and is detached with null).
    void setEngine(QzPlayerEngine* engine);
    // Enabling drawing asks for a redraw, so the game's picture replaces the black one.
    void setDrawingEnabled(bool enabled);
    void setCropToFit(bool crop) { cropToFit_ = crop; }
    void setFullScreen(bool fullScreen) { fullScreen_ = fullScreen; }
    bool fullScreen() const { return fullScreen_; }
    void setOriginalAspectRatio(float ratio) { originalAspectRatio_ = ratio; }
    float originalAspectRatio() const { return originalAspectRatio_; }
    // Ticks of 1/60 s per frame, from the next play on; 0 draws frames back to back
    // (for benchmarks, with vertical sync off).
    void setAnimationFrameInterval(int ticks) { animationFrameInterval_ = ticks < 0 ? 1 : ticks; }
    bool animating() const { return animating_; }
    void setOverlay(Overlay overlay);
    // Called on the game thread with each script error the view catches.
    void setErrorObserver(std::function<void(const LuaErrorException&)> observer);
    // Called on the game thread after each frame that advanced the game, with what it cost.
    void setFrameObserver(std::function<void(const QzFrameCost&)> observer);
    // Whether an overlay, an error observer or a frame observer is set.
    bool hasCallbacks();

    // Recomputes the geometry for a view of the given backing pixels and point size and,
    // on the game thread, tells the engine the screen size (the point size).
    void reshape(int backingWidth, int backingHeight, int pointWidth, int pointHeight);
    QzViewGeometry geometry();
    // Maps a view position in points with the origin at the lower left to game coordinates.
    void mapPoint(double x, double y, float* gameX, float* gameY);

    // Hands an input event to the script on the game thread, after earlier events.
    void postEvent(const QzInputEvent& event);
    // Game thread: calls the script global with the view's contexts current (a script may
    // make textures and sounds); a script error is reported as a frame's is.
    void callScript(const char* function, const std::vector<QzScriptArgument>& arguments);

    // Game-thread operations.
    void play();
    void pauseInitiatedBySystem(bool system);
    void stop();
    void drawView();
    void refreshView();
    // Redraws the current picture without advancing the game, on the game thread after the
    // work posted before, unless the frame loop is running (its next frame draws anyway).
    // From any thread.
    void requestRedraw();
    void resetTimebase();
    void startAnimation();
    void stopAnimation();

    // The same, run on the game thread from any thread.
    void playWaitUntilDone(bool wait);
    void pauseWaitUntilDone(bool wait, bool initiatedBySystem);
    void stopWaitUntilDone(bool wait);

private:
    void drawFrame();
    void renderFrame();
    // One tick: current contexts, context lock, the draw (or black while drawing is off),
    // the overlay, glFinish, unlock, present.
    void tick(void (QzGameView::*draw)());
    // Logs and counts a failed silent engine call.
    void checkSilentCall(const char* where, int status);
    // Runs an engine call under both locks, context first, on a current context.
    void bracket(const std::function<void(QzState*)>& call);
    struct Layout {
        QzViewGeometry geometry;
        int pointWidth, pointHeight, backingWidth, backingHeight;
        bool viewportChanged;
    };
    // The geometry as of now; clears the viewport-changed mark.
    Layout takeLayout();
    void applyViewport(const Layout& layout);
    void drawOverlay(const Layout& layout);
    void updateScreenSize(int width, int height);
    void scriptFailed(const char* where, const LuaErrorException& error);

    QzGameSurface* surface_;  // borrowed
    std::atomic<QzPlayerEngine*> engine_{nullptr};  // borrowed
    std::mutex contextLock_;
    Overlay overlay_;  // guarded by contextLock_
    // The geometry has a lock of its own, never held during a script call, so that the main
    // thread maps input and reshapes while a frame runs. Fields marked (geo) are guarded by it.
    std::mutex geometryMutex_;
    QzViewGeometry geometry_;       // (geo)
    int pointWidth_ = 0;            // (geo)
    int pointHeight_ = 0;           // (geo)
    int backingWidth_ = 0;          // (geo)
    int backingHeight_ = 0;         // (geo)
    bool viewportChanged_ = false;  // (geo)
    std::function<void(const LuaErrorException&)> errorObserver_;  // game thread
    std::function<void(const QzFrameCost&)> frameObserver_;        // game thread
    std::optional<std::chrono::steady_clock::time_point> lastFrameStart_;  // game thread
    std::atomic<bool> drawingEnabled_{false};
    std::atomic<bool> animating_{false};
    std::atomic<bool> fullScreen_{false};
    std::atomic<bool> cropToFit_{true};
    std::atomic<float> originalAspectRatio_{1.5f};
    const bool frameTimer_;
    int animationFrameInterval_ = 1;
    float currentTime_ = 0;  // game thread
    QzGameThread thread_;    // last: started after every field above exists, joined first
};

#endif
