// One game being played: the engine made from a bundle, the game view it draws into, the
// text-entry and URL services the script reaches by name, and what the player draws over
// the game (the loading picture or intro movie while it shows and fades, the text-entry
// panel, the last error, the costs overlay, the problem notes).
// Shared by the window and headless modes.
#ifndef QZ_PLAYER_SESSION_H
#define QZ_PLAYER_SESSION_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QzBundle.h"
#include "QzCostsOverlay.h"
#include "QzGameView.h"
#include "QzOverlayPainter.h"
#include "QzPlayerEngine.h"
#include "QzProblemToasts.h"
#include "QzTextEntry.h"

struct QzSessionHooks {
    // Opens what the script asked for, already checked: an http, https or mailto address, or
    // the path of a file inside the bundle. Called on the game thread inside a script call.
    std::function<void(const std::string& target)> openURL;
    // The script ended the game (callbacks.gameDidEnd). Called on the game thread.
    std::function<void()> gameDidEnd;
    // Draw the last script error and its stack trace over the game.
    bool debug = false;
    // Stops the engine's scripts when the player quits during a stuck frame (borrowed; may
    // be null).
    QzScriptInterrupt* interrupt = nullptr;
    // The most memory the game's interpreter may hold, in bytes; 0: no limit.
    size_t memoryLimitBytes = 0;
    // Show the costs overlay from the start (toggleStats turns it on and off).
    bool stats = false;
    // Show each problem reported while playing as a note at the bottom for a few seconds.
    bool toasts = false;
};

class QzPlayerSession {
public:
    static constexpr std::chrono::milliseconds kQuitGrace{500};

    // view is borrowed and must outlive the session.
    QzPlayerSession(const QzBundle& bundle, std::string savePath, QzGameView* view, QzSessionHooks hooks);
    // Shuts down if shutdown() has not run.
    ~QzPlayerSession();
    QzPlayerSession(const QzPlayerSession&) = delete;
    QzPlayerSession& operator=(const QzPlayerSession&) = delete;

    // Game thread, context current: makes the engine, registers "KeyboardInput" and
    // "openURL", loads the project, resets, and attaches the engine to the view with
    // drawing enabled and cropping from "QzOverscan".
    void loadGame();
    // Shows the intro over the game with the given opacity (0 hides it). With movieAspect 0 the
    // image is the loading picture, stretched over the view on white; otherwise it is a picture
    // of the intro movie (rows top-down), shown at that aspect ratio (width / height) and
    // letterboxed on black.
    void setIntro(std::shared_ptr<const QzOverlayImage> image, float opacity, double movieAspect = 0);
    // Main thread: an input event, to the text-entry panel while it shows (all but game
    // controller events), else to the game.
    // True when the game receives it.
    bool deliverInput(const QzInputEvent& event);
    bool panelShowing();
    // Main thread: stops the frame loop. A frame still running a script after kQuitGrace is
    // stopped through the interrupt; scripts may run again afterwards.
    void stopFrames();
    // Stops the frames and the game and destroys the engine on the game thread
    // (shutdownEngine runs once, even after a stop that was interrupted).
    void shutdown();

    // Game thread: hands the changed project files (paths relative to the project folder) to
    // the engine script's projectFilesChanged, which reloads them; a game whose engine script
    // has none is told so once.
    void reloadChangedFiles(const std::vector<std::string>& files);

    // Script errors so far (up to the stop call once shut down); 0 before loadGame.
    int errorCount();
    // Shows or hides the costs overlay. From any thread.
    void toggleStats() { statsShown_ = !statsShown_; }
    // The costs of the frames since the last call (or since play began), then of every frame
    // so far, as a line of text: "N frames, " and QzFormatFrameCosts with the engine's figures
    // now. From any thread but the game thread, before shutdown.
    std::string takeCostsSinceLastCall();
    std::string costsOfTheRun();
    QzPlayerEngine* engine() { return engine_.get(); }

private:
    void keyboardInput(const std::string& prompt, const std::string& initialValue);
    void answerTextRequest(const std::string& text);
    void drawOverlay(int width, int height);
    void drawIntro(int width, int height);
    void drawPanel(int width, int height);
    void drawLastError(int width, int height);
    void addFrame(const QzFrameCost& cost);
    QzEngineGauges readGauges();
    std::string formatCosts(const QzFrameCostTotals& totals);

    QzBundle bundle_;
    std::string savePath_;
    QzGameView* view_;  // borrowed
    QzSessionHooks hooks_;
    std::unique_ptr<QzPlayerEngine> engine_;  // owned; made and destroyed on the game thread
    std::mutex overlayMutex_;                 // guards the fields below
    QzTextEntry entry_;
    bool panelShowing_ = false;
    std::shared_ptr<const QzOverlayImage> intro_;
    float introOpacity_ = 0;
    double introMovieAspect_ = 0;
    std::string lastError_;
    int errorsAtShutdown_ = 0;  // game thread
    bool reloadRefused_ = false;  // game thread
    std::atomic<bool> statsShown_;
    // Game thread: the costs, for the overlay, since the last takeCostsSinceLastCall and of
    // the run; the problem notes (null without hooks_.toasts).
    QzCostsOverlay costs_;
    QzFrameCostTotals costsSinceLastCall_;
    QzFrameCostTotals costsOfTheRun_;
    std::unique_ptr<QzProblemToasts> toasts_;
};

#endif
