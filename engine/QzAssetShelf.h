// QzAssetShelf: the assets of one kind (images or sounds) held by the asset manager by
// name, with the loader nodes to tell when they go. Used only by QzEngineAssetManager.
#ifndef QZ_ASSET_SHELF_H
#define QZ_ASSET_SHELF_H

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "QzAsset.h"

// Asset: a QzBaseAsset<R> built from (observer, path), with reload(error). Loader: a node with
// currentAssetName(), heldAsset(), assetWasUnloaded() (mark its output dirty, forget its
// handle without releasing) and assetWasReplaced() (mark its output dirty, keep its handle).
//
// Before an asset is destroyed, every loader still holding it forgets it, whatever its name
// input says now (a loader whose name changed since it last computed still holds the old
// asset); then the loaders whose name input holds the name are told, as the manager's
// contract says.
template <class Asset, class Loader>
class QzAssetShelf {
public:
    using Map = std::map<std::string, std::unique_ptr<Asset>>;
    using Resource = std::remove_pointer_t<decltype(std::declval<Asset&>().getAsset())>;

    // Loads the name unless it is loaded or its path is empty. A failure (resolving or
    // loading) passes out before anything is stored.
    void load(const std::string& name, const std::function<std::string()>& resolve,
              QzIAssetObserver* observer) {
        if (assets.count(name)) return;
        const std::string path = resolve();
        if (path.empty()) return;
        auto asset = std::make_unique<Asset>(observer, path);
        // The project's path function may itself have loaded the name; the first one stays.
        assets.try_emplace(name, std::move(asset));
    }

    QzAssetHandle<Resource> handleFor(const std::string& name) const {
        const auto found = assets.find(name);
        if (found == assets.end() || !found->second) return {};
        return found->second->getHandle();
    }

    // Loads the named asset's file again in place. Loaded: false when nothing of that name is
    // loaded (the file is read when it is first used). False with *error set when the file
    // cannot be loaded; the old asset stays as it was.
    bool reload(const std::string& name, bool* loaded, std::string* error) {
        const auto found = assets.find(name);
        *loaded = found != assets.end() && found->second;
        if (!*loaded) return true;
        if (!found->second->reload(error)) return false;
        for (Loader* loader : loaders) {
            if (loader->heldAsset() == found->second.get()) loader->assetWasReplaced();
        }
        return true;
    }

    void unload(const std::string& name) {
        const auto found = assets.find(name);
        if (found != assets.end()) destroy(found);
        tellLoaders(name);
    }

    void unloadAll() {
        for (Loader* loader : loaders) loader->assetWasUnloaded();
        assets.clear();
    }

    void cleanup(const std::set<std::string>& keep) {
        for (auto position = assets.begin(); position != assets.end();) {
            if (keep.count(position->first)) {
                ++position;
                continue;
            }
            const std::string name = position->first;
            position = destroy(position);
            tellLoaders(name);
        }
    }

    // Tells every loader whose name input holds exactly this name. The set is copied: reading
    // a name may compute upstream nodes.
    void tellLoaders(const std::string& name) {
        for (Loader* loader : std::vector<Loader*>(loaders.begin(), loaders.end())) {
            if (loaders.count(loader) && loader->currentAssetName() == name) loader->assetWasUnloaded();
        }
    }

    typename Map::iterator destroy(typename Map::iterator position) {
        for (Loader* loader : loaders) {
            if (loader->heldAsset() == position->second.get()) loader->assetWasUnloaded();
        }
        return assets.erase(position);
    }

    // The manager goes: referenced assets pass to the orphaned assets, the others are
    // destroyed. The loaders keep their handles.
    void orphanReferencedAssets() {
        for (auto& [name, asset] : assets) {
            if (!asset || asset->getReferenceCount() <= 0) continue;
            asset->setObserver(&QzOrphanedAssets::shared());
            QzOrphanedAssets::shared().adopt(std::move(asset));
        }
        assets.clear();
    }

    std::set<Loader*> loaders;  // borrowed: the nodes register themselves
    Map assets;                 // owned
};

#endif
