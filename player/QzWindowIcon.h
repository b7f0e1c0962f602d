// The window's icon: the picture the bundle names as its icon, else the player's own icon.
#ifndef QZ_WINDOW_ICON_H
#define QZ_WINDOW_ICON_H

#include <string>

#include <SDL.h>

#include "QzBundle.h"

// The largest icon side accepted from a bundle: window managers scale icons down to a few
// dozen pixels, and the window property holds every pixel.
constexpr int kQzMaxIconSide = 1024;

// Sets the window's icon: the bundle's icon file (Contents/Resources/NAME, NAME.png, or for
// NAME.icns its NAME.png) when the bundle names one that can be read, else the player's own
// quillane-player.png from the files it ships. A named icon that cannot be used is reported
// on standard error with the reason; the window then shows the player's icon.
void QzSetWindowIcon(SDL_Window* window, const QzBundle& bundle);

#endif
