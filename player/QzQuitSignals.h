// SIGINT and SIGTERM as quit requests: the first stops the running script and asks the
// player to quit; a second ends the process at once.
#ifndef QZ_QUIT_SIGNALS_H
#define QZ_QUIT_SIGNALS_H

#include "QzScriptInterrupt.h"

// The interrupt every engine of this process attaches, so that a quit request (a signal,
// the window closing) ends a frame stuck in a script loop.
QzScriptInterrupt& QzPlayerInterrupt();

// Installs the handlers (restarting interrupted system calls). The first signal records
// itself and requests QzPlayerInterrupt(); a second exits with status 128 + its number.
void QzHandleQuitSignals();
// The number of the first quit signal received, 0 when none came.
int QzQuitSignal();

#endif
