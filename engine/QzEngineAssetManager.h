// QzEngineAssetManager: loads images and sounds once by name, shares them through counted
// handles and tells the nodes that show them when they are unloaded.
#ifndef QZ_ENGINE_ASSET_MANAGER_H
#define QZ_ENGINE_ASSET_MANAGER_H

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "QzAsset.h"
#include "QzAssetShelf.h"
#include "QzSoundAsset.h"
#include "QzTextureAsset.h"
#include "SGImage.h"
#include "SGSound.h"

class SGImageLoaderNode;
class SGSoundLoaderNode;
class SGStringToImageNode;

class QzEngineAssetManager final : public QzIAssetObserver {
public:
    // Resolves an asset name to a file path through the project: the first argument is
    // the project function's name ("pathForImage" or "pathForSound"). An empty path means
    // the project does not know the name. It may throw; the failure passes out of the
    // manager operation that resolved the path, with the manager unchanged.
    using PathResolver = std::function<std::string(const char* function, const std::string& name)>;

    explicit QzEngineAssetManager(PathResolver resolver);
    // Detaches every node still registered (they keep their handles and load nothing more),
    // frees every unreferenced asset and leaves each referenced one to QzOrphanedAssets,
    // which frees it when its last handle goes.
    ~QzEngineAssetManager();
    QzEngineAssetManager(const QzEngineAssetManager&) = delete;
    QzEngineAssetManager& operator=(const QzEngineAssetManager&) = delete;

    // Whether the pointer is a manager that has not been destroyed. Spaces borrow their
    // manager, and a script may delete it while they live.
    static bool isLive(const QzEngineAssetManager* manager);

    void loadImageForName(const std::string& name);
    std::string pathForImage(const std::string& name);
    // Loads if needed; a retained handle, or the empty handle for a name the project does
    // not know.
    QzAssetHandle<SGImage> imageForName(const std::string& name);
    const std::map<std::string, std::unique_ptr<QzTextureAsset>>& getImages() const { return images.assets; }
    // Loads the named image's file again into the same asset: every node showing it shows the
    // new picture, nothing else changes. Returns false with *error set when the file cannot be
    // loaded (the old picture stays); *loaded tells whether the image was loaded at all (when
    // not, nothing is done: it is read when first used). Needs a current OpenGL context.
    bool reloadImage(const std::string& name, bool* loaded, std::string* error);
    void unloadImage(const std::string& name);
    void unloadAllImages();
    // Unloads every image and marks every image loader and text image node for recomputing.
    void reloadAllImages();
    // Unloads every image whose name is not kept, referenced or not.
    void cleanupUnusedImages(const std::set<std::string>& keep);
    void loadNewImages(const std::set<std::string>& names);

    // The same for sounds. A sound that cannot be decoded throws SGSoundLoadError out of
    // loadSoundForName and soundForName, and nothing is stored.
    void loadSoundForName(const std::string& name);
    std::string pathForSound(const std::string& name);
    QzAssetHandle<SGSound> soundForName(const std::string& name);
    const std::map<std::string, std::unique_ptr<QzSoundAsset>>& getSounds() const { return sounds.assets; }
    // The same for sounds; a sound that is playing plays out its old buffers.
    bool reloadSound(const std::string& name, bool* loaded, std::string* error);
    void unloadSound(const std::string& name);
    void unloadAllSounds();
    void cleanupUnusedSounds(const std::set<std::string>& keep);
    void loadNewSounds(const std::set<std::string>& names);

    // Unloads every image and sound when some asset has become unreferenced.
    void flushAssets();
    bool hasUnreferencedAssets() const { return unreferencedAssets; }
    void setHasUnreferencedAssets(bool flag) { unreferencedAssets = flag; }
    void notifyAssetRetained(QzIAsset* asset) override;
    void notifyAssetReleased(QzIAsset* asset) override;

    // Called by the nodes themselves from their constructors and destructors.
    void addImageLoader(SGImageLoaderNode* node) { images.loaders.insert(node); }
    void removeImageLoader(SGImageLoaderNode* node) { images.loaders.erase(node); }
    void addSoundLoader(SGSoundLoaderNode* node) { sounds.loaders.insert(node); }
    void removeSoundLoader(SGSoundLoaderNode* node) { sounds.loaders.erase(node); }
    void addTextImageNode(SGStringToImageNode* node) { textImageNodes.insert(node); }
    void removeTextImageNode(SGStringToImageNode* node) { textImageNodes.erase(node); }

    // True while a load is under way (the project's path function is running).
    bool isBusy() const { return busy > 0; }

    // Names are project names, never paths: one with a path separator or a zero byte is
    // refused (logged, not loaded).
    static bool isValidAssetName(const std::string& name);

private:
    // The loader nodes and text nodes stop using this manager.
    void detachAllNodes();

    std::set<SGStringToImageNode*> textImageNodes;  // borrowed: the nodes register themselves
    PathResolver resolvePath;
    // Loads into the shelf unless the name is refused; counts the load as under way.
    template <class Shelf>
    void load(Shelf& shelf, const char* kind, const std::string& name, const char* pathFunction);

    QzAssetShelf<QzTextureAsset, SGImageLoaderNode> images;
    QzAssetShelf<QzSoundAsset, SGSoundLoaderNode> sounds;
    bool unreferencedAssets = false;
    int busy = 0;  // loads under way
};

#endif
