// The version report of quillane-player, asking each shared library for its own version.
#include "QzPlayerVersion.h"

#include <SDL.h>
#include <box2d/b2_common.h>
#include <lua.h>
#include <libxml/parser.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cstdlib>
#include <cstring>

namespace {

// OpenAL reports its version only through a current context; a loopback device gives one
// without touching a sound card, and the caller's context is put back afterwards.
std::string openALVersion() {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return "unknown (no loopback device)";
    auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    ALCdevice* device = openLoopback ? openLoopback(nullptr) : nullptr;
    if (!device) return "unknown (no loopback device)";
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, 44100, 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    std::string version = "unknown";
    if (context) {
        ALCcontext* previous = alcGetCurrentContext();
        alcMakeContextCurrent(context);
        // The text reads "1.1 ALSOFT 1.22.2": the interface's version, then the library's.
        const ALchar* text = alGetString(AL_VERSION);
        const char* library = text ? std::strstr(text, "ALSOFT ") : nullptr;
        if (library) version = library + 7;
        else if (text) version = text;
        alcMakeContextCurrent(previous);
        alcDestroyContext(context);
    }
    alcCloseDevice(device);
    return version;
}

// libxml2 gives its run-time version as one number: major * 10000 + minor * 100 + micro.
std::string libxml2Version() {
    const long number = std::strtol(xmlParserVersion, nullptr, 10);
    return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
           std::to_string(number % 100);
}

}  // namespace

std::string QzPlayerVersionText() {
    SDL_version sdl;
    SDL_GetVersion(&sdl);
    return std::string("quillane-player ") + QZ_VERSION + "\n" +
           LUA_RELEASE " (32-bit float numbers)\n" +
           "Box2D " + std::to_string(b2_version.major) + "." + std::to_string(b2_version.minor) + "." +
           std::to_string(b2_version.revision) + "\n" +
           "SDL2 " + std::to_string(sdl.major) + "." + std::to_string(sdl.minor) + "." + std::to_string(sdl.patch) +
           "\n" + "OpenAL Soft " + openALVersion() + "\n" + "libxml2 " + libxml2Version() + "\n";
}
