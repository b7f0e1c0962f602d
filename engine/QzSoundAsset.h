// QzSoundAsset: a sound asset, one sound file decoded into OpenAL buffers.
#ifndef QZ_SOUND_ASSET_H
#define QZ_SOUND_ASSET_H

#include <string>

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
    // Lets go of the buffers (SGSoundRelease): deleted at once, or once no source plays them
    // out any more. Freeing a sound that is still referenced is printed as a fault.
    void freeAsset() override;
    // Decodes the file again; the new buffers take the old ones' place in the same sound
    // record (the old ones are let go as freeAsset does, without the fault: handles stay). False
    // with *error set when the file cannot be decoded; the old sound then stays.
    bool reload(std::string* error);
    // Deletes the buffers of retired sounds that no source holds any more.
    static void freeRetiredSounds();

private:
    SGSound sound = SGSoundNull;  // owns its buffers
};

#endif
