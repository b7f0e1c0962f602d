// The asset manager: loading by name, counted sharing, unloading and telling the nodes.
#include "QzEngineAssetManager.h"

#include <cstdio>

#include "nodes/SGImageLoaderNode.h"
#include "nodes/SGSoundLoaderNode.h"
#include "nodes/SGStringToImageNode.h"

namespace {

// The managers that exist; see isLive.
std::set<const QzEngineAssetManager*>& liveManagers() {
    static std::set<const QzEngineAssetManager*> managers;
    return managers;
}

// Counts one load under way for as long as it lives, also when the load throws.
class BusyScope {
public:
    explicit BusyScope(int& counter) : counter(counter) { ++counter; }
    ~BusyScope() { --counter; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& counter;
};

}  // namespace

QzEngineAssetManager::QzEngineAssetManager(PathResolver resolver) : resolvePath(std::move(resolver)) {
    liveManagers().insert(this);
}

// Assets still referenced outlive the manager until their last handle goes; a flush here
// would unload them from under loaders that can no longer load them again.
QzEngineAssetManager::~QzEngineAssetManager() {
    liveManagers().erase(this);
    detachAllNodes();
    images.orphanReferencedAssets();
    sounds.orphanReferencedAssets();
    QzSoundAsset::freeRetiredSounds();
}

QzOrphanedAssets& QzOrphanedAssets::shared() {
    // Never destroyed: an asset left at exit would free its texture without a context.
    static auto* orphans = new QzOrphanedAssets;
    return *orphans;
}

void QzOrphanedAssets::adopt(std::unique_ptr<QzIAsset> asset) { assets.push_back(std::move(asset)); }

void QzOrphanedAssets::notifyAssetReleased(QzIAsset* asset) {
    if (asset->getReferenceCount() > 0) return;
    std::erase_if(assets, [asset](const std::unique_ptr<QzIAsset>& held) { return held.get() == asset; });
}

bool QzEngineAssetManager::isLive(const QzEngineAssetManager* manager) {
    return manager && liveManagers().count(manager) != 0;
}

bool QzEngineAssetManager::isValidAssetName(const std::string& name) {
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string QzEngineAssetManager::pathForImage(const std::string& name) {
    return resolvePath("pathForImage", name);
}

template <class Shelf>
void QzEngineAssetManager::load(Shelf& shelf, const char* kind, const std::string& name, const char* pathFunction) {
    if (!isValidAssetName(name)) {
        std::fprintf(stderr, "asset manager: the %s name \"%s\" contains a path separator or a "
                             "zero byte and is not loaded: use the asset's name from the game project\n",
                     kind, name.c_str());
        return;
    }
    const BusyScope scope(busy);
    shelf.load(name, [&] { return resolvePath(pathFunction, name); }, this);
}

void QzEngineAssetManager::loadImageForName(const std::string& name) { load(images, "image", name, "pathForImage"); }

void QzEngineAssetManager::loadSoundForName(const std::string& name) { load(sounds, "sound", name, "pathForSound"); }

std::string QzEngineAssetManager::pathForSound(const std::string& name) {
    return resolvePath("pathForSound", name);
}

QzAssetHandle<SGSound> QzEngineAssetManager::soundForName(const std::string& name) {
    loadSoundForName(name);
    return sounds.handleFor(name);
}

bool QzEngineAssetManager::reloadSound(const std::string& name, bool* loaded, std::string* error) {
    const bool reloaded = sounds.reload(name, loaded, error);
    QzSoundAsset::freeRetiredSounds();
    return reloaded;
}

void QzEngineAssetManager::unloadSound(const std::string& name) {
    sounds.unload(name);
    QzSoundAsset::freeRetiredSounds();
}

void QzEngineAssetManager::unloadAllSounds() {
    sounds.unloadAll();
    QzSoundAsset::freeRetiredSounds();
}

void QzEngineAssetManager::cleanupUnusedSounds(const std::set<std::string>& keep) {
    sounds.cleanup(keep);
    QzSoundAsset::freeRetiredSounds();
}

void QzEngineAssetManager::loadNewSounds(const std::set<std::string>& names) {
    for (const std::string& name : names) loadSoundForName(name);
}

QzAssetHandle<SGImage> QzEngineAssetManager::imageForName(const std::string& name) {
    loadImageForName(name);
    return images.handleFor(name);
}

bool QzEngineAssetManager::reloadImage(const std::string& name, bool* loaded, std::string* error) {
    return images.reload(name, loaded, error);
}

void QzEngineAssetManager::unloadImage(const std::string& name) { images.unload(name); }

void QzEngineAssetManager::unloadAllImages() { images.unloadAll(); }

void QzEngineAssetManager::reloadAllImages() {
    images.unloadAll();
    for (SGStringToImageNode* node : textImageNodes) node->image.markAsDirty();
}

void QzEngineAssetManager::cleanupUnusedImages(const std::set<std::string>& keep) { images.cleanup(keep); }

void QzEngineAssetManager::loadNewImages(const std::set<std::string>& names) {
    for (const std::string& name : names) loadImageForName(name);
}

void QzEngineAssetManager::flushAssets() {
    if (!unreferencedAssets) return;
    images.cleanup({});
    sounds.cleanup({});
    unreferencedAssets = false;
}

void QzEngineAssetManager::notifyAssetRetained(QzIAsset*) {}

void QzEngineAssetManager::notifyAssetReleased(QzIAsset* asset) {
    if (asset->getReferenceCount() == 0) unreferencedAssets = true;
}

void QzEngineAssetManager::detachAllNodes() {
    for (SGImageLoaderNode* node : images.loaders) node->detachFromManager();
    images.loaders.clear();
    for (SGSoundLoaderNode* node : sounds.loaders) node->detachFromManager();
    sounds.loaders.clear();
    for (SGStringToImageNode* node : textImageNodes) node->detachFromManager();
    textImageNodes.clear();
}
