// QzSoundAsset: a sound asset, one sound file decoded into OpenAL buffers.
#ifndef QZ_SOUND_ASSET_H
#define QZ_SOUND_ASSET_H

#include "QzAsset.h"
#include "SGSound.h"

class QzSoundAsset : public QzBaseAsset<SGSound>, public QzAssetHandleFactory {
public:
    // Decodes the file; throws SGSoundLoadError when it cannot be decoded (the asset is then
    // never made). Needs the sound manager's OpenAL context to be current.
    QzSoundAsset(QzIAssetObserver* observer, const std::string& path);
    // Frees the buffers as freeAsset does.
    ~QzSoundAsset() override;

    SGSound* getAsset() override { return &sound; }
    // Deletes the buffers when nothing references the sound. A referenced sound may still be
    // queued on a playing source, so its buffers are kept (and the fact is printed).
    void freeAsset() override;

private:
    SGSound sound = SGSoundNull;  // owns its buffers
};

#endif
