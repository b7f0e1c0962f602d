// One game being played: the engine made from a bundle, the game view it draws into, the
// text-entry and URL services the script reaches by name, and what the player draws over
// the game (the loading picture while it fades, the text-entry panel, the last error).
// Shared by the window and headless modes.
#ifndef QZ_PLAYER_SESSION_H
#define QZ_PLAYER_SESSION_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "QzBundle.h"
#include "QzGameView.h"
#include "QzOverlayPainter.h"
#include "QzPlayerEngine.h"
#include "QzTextEntry.h"

struct QzSessionHooks {
    // Opens an address the script asked for (already checked: http, https or mailto).
    std::function<void(const std::string& address)> openURL;
    // The script ended the game (callbacks.gameDidEnd). Called on the game thread.
    std::function<void()> gameDidEnd;
    // Draw the last script error and its stack trace over the game.
    bool debug = false;
};

class QzPlayerSession {
public:
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
    // Shows the loading picture over the game with the given opacity (0 hides it).
    void setIntro(std::shared_ptr<const QzOverlayImage> image, float opacity);
    // Main thread: an input event, to the text-entry panel while it shows, else to the game.
    // True when the game receives it.
    bool deliverInput(const QzInputEvent& event);
    bool panelShowing();
    // Stops the game and destroys the engine on the game thread (shutdownEngine runs once).
    void shutdown();

    // Script errors so far; 0 before loadGame.
    int errorCount();
    QzPlayerEngine* engine() { return engine_.get(); }

private:
    void keyboardInput(const std::string& prompt, const std::string& initialValue);
    void answerTextRequest(const std::string& text);
    void drawOverlay(int width, int height);
    void drawPanel(int width, int height);
    void drawLastError(int width, int height);

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
    std::string lastError_;
};

#endif
