// A map from integers to objects and a set of objects, both holding their objects weakly:
// an entry disappears when its object is destroyed.
#ifndef QZ_WEAK_COLLECTIONS_H
#define QZ_WEAK_COLLECTIONS_H

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "QzObject.h"

template <class T>
class QzWeakMap {
public:
    // The live object under the key, retained, or null.
    QzRef<T> objectForKey(int64_t key) const {
        std::lock_guard lock(mutex_);
        auto found = entries_.find(key);
        return found == entries_.end() ? nullptr : found->second.load();
    }
    void setObject(T* object, int64_t key) {
        std::lock_guard lock(mutex_);
        pruneLocked();
        entries_[key] = QzWeak<T>(object);
    }
    void removeObjectForKey(int64_t key) {
        std::lock_guard lock(mutex_);
        entries_.erase(key);
    }
    void removeAllObjects() {
        std::lock_guard lock(mutex_);
        entries_.clear();
    }
    // Live entries only.
    size_t count() const {
        std::lock_guard lock(mutex_);
        size_t live = 0;
        for (const auto& entry : entries_) live += entry.second.load() ? 1 : 0;
        return live;
    }

private:
    // Drops entries whose objects are gone, so that the map does not grow without bound.
    void pruneLocked() {
        if (entries_.size() < nextPrune_) return;
        std::erase_if(entries_, [](const auto& entry) { return entry.second.expired(); });
        nextPrune_ = entries_.size() * 2 + 16;
    }

    mutable std::mutex mutex_;
    std::unordered_map<int64_t, QzWeak<T>> entries_;
    size_t nextPrune_ = 16;
};

template <class T>
class QzWeakSet {
public:
    void addObject(T* object) {
        if (!object) return;
        std::lock_guard lock(mutex_);
        std::erase_if(members_, [object](const QzWeak<T>& member) {
            QzRef<T> live = member.load();
            return !live || live.get() == object;
        });
        members_.emplace_back(object);
    }
    void removeObject(T* object) {
        std::lock_guard lock(mutex_);
        std::erase_if(members_, [object](const QzWeak<T>& member) {
            QzRef<T> live = member.load();
            return !live || live.get() == object;
        });
    }
    // The live members, retained, in the order they were added.
    std::vector<QzRef<T>> allObjects() const {
        std::lock_guard lock(mutex_);
        std::vector<QzRef<T>> live;
        for (const QzWeak<T>& member : members_)
            if (QzRef<T> object = member.load()) live.push_back(std::move(object));
        return live;
    }
    size_t count() const { return allObjects().size(); }

private:
    mutable std::mutex mutex_;
    std::vector<QzWeak<T>> members_;
};

#endif
