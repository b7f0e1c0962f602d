// SGSoundLoaderNode: the decoded sound of the asset named on its input, from the asset
// manager.
#ifndef SG_SOUND_LOADER_NODE_H
#define SG_SOUND_LOADER_NODE_H

#include "QzAsset.h"
#include "nodes/SGAssetLoaderNode.h"

class SGSoundLoaderNode : public SGAssetLoaderNode {
public:
    // Registers with the manager (when there is one).
    explicit SGSoundLoaderNode(QzEngineAssetManager* assetManager);
    // Unregisters; the handle then releases the asset.
    ~SGSoundLoaderNode() override;

    // Fetches the named sound (decoding it on first use); an empty name keeps the output.
    void compute() override;
    SGPort* portForID(SGPortID id) override;
    const QzIAsset* heldAsset() const override { return handle.getAssetObject(); }
    void assetWasUnloaded() override;
    void assetWasReplaced() override;

    QzAssetHandle<SGSound> handle;
    SGSoundPort asset;
};

#endif
