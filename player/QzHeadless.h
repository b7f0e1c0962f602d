// Headless play: the same engine, game view and session on an off-screen OpenGL context,
// stepped a fixed number of frames with a fixed time step, input replayed from a timeline.
#ifndef QZ_HEADLESS_H
#define QZ_HEADLESS_H

#include <string>

#include "QzBundle.h"
#include "QzPlayerOptions.h"

// Returns the exit status: 1 when a script error or a problem of the game was reported, 0
// otherwise (or the status of an option or set-up failure).
int QzRunHeadless(const QzPlayerOptions& options, const QzBundle& bundle, const std::string& savePath);

#endif
