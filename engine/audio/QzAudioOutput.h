// The process-wide OpenAL device and context that every sound manager and the music player
// share: opened on first use, closed only when the process exits.
#ifndef QZ_AUDIO_OUTPUT_H
#define QZ_AUDIO_OUTPUT_H

#include <AL/alc.h>

// The shared device and context; null until opened, and null for good when no device could
// be opened (the player then runs silently).
ALCdevice* QzSharedAlDevice();
ALCcontext* QzSharedAlContext();

// Opens whatever of the shared device and context is still missing: the default device,
// then a context on it with no attributes. Context errors are reported with `who` followed
// by ": alcOpenDevice" or ": alcCreateContext". When no device can be opened, one warning
// line is written and later calls try no more. Returns the shared context, or null. What
// this opens is closed by an exit handler, after every static object made before it.
ALCcontext* QzOpenSharedAudioOutput(const char* who);

// The music's own context on the shared device, made on first use (opening the shared output
// if need be): the game's listener gain and error state do not reach the music. Null without
// a sound device. Lives as long as the shared output.
ALCcontext* QzOpenMusicAudioContext();

// Makes `device` and `context` the shared output before anything opened one, for a host
// that renders the output itself (a loopback device). Both are borrowed for the rest of the
// process. Returns false when a shared output already exists.
bool QzUseSharedAudioOutput(ALCdevice* device, ALCcontext* context);

#endif
