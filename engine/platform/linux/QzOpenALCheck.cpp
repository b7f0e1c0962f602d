// The report of OpenAL and OpenAL context errors.
#include "QzOpenALCheck.h"

#include <cstdio>

#include <AL/al.h>

void QzCheckALError(const char* context) {
    if (!alcGetCurrentContext()) return;
    const ALenum error = alGetError();
    if (error != AL_NO_ERROR) std::fprintf(stderr, "OpenAL error %d in call to %s", error, context);
}

void QzCheckALCError(ALCdevice* device, const char* context) {
    if (!device) return;
    const ALCenum error = alcGetError(device);
    if (error != ALC_NO_ERROR) std::fprintf(stderr, "OpenAL context error %d in call to %s\n", error, context);
}
