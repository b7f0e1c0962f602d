// The process-wide OpenAL device and context.
#include "QzAudioOutput.h"

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

void check(ALCdevice* device, const char* who, const char* call) {
    QzCheckALCError(device, (std::string(who) + ": " + call).c_str());
}

}  // namespace

ALCdevice* QzSharedAlDevice() { return sharedAlDevice; }
ALCcontext* QzSharedAlContext() { return sharedAlContext; }

ALCcontext* QzOpenSharedAudioOutput(const char* who) {
    if (!sharedAlDevice && !deviceUnavailable) {
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
