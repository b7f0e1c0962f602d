// Sound assets: one decoded sound per file, and the sounds unloaded while still referenced.
#include "QzSoundAsset.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <AL/al.h>

#include "QzOpenALCheck.h"
#include "SGSoundDecoder.h"

namespace {

// Sounds unloaded while still referenced. Their buffers may be queued on a playing source,
// where OpenAL refuses to delete them, so deleting them is tried again later; the arrays of
// whatever is left at exit are freed then.
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

// Deletes the buffers unless OpenAL refuses (a buffer still queued, no context).
bool tryFree(SGSound& sound) {
    QzCheckALError("QzSoundAsset::freeRetiredSounds");
    alDeleteBuffers(sound.count, sound.buffers);
    if (alGetError() != AL_NO_ERROR) return false;
    delete[] sound.buffers;
    sound = SGSoundNull;
    return true;
}

}  // namespace

QzSoundAsset::QzSoundAsset(QzIAssetObserver* observer, const std::string& path)
    : QzBaseAsset<SGSound>(observer, path) {
    SGSoundLoadFromFile(&sound, path.c_str());
}

QzSoundAsset::~QzSoundAsset() { QzSoundAsset::freeAsset(); }

void QzSoundAsset::freeAsset() {
    if (getReferenceCount() == 0) {
        SGSoundFree(&sound);
        return;
    }
    std::printf("An asset with a valid reference count should not be deleted.\n");
    std::fflush(stdout);
    if (sound.count > 0) retired().sounds.push_back(sound);
    sound = SGSoundNull;
}

void QzSoundAsset::freeRetiredSounds() { std::erase_if(retired().sounds, tryFree); }
