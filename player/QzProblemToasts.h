// Problems on screen: each problem reported while a game plays shows for a few seconds as a
// short note at the bottom of the window, naming the file and line it came from, so that
// whoever makes the game sees it without watching a terminal.
#ifndef QZ_PROBLEM_TOASTS_H
#define QZ_PROBLEM_TOASTS_H

#include <deque>
#include <string>

#include "QzOverlayPainter.h"

// The text a problem's note shows: the message's first line, with the project folder's path
// (also as the interpreter shortens it, "...folder/") left out of the file names, cut to
// kQzToastCharacters with an ellipsis.
constexpr size_t kQzToastCharacters = 200;
std::string QzToastText(const std::string& message, const std::string& projectFolder);

// Game thread only, with the context current for draw and release.
class QzProblemToasts {
public:
    static constexpr double kShownSeconds = 4;
    static constexpr size_t kMostShown = 3;

    explicit QzProblemToasts(std::string projectFolder) : projectFolder_(std::move(projectFolder)) {}

    // Shows the problem from `now` (seconds) on; a problem already showing shows on for longer
    // instead of twice, so a script failing every frame shows once.
    void add(const std::string& message, double now);
    // Draws the notes still showing, the newest lowest, each fading out in its last half second,
    // with the overlay projection set (view pixels, origin at the lower left).
    void draw(int viewWidth, double now);
    // Forgets every note and frees their textures.
    void release();

private:
    struct Toast {
        std::string text;
        double shownUntil;
        QzOverlayTexture texture;  // laid out at the first draw
        int wrapWidth = 0;         // the width it was laid out for; 0 before
    };

    std::string projectFolder_;
    std::deque<Toast> toasts_;  // oldest first
};

#endif
