// Image loader nodes: asset names into images through the asset manager.
#include "nodes/SGImageLoaderNode.h"

#include "QzEngineAssetManager.h"
#include "SGPortIDs.h"

SGAssetLoaderNode::SGAssetLoaderNode(QzEngineAssetManager* assetManager) : assetManager(assetManager) {
    classFlags |= SGAssetLoaderNodeClass;
}

SGImageLoaderNode::SGImageLoaderNode(QzEngineAssetManager* assetManager) : SGAssetLoaderNode(assetManager) {
    classFlags |= SGImageLoaderNodeClass;
    addOutputPort(&asset, SGPortTypeImage);
    addInputPort(&name, SGPortTypeAssetName);
    if (assetManager) assetManager->addImageLoader(this);
}

SGImageLoaderNode::~SGImageLoaderNode() {
    if (assetManager) assetManager->removeImageLoader(this);
}

void SGImageLoaderNode::compute() {
    const std::string assetName = name.stringValue();
    if (!assetManager) {
        // A manager that went left this node's image to it; a new name lets it go.
        asset.value = SGImageNull;
        handle = {};
        return;
    }
    if (assetName.empty()) {
        asset.value = SGImageNull;
        return;
    }
    handle = assetManager->imageForName(assetName);
    const SGImage* image = handle.getResource();
    if (!image) {
        asset.value = SGImageNull;
        return;
    }
    const SGTextureRect& rect = image->textureRect;
    if (image->textureName == 0 && rect.s0 == 0 && rect.t0 == 0 && rect.s1 == 0 && rect.t1 == 0) {
        handle = assetManager->imageForName(assetName);
        image = handle.getResource();
    }
    asset.value = image ? *image : SGImageNull;
}

SGPort* SGImageLoaderNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortName: return &name;
    case SGPortAsset: return &asset;
    default: return nullptr;
    }
}

void SGImageLoaderNode::assetWasUnloaded() {
    asset.markAsDirty();
    handle.forget();
}

void SGImageLoaderNode::assetWasReplaced() { asset.markAsDirty(); }
