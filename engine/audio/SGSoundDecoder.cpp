// The sound decoders: Ogg Vorbis in 128 KB chunks, linear PCM ".caf" as stored, and every
// other file as 16-bit mono, each into one OpenAL buffer.
#include "SGSoundDecoder.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <AL/al.h>
#include <AL/alc.h>

#include "QzALContextScope.h"
#include "QzAudioOutput.h"
#include "QzOpenALCheck.h"
#include "QzPCMStream.h"
#include "QzSoundFile.h"

namespace {

constexpr int32_t kOggChunkBytes = 131072;

// One piece of decoded Ogg data, its bytes aligned for the 16-bit samples they hold. The
// bytes are left uninitialised: only `length` of them are ever read.
struct OggChunk {
    alignas(int16_t) char data[kOggChunkBytes];
    int32_t length = 0;
};

[[noreturn]] void fail(const char* path, const char* reason) {
    throw SGSoundLoadError(std::string("cannot load the sound \"") + path + "\": " + reason);
}

// A sound that is read but cannot become a buffer loads without one, and says so.
void reportSilent(const char* path, const char* reason) {
    std::fprintf(stderr, "Quillane: the sound \"%s\" stays silent: %s\n", path, reason);
}

// The context to make buffers in: the current one, else the shared output (opened if need
// be), so that sounds decode the same before any sound manager exists or while the sound
// manager is suspended. Null without a sound device.
ALCcontext* bufferContext() {
    ALCcontext* current = alcGetCurrentContext();
    return current ? current : QzOpenSharedAudioOutput("SGSound");
}

// Generates the sound's one buffer and hands it to `fill`, in the buffer context. Without a
// sound device there is nothing to hold a buffer and the sound stays empty.
template <typename Fill>
void storeBuffer(SGSound* sound, Fill fill) {
    ALCcontext* context = bufferContext();
    if (!context) return;
    QzALContextScope scope(context);
    ALuint name = 0;
    alGenBuffers(1, &name);
    sound->buffers = new uint32_t[1]{name};
    sound->count = 1;
    fill(name);
}

// Hands the data to one new buffer and stores it as the sound's only buffer.
void storeBuffer(SGSound* sound, const void* data, size_t size, ALenum format, int frequency,
                 const char* context) {
    storeBuffer(sound, [&](ALuint buffer) {
        alBufferData(buffer, format, data, static_cast<ALsizei>(size), frequency);
        QzCheckALError(context);
    });
}

using OggChunks = std::vector<std::unique_ptr<OggChunk>>;

// Reads the whole stream into a chain of chunks of whole frames. A read error is reported and
// the read tried again, up to a bound on errors in a row, after which the file counts as
// unreadable.
OggChunks readOggChunks(QzVorbisReader& vorbis, const char* path) {
    const int frameBytes = 2 * vorbis.channels();
    const int32_t capacity = kOggChunkBytes - kOggChunkBytes % frameBytes;
    OggChunks chunks;
    chunks.emplace_back(new OggChunk);
    uint64_t total = 0;
    int errorsInARow = 0;
    for (;;) {
        OggChunk& chunk = *chunks.back();
        if (chunk.length == capacity) {
            chunks.emplace_back(new OggChunk);
            continue;
        }
        const long got = vorbis.read(reinterpret_cast<int16_t*>(chunk.data + chunk.length),
                                     (capacity - chunk.length) / frameBytes);
        if (got == 0) break;
        if (got < 0) {
            std::fputs("Ogg read had an error", stdout);
            if (++errorsInARow == kQzMaxVorbisReadErrorsInARow) fail(path, "the Ogg Vorbis data cannot be read");
            continue;
        }
        errorsInARow = 0;
        chunk.length += static_cast<int32_t>(got * frameBytes);
        total += got * frameBytes;
        if (total > kQzMaxPCMBytes) fail(path, "the decoded sound is longer than 2 GB");
    }
    return chunks;
}

// Hands the chunks in order to one buffer of their total size: OpenAL's copy is the one
// block that holds the whole sound.
void storeChunks(SGSound* sound, const OggChunks& chunks, ALenum format, int frequency) {
    storeBuffer(sound, [&](ALuint buffer) {
        ALsizei size = 0;
        for (const auto& chunk : chunks) size += chunk->length;
        alBufferData(buffer, format, nullptr, size, frequency);
        ALsizei offset = 0;
        for (const auto& chunk : chunks) {
            alBufferSubDataSOFT(buffer, format, chunk->data, offset, chunk->length);
            offset += chunk->length;
        }
        QzCheckALError("makeOpenALBuffers: alBufferData");
    });
}

void decodeOgg(SGSound* sound, const char* path) {
    QzVorbisReader vorbis;
    if (!vorbis.open(path)) fail(path, "it is missing or not an Ogg Vorbis file");
    const OggChunks chunks = readOggChunks(vorbis, path);
    storeChunks(sound, chunks, vorbis.channels() == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, vorbis.sampleRate());
}

void decodeMono16(SGSound* sound, const char* path) {
    QzPCMData data;
    switch (QzReadSoundFileMono16(path, &data)) {
    case QzSoundFileStatus::ok: break;
    case QzSoundFileStatus::tooManyChannels: fail(path, "it has three or more channels (at most two are taken)");
    case QzSoundFileStatus::readFailed: fail(path, "its sound data cannot be read");
    default: fail(path, "it is missing or not a sound file that can be read");
    }
    storeBuffer(sound, data.bytes.data(), data.bytes.size(), AL_FORMAT_MONO16, data.sampleRate,
                "ExtAudioFileToOpenAL: alBufferData");
}

// 8 and 16 bits in one or two channels; anything else gets the format -1.
ALenum linearPCMFormat(const QzPCMData& data) {
    if (data.channels == 1 && data.bitsPerChannel == 16) return AL_FORMAT_MONO16;
    if (data.channels == 2 && data.bitsPerChannel == 16) return AL_FORMAT_STEREO16;
    if (data.channels == 1 && data.bitsPerChannel == 8) return AL_FORMAT_MONO8;
    if (data.channels == 2 && data.bitsPerChannel == 8) return AL_FORMAT_STEREO8;
    return -1;
}

void decodeCAF(SGSound* sound, const char* path) {
    QzPCMData data;
    switch (QzReadCAFLinearPCM(path, &data)) {
    case QzSoundFileStatus::ok: break;
    // Compressed data, and what libsndfile does not read at all (IMA4 among others), go to
    // the reader of every other format, which says why when it cannot read it either.
    case QzSoundFileStatus::notLinearPCM:
    case QzSoundFileStatus::unreadable: decodeMono16(sound, path); return;
    default: reportSilent(path, "its sound data cannot be read"); return;
    }
    const ALenum format = linearPCMFormat(data);
    if (format == -1) {
        reportSilent(path, ("OpenAL plays linear PCM of 8 or 16 bits in one or two channels, and it holds " +
                            std::to_string(data.channels) + " channels of " + std::to_string(data.bitsPerChannel) +
                            " bits").c_str());
        return;
    }
    storeBuffer(sound, data.bytes.data(), data.bytes.size(), format, data.sampleRate, "CAFToOpenAL: alBufferData");
}

}  // namespace

