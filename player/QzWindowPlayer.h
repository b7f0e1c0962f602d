// Play in an SDL2 window with an OpenGL 2.1 compatibility context: launch with the loading
// picture, the fade, the game at its own size, full screen, keyboard and mouse input,
// closing and signals.
#ifndef QZ_WINDOW_PLAYER_H
#define QZ_WINDOW_PLAYER_H

#include <string>

#include "QzBundle.h"
#include "QzPlayerOptions.h"

// Returns the exit status: 0 when the window closed (or a signal asked to quit).
int QzRunWindowPlayer(const QzPlayerOptions& options, const QzBundle& bundle, const std::string& savePath);

#endif
