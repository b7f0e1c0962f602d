// Fuzz target: one sound decoder path, chosen by the file name's ending (QZ_SOUND_SUFFIX), into a
// real OpenAL buffer on the null output, then the same file streamed as the music player reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <AL/al.h>
#include <AL/alc.h>

#include "QzPCMStream.h"
#include "SGSoundDecoder.h"
#include "fuzz_files.h"

namespace {

// Streams the file to its end, twice when the stream can go back to its start.
void streamThrough(const char* path) {
    std::unique_ptr<QzPCMStream> stream = QzOpenPCMStream(path);
    if (!stream) return;
    int16_t samples[4096];
    const long frames = stream->channels() > 0 ? static_cast<long>(std::size(samples)) / stream->channels() : 0;
    for (int pass = 0; pass < 2 && frames > 0; ++pass) {
        while (stream->read(samples, frames) > 0) {
        }
        if (!stream->rewind()) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    ALCdevice* device = alcOpenDevice(nullptr);
    ALCcontext* context = device ? alcCreateContext(device, nullptr) : nullptr;
    if (!context || !alcMakeContextCurrent(context)) {
        std::fprintf(stderr, "sound_decoder: no OpenAL context on the null output\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = qzFuzzScratchFolder() + "/sound" QZ_SOUND_SUFFIX;
    qzFuzzWriteFile(path, data, size);
    SGSound sound = SGSoundNull;
    try {
        SGSoundLoadFromFile(&sound, path.c_str());
    } catch (const SGSoundLoadError&) {
        // Refusing the file is the reader's answer to bad input.
    }
    SGSoundFree(&sound);
    streamThrough(path.c_str());
    return 0;
}
