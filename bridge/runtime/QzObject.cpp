// Reference counting, weak references and key-value announcements of the object runtime.
#include "QzObject.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "QzClass.h"
#include "QzLog.h"

// Shared by an object and its weak references; outlives the object while weak references
// remain. The mutex orders a weak load against the object's last release.
struct QzWeakControl {
    std::mutex mutex;
    QzObject* object;             // borrowed; null once the object's last release began
    std::atomic<long> references{1};

    void retain() { references.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

struct QzObserverEntry {
    unsigned long id;
    QzObject::KeyValueObserver observer;
    std::atomic<bool> removed{false};
};

// Shared with the tokens, so that a token outliving its object removes nothing harmlessly.
struct QzObservationInfo {
    std::mutex mutex;
    std::vector<std::shared_ptr<QzObserverEntry>> observers;
    unsigned long nextId = 1;
};

// The one place that reads an object's private weak-reference state.
struct QzWeakAccess {
    static QzWeakControl* controlOf(const QzObject* object) {
        QzWeakControl* control = object->weakControl_.load(std::memory_order_acquire);
        if (control) return control;
        auto* fresh = new QzWeakControl{};
        fresh->object = const_cast<QzObject*>(object);
        if (object->weakControl_.compare_exchange_strong(control, fresh, std::memory_order_acq_rel))
            return fresh;
        delete fresh;
        return control;
    }

    // Retains the object unless its count already reached zero.
    static bool tryRetain(const QzObject* object) {
        long count = object->refCount_.load(std::memory_order_relaxed);
        while (count > 0)
            if (object->refCount_.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
                return true;
        return false;
    }
};

QzObject::QzObject() : refCount_(1) {}

QzObject::~QzObject() = default;

void QzObject::release() const {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (QzWeakControl* control = weakControl_.load(std::memory_order_acquire)) {
        {
            std::lock_guard lock(control->mutex);
            control->object = nullptr;
        }
        control->release();
    }
    delete this;
}

QzClass* QzObject::objectClass() const {
    return QzClass::rootClass();
}

std::string QzObject::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + objectClass()->name() + ": " + address + ">";
}

QzObject::ObserverToken QzObject::addKeyValueObserver(KeyValueObserver observer) {
    std::shared_ptr<QzObservationInfo> info = observationInfo_.load(std::memory_order_acquire);
    if (!info) {
        auto fresh = std::make_shared<QzObservationInfo>();
        info = observationInfo_.compare_exchange_strong(info, fresh, std::memory_order_acq_rel) ? fresh : info;
    }
    std::lock_guard lock(info->mutex);
    auto entry = std::make_shared<QzObserverEntry>();
    entry->id = info->nextId++;
    entry->observer = std::move(observer);
    info->observers.push_back(entry);
    return ObserverToken(info, entry->id);
}

void QzObserverToken::remove() {
    std::shared_ptr<QzObservationInfo> info = info_.lock();
    if (!info) return;
    std::lock_guard lock(info->mutex);
    std::erase_if(info->observers, [this](const std::shared_ptr<QzObserverEntry>& entry) {
        if (entry->id != id_) return false;
        entry->removed = true;
        return true;
    });
}

void QzObject::willChangeValueForKey(const std::string& key) {
    announce(key, QzChangePhase::willChange);
}

void QzObject::didChangeValueForKey(const std::string& key) {
    announce(key, QzChangePhase::didChange);
}

void QzObject::announce(const std::string& key, QzChangePhase phase) {
    std::shared_ptr<QzObservationInfo> info = observationInfo_.load(std::memory_order_acquire);
    if (!info) return;
    // Observers run from a copy of the list, so that they may add or remove observers; one
    // removed meanwhile is skipped, since its owner may be gone.
    std::vector<std::shared_ptr<QzObserverEntry>> observers;
    {
        std::lock_guard lock(info->mutex);
        observers = info->observers;
    }
    if (observers.empty()) return;
    // An observer may drop the last reference to this object; it is destroyed after the
    // announcement instead. An object already being destroyed is not revived.
    QzId alive = QzWeakAccess::tryRetain(this) ? QzAdopt(this) : nullptr;
    for (const auto& entry : observers) {
        if (entry->removed) continue;
        try {
            entry->observer(this, key, phase);
        } catch (const std::exception& failure) {
            QzLog("Key-value observer of %s for key '%s' failed: %s", description().c_str(), key.c_str(),
                  failure.what());
        }
    }
}

QzWeakBase::QzWeakBase(const QzObject* object) {
    if (!object) return;
    control_ = QzWeakAccess::controlOf(object);
    control_->retain();
}

QzWeakBase::QzWeakBase(const QzWeakBase& other) : control_(other.control_) {
    if (control_) control_->retain();
}

QzWeakBase& QzWeakBase::operator=(const QzWeakBase& other) {
    if (other.control_) other.control_->retain();
    if (control_) control_->release();
    control_ = other.control_;
    return *this;
}

QzWeakBase::~QzWeakBase() {
    if (control_) control_->release();
}

QzId QzWeakBase::load() const {
    if (!control_) return nullptr;
    std::lock_guard lock(control_->mutex);
    QzObject* object = control_->object;
    if (!object || !QzWeakAccess::tryRetain(object)) return nullptr;
    return QzAdopt(object);
}
