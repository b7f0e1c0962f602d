// Counted assets: the asset interface, its observer, the common asset state and the handles
// through which images and sounds are shared.
#ifndef QZ_ASSET_H
#define QZ_ASSET_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QzIAsset {
public:
    virtual const std::string& getResourceLocator() const = 0;
    virtual int32_t getReferenceCount() const = 0;
    virtual void retain() = 0;
    virtual void release() = 0;
    // Frees the held resource (texture or sound buffers).
    virtual void freeAsset() = 0;
    virtual ~QzIAsset() = default;
};

// Told when an asset is retained or released (the asset manager).
class QzIAssetObserver {
public:
    virtual void notifyAssetRetained(QzIAsset* asset) = 0;
    virtual void notifyAssetReleased(QzIAsset* asset) = 0;

protected:
    ~QzIAssetObserver() = default;
};

template <class T>
class QzAssetHandle;

// The assets still referenced when their manager was destroyed: each one is destroyed when
// its last handle goes. One per process, used on the script thread only.
class QzOrphanedAssets final : public QzIAssetObserver {
public:
    static QzOrphanedAssets& shared();
    // Takes the asset; the caller hands it over with setObserver(this) already done.
    void adopt(std::unique_ptr<QzIAsset> asset);
    size_t count() const { return assets.size(); }
    void notifyAssetRetained(QzIAsset*) override {}
    void notifyAssetReleased(QzIAsset* asset) override;

private:
    std::vector<std::unique_ptr<QzIAsset>> assets;  // owned
};

// An asset holding one resource of type T. Releasing never destroys it: only the manager
// does, by unloading.
template <class T>
class QzBaseAsset : public QzIAsset {
public:
    QzBaseAsset(QzIAssetObserver* observer, std::string locator)
        : resourceLocator(std::move(locator)), observer(observer) {}
    QzBaseAsset(const QzBaseAsset&) = delete;
    QzBaseAsset& operator=(const QzBaseAsset&) = delete;

    const std::string& getResourceLocator() const override { return resourceLocator; }
    int32_t getReferenceCount() const override { return referenceCount; }
    void retain() override {
        ++referenceCount;
        if (observer) observer->notifyAssetRetained(this);
    }
    // The observer may destroy the asset when the count reaches 0 (QzOrphanedAssets), so
    // nothing here touches the asset after telling it.
    void release() override {
        --referenceCount;
        if (observer) observer->notifyAssetReleased(this);
    }
    // The held resource; it lives inside the asset.
    virtual T* getAsset() = 0;
    // A new handle on this asset, which retains it once.
    QzAssetHandle<T> getHandle() { return QzAssetHandle<T>(this); }
    // Hands the asset to another observer (when its manager goes before its handles).
    void setObserver(QzIAssetObserver* newObserver) { observer = newObserver; }

private:
    int32_t referenceCount = 0;
    std::string resourceLocator;
    QzIAssetObserver* observer;  // borrowed: the manager that made the asset; may be null
};

// Empty base of the concrete assets.
class QzAssetHandleFactory {};

// A counted reference to an asset and its resource. Copies retain, destruction releases.
template <class T>
class QzAssetHandle {
public:
    QzAssetHandle() = default;
    // Retains the asset (none gives the empty handle).
    explicit QzAssetHandle(QzBaseAsset<T>* asset) : asset(asset), resource(asset ? asset->getAsset() : nullptr) {
        if (asset) asset->retain();
    }
    QzAssetHandle(const QzAssetHandle& other) : QzAssetHandle(other.asset) {}
    QzAssetHandle(QzAssetHandle&& other) noexcept : asset(other.asset), resource(other.resource) {
        other.forget();
    }
    QzAssetHandle& operator=(const QzAssetHandle& other) {
        if (this == &other) return *this;
        if (asset) asset->release();
        asset = other.asset;
        resource = other.resource;
        if (asset) asset->retain();
        return *this;
    }
    QzAssetHandle& operator=(QzAssetHandle&& other) noexcept {
        if (this == &other) return *this;
        if (asset) asset->release();
        asset = other.asset;
        resource = other.resource;
        other.forget();
        return *this;
    }
    virtual ~QzAssetHandle() {
        if (asset) asset->release();
    }

    QzBaseAsset<T>* getAssetObject() const { return asset; }
    T* getResource() const { return resource; }
    // Drops both pointers without releasing: for an asset that is already gone.
    void forget() {
        asset = nullptr;
        resource = nullptr;
    }

private:
    QzBaseAsset<T>* asset = nullptr;  // counted reference; may be null
    T* resource = nullptr;            // points into asset; null when asset is null
};

#endif
