// Sound assets: one decoded sound per file.
#include "QzSoundAsset.h"

#include <cstdio>

#include "SGSoundDecoder.h"

QzSoundAsset::QzSoundAsset(QzIAssetObserver* observer, const std::string& path)
    : QzBaseAsset<SGSound>(observer, path) {
    SGSoundLoadFromFile(&sound, path.c_str());
}

QzSoundAsset::~QzSoundAsset() { QzSoundAsset::freeAsset(); }

void QzSoundAsset::freeAsset() {
    if (getReferenceCount() != 0) {
        std::printf("An asset with a valid reference count should not be deleted.\n");
        std::fflush(stdout);
    }
    // Referenced or not, the buffers may still be queued on a source that plays them out.
    SGSoundRelease(&sound);
}

void QzSoundAsset::freeRetiredSounds() { SGSoundFreeRetired(); }

bool QzSoundAsset::reload(std::string* error) {
    SGSound replacement = SGSoundNull;
    try {
        SGSoundLoadFromFile(&replacement, getResourceLocator().c_str());
    } catch (const SGSoundLoadError& failure) {
        *error = failure.what();
        return false;
    }
    SGSoundRelease(&sound);
    sound = replacement;
    return true;
}