bool SGSoundLoadFromFile(SGSound* sound, const char* path) {
    *sound = SGSoundNull;
    if (QzHasSuffix(path, ".ogg")) {
        decodeOgg(sound, path);
    } else if (QzHasSuffix(path, ".caf")) {
        decodeCAF(sound, path);
    } else {
        decodeMono16(sound, path);
    }
    return true;
}

void SGSoundFree(SGSound* sound) {
    QzCheckALError("~SGSound");
    if (sound->count >= 1 && sound->buffers) {
        QzALContextScope scope(bufferContext());
        alDeleteBuffers(sound->count, sound->buffers);
        QzCheckALError("~SGSound: alDeleteBuffers");
        delete[] sound->buffers;
    }
    *sound = SGSoundNull;
}

namespace {

// Sounds whose buffers OpenAL would not delete yet (still queued on a source). The arrays of
// whatever is left at exit are freed then; the buffers go with the device.
struct RetiredSounds {
    std::vector<SGSound> sounds;
    ~RetiredSounds() {
        for (const SGSound& sound : sounds) delete[] sound.buffers;
    }
};

RetiredSounds& retired() {
    static RetiredSounds sounds;
    return sounds;
}

// Deletes the buffers unless OpenAL refuses; OpenAL deletes none of them when it refuses one.
bool tryDelete(SGSound& sound) {
    QzALContextScope scope(bufferContext());
    QzCheckALError("~SGSound");
    alDeleteBuffers(sound.count, sound.buffers);
    if (alGetError() != AL_NO_ERROR) return false;
    delete[] sound.buffers;
    sound = SGSoundNull;
    return true;
}

}  // namespace

void SGSoundRelease(SGSound* sound) {
    if (sound->count >= 1 && sound->buffers && !tryDelete(*sound)) retired().sounds.push_back(*sound);
    *sound = SGSoundNull;
}

void SGSoundFreeRetired() {
    if (!retired().sounds.empty()) std::erase_if(retired().sounds, tryDelete);
}
