// The process-wide OpenAL device and context.
#include "QzAudioOutput.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "QzOpenALCheck.h"

namespace {

ALCdevice* sharedAlDevice = nullptr;    // owned by the process, never closed
ALCcontext* sharedAlContext = nullptr;  // owned by the process, never destroyed
ALCcontext* musicAlContext = nullptr;   // owned by the process, destroyed at exit
bool deviceUnavailable = false;

// Runs at process exit, so that OpenAL Soft's own clean-up finds no device left open.
void closeSharedOutput() {
    alcMakeContextCurrent(nullptr);
    if (musicAlContext) alcDestroyContext(musicAlContext);
    alcDestroyContext(sharedAlContext);
    alcCloseDevice(sharedAlDevice);
}

// Keeps the sound libraries' own error output off standard error, so that a machine without
// a sound card gets the one clear line below rather than a screen of library messages: ALSA's
// error handler (set on the library OpenAL Soft loads later, when it is installed at all),
// and OpenAL Soft's log unless the user asks for it.
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void quietSoundLibraries() {
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    auto setHandler = alsa ? reinterpret_cast<int (*)(ErrorHandler)>(dlsym(alsa, "snd_lib_error_set_handler")) : nullptr;
    if (setHandler) setHandler(ignoreAlsaError);
    // The library stays loaded: OpenAL Soft uses the same instance with its handler.
}

void check(ALCdevice* device, const char* who, const char* call) {
    QzCheckALCError(device, (std::string(who) + ": " + call).c_str());
}

}  // namespace

ALCdevice* QzSharedAlDevice() { return sharedAlDevice; }
ALCcontext* QzSharedAlContext() { return sharedAlContext; }

ALCcontext* QzOpenSharedAudioOutput(const char* who) {
    if (!sharedAlDevice && !deviceUnavailable) {
        quietSoundLibraries();
        sharedAlDevice = alcOpenDevice(nullptr);
        if (!sharedAlDevice) {
            deviceUnavailable = true;
            std::fprintf(stderr,
                         "Quillane: no sound device could be opened, the game runs without sound "
                         "(check the sound card, or OpenAL Soft's ALSOFT_DRIVERS setting)\n");
        }
        check(sharedAlDevice, who, "alcOpenDevice");
    }
    if (sharedAlDevice && !sharedAlContext) {
        sharedAlContext = alcCreateContext(sharedAlDevice, nullptr);
        check(sharedAlDevice, who, "alcCreateContext");
        if (sharedAlContext) std::atexit(closeSharedOutput);
    }
    return sharedAlContext;
}

bool QzUseSharedAudioOutput(ALCdevice* device, ALCcontext* context) {
    if (sharedAlDevice || sharedAlContext) return false;
    sharedAlDevice = device;
    sharedAlContext = context;
    return true;
}

ALCcontext* QzOpenMusicAudioContext() {
    if (!musicAlContext && QzOpenSharedAudioOutput("QzMusic") && QzSharedAlDevice()) {
        // The device's own attributes: a second context with others would reset the device
        // (and a loopback device needs its sample format stated).
        ALCint size = 0;
        alcGetIntegerv(sharedAlDevice, ALC_ATTRIBUTES_SIZE, 1, &size);
        std::vector<ALCint> attributes(static_cast<size_t>(std::max(size, 0)) + 1, 0);
        if (size > 0) alcGetIntegerv(sharedAlDevice, ALC_ALL_ATTRIBUTES, size, attributes.data());
        musicAlContext = alcCreateContext(sharedAlDevice, attributes.data());
        check(sharedAlDevice, "QzMusic", "alcCreateContext");
    }
    return musicAlContext;
}
