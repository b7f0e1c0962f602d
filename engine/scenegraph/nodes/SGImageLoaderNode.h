// SGImageLoaderNode: the image of the asset named on its input, from the asset manager.
#ifndef SG_IMAGE_LOADER_NODE_H
#define SG_IMAGE_LOADER_NODE_H

#include "QzAsset.h"
#include "nodes/SGAssetLoaderNode.h"

class SGImageLoaderNode : public SGAssetLoaderNode {
public:
    // Registers with the manager (when there is one).
    explicit SGImageLoaderNode(QzEngineAssetManager* assetManager);
    // Unregisters; the handle then releases the asset.
    ~SGImageLoaderNode() override;

    // Fetches the named image (loading it on first use) and holds it while it shows it.
    void compute() override;
    SGPort* portForID(SGPortID id) override;
    const QzIAsset* heldAsset() const override { return handle.getAssetObject(); }
    void assetWasUnloaded() override;
    void assetWasReplaced() override;

    QzAssetHandle<SGImage> handle;
    SGImagePort asset;
};

#endif
