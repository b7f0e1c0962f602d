// SGAssetLoaderNode: the base of the nodes that load an asset by the name on their input.
#ifndef SG_ASSET_LOADER_NODE_H
#define SG_ASSET_LOADER_NODE_H

#include <string>

#include "SGNode.h"

class QzEngineAssetManager;
class QzIAsset;

class SGAssetLoaderNode : public SGNode {
public:
    // The manager may be null (a scene made without one): the node then loads nothing.
    explicit SGAssetLoaderNode(QzEngineAssetManager* assetManager);

    // What the asset manager asks of its loaders. The name is read without bringing this node
    // up to date: the manager asks while it unloads, and must not have the node load anything.
    std::string currentAssetName() { return name.sourcePort ? name.sourcePort->stringValue() : name.value; }
    virtual const QzIAsset* heldAsset() const = 0;
    // The asset is gone: mark the output dirty and forget the handle without releasing.
    virtual void assetWasUnloaded() = 0;
    // The held asset now holds a new resource: mark the output dirty, keep the handle.
    virtual void assetWasReplaced() = 0;
    // The manager is being destroyed: forget it. The held asset stays until the node lets
    // it go (a new name, or the node's end).
    void detachFromManager() { assetManager = nullptr; }

    SGStringPort name;

protected:
    QzEngineAssetManager* assetManager;  // borrowed; null when none or destroyed
};

#endif
