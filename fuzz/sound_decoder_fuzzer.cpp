// Fuzz target: one sound decoder path, chosen by the file name's ending (QZ_SOUND_SUFFIX), into a
// real OpenAL buffer on the null output, then the same file streamed as the music player reads it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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

// The OpenAL device and context on the null output, current for the whole run.
class NullOutput {
public:
    NullOutput() {
        setenv("ALSOFT_DRIVERS", "null", 0);
        device_ = alcOpenDevice(nullptr);
        context_ = device_ ? alcCreateContext(device_, nullptr) : nullptr;
        if (!context_ || !alcMakeContextCurrent(context_)) {
            std::fprintf(stderr, "sound_decoder: no OpenAL context on the null output\n");
            std::abort();
        }
    }
    ~NullOutput() {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context_);
        alcCloseDevice(device_);
    }
    NullOutput(const NullOutput&) = delete;
    NullOutput& operator=(const NullOutput&) = delete;

private:
    ALCdevice* device_;    // owned
    ALCcontext* context_;  // owned
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static NullOutput output;
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
