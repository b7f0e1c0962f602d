// Sound loader nodes: asset names into decoded sounds through the asset manager.
#include "nodes/SGSoundLoaderNode.h"

#include "QzEngineAssetManager.h"
#include "SGPortIDs.h"

SGSoundLoaderNode::SGSoundLoaderNode(QzEngineAssetManager* assetManager) : SGAssetLoaderNode(assetManager) {
    classFlags |= SGSoundLoaderNodeClass;
    addOutputPort(&asset, SGPortTypeSound);
    addInputPort(&name, SGPortTypeAssetName);
    if (assetManager) assetManager->addSoundLoader(this);
}

SGSoundLoaderNode::~SGSoundLoaderNode() {
    if (assetManager) assetManager->removeSoundLoader(this);
}

void SGSoundLoaderNode::compute() {
    const std::string assetName = name.stringValue();
    if (assetName.empty()) return;
    if (assetManager) {
        handle = assetManager->soundForName(assetName);
    } else {
        handle = {};
    }
    const SGSound* sound = handle.getResource();
    asset.value = sound ? *sound : SGSoundNull;
}

SGPort* SGSoundLoaderNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortName: return &name;
    case SGPortAsset: return &asset;
    default: return nullptr;
    }
}

void SGSoundLoaderNode::assetWasUnloaded() {
    asset.markAsDirty();
    // The port's copy refers to the sound's buffers, which may be gone.
    asset.value = SGSoundNull;
    handle.forget();
}

void SGSoundLoaderNode::assetWasReplaced() {
    asset.markAsDirty();
    // The port's copy names the old buffers, which are being let go.
    asset.value = SGSoundNull;
}
