// The one report of OpenAL and OpenAL context errors, used by every part that calls OpenAL.
#ifndef QZ_OPENAL_CHECK_H
#define QZ_OPENAL_CHECK_H

#include <AL/alc.h>

// Reads the current context's error state; a non-zero error is written to standard error as
// "OpenAL error %d in call to %s" (no line end). Errors are never fatal. With no current
// context (no sound device) there is nothing to check and nothing is written, so a silent
// player does not flood the log.
void QzCheckALError(const char* context);

// Reads the device's context error state; a non-zero error is written to standard error as
// "OpenAL context error %d in call to %s\n". A null device is not checked.
void QzCheckALCError(ALCdevice* device, const char* context);

#endif
