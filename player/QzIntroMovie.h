// The intro movie: its pictures decoded and handed out at their times until it ends or is
// ended early.
#ifndef QZ_INTRO_MOVIE_H
#define QZ_INTRO_MOVIE_H

#include <functional>
#include <memory>
#include <string>

#include "QzOverlayPainter.h"

struct QzIntroMovieCalls {
    // Shows a picture (rows top-down) at the movie's aspect ratio (width / height).
    std::function<void(std::shared_ptr<const QzOverlayImage> picture, double aspect)> show;
    // Handles pending events while the movie waits for its next picture; true ends the movie
    // early (a key, a click, the window closing).
    std::function<bool()> endRequested;
};

// Plays the movie at `path` through `calls`, on the calling thread, and returns once it has
// ended. A movie that cannot be decoded is logged with the reason and ends at once, after the
// pictures it had. The last picture shown stays in *last (null when none was shown), with
// its aspect ratio in *aspect.
void QzPlayIntroMovie(const std::string& path, const QzIntroMovieCalls& calls,
                      std::shared_ptr<const QzOverlayImage>* last, double* aspect);

#endif
