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
    // queued on a playing source: the fact is printed and its buffers are retired, to be
    // deleted by freeRetiredSounds once OpenAL accepts it.
    void freeAsset() override;
    // Deletes the buffers of retired sounds that no source holds any more.
    static void freeRetiredSounds();

private:
    SGSound sound = SGSoundNull;  // owns its buffers
};

#endif
