// The root of the object runtime: reference counting, retained and weak references,
// class identity, description, equality and key-value change announcements.
#ifndef QZ_OBJECT_H
#define QZ_OBJECT_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class QzClass;
class QzObject;
struct QzWeakControl;
struct QzObservationInfo;

// Whether a key-value announcement comes before or after the change.
enum class QzChangePhase { willChange, didChange };

// Names one key-value observer. Removing through the token is safe at any time: after the
// observed object is gone it does nothing, and removing twice does nothing the second time.
class QzObserverToken {
public:
    QzObserverToken() = default;
    void remove();

private:
    friend class QzObject;
    QzObserverToken(std::weak_ptr<QzObservationInfo> info, unsigned long id) : info_(std::move(info)), id_(id) {}
    std::weak_ptr<QzObservationInfo> info_;  // weak: the observed object owns its observers
    unsigned long id_ = 0;
};

// A reference-counted object. It starts with a count of one, owned by whoever made it
// (normally a QzRef through QzAdopt). The last release destroys it, on that thread.
class QzObject {
public:
    using KeyValueObserver = std::function<void(QzObject* object, const std::string& key, QzChangePhase phase)>;
    using ObserverToken = QzObserverToken;

    QzObject();
    virtual ~QzObject();
    QzObject(const QzObject&) = delete;
    QzObject& operator=(const QzObject&) = delete;

    void retain() const { refCount_.fetch_add(1, std::memory_order_relaxed); }
    void release() const;
    long retainCount() const { return refCount_.load(std::memory_order_relaxed); }

    // The registered class whose methods this object answers; the root class by default.
    virtual QzClass* objectClass() const;
    // True only for classes, whose messages go to their class methods.
    virtual bool isClassObject() const { return false; }
    virtual std::string description() const;
    // Identity by default; value classes compare their contents.
    virtual bool isEqual(const QzObject* other) const { return other == this; }
    virtual size_t hash() const { return std::hash<const void*>()(this); }

    // Key-value change announcements. Observers run synchronously on the announcing thread,
    // in the order they were added; one removed while an announcement runs is skipped, and
    // the object stays alive until the announcement ends even if an observer drops the last
    // reference. An observer that throws is logged and the others still run.
    ObserverToken addKeyValueObserver(KeyValueObserver observer);
    void removeKeyValueObserver(ObserverToken& token) { token.remove(); }
    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);

private:
    friend struct QzWeakAccess;
    void announce(const std::string& key, QzChangePhase phase);

    mutable std::atomic<long> refCount_;
    mutable std::atomic<QzWeakControl*> weakControl_{nullptr};      // owned (shared with weak references)
    std::atomic<std::shared_ptr<QzObservationInfo>> observationInfo_;  // owned, made on first observer
};

struct QzAdoptTag {};

// A retaining pointer to an object.
template <class T>
class QzRef {
public:
    QzRef() = default;
    // Takes over a reference the caller already holds.
    QzRef(T* object, QzAdoptTag) : object_(object) {}
    QzRef(std::nullptr_t) {}
    // Retains the object.
    explicit QzRef(T* object) : object_(object) {
        if (object_) object_->retain();
    }
    QzRef(const QzRef& other) : QzRef(other.object_) {}
    QzRef(QzRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <class U>
    QzRef(const QzRef<U>& other) : QzRef(other.get()) {}
    template <class U>
    QzRef(QzRef<U>&& other) noexcept : object_(other.detach()) {}
    ~QzRef() {
        if (object_) object_->release();
    }
    QzRef& operator=(QzRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;  // retained
};

template <class T, class U>
bool operator==(const QzRef<T>& a, const QzRef<U>& b) { return a.get() == b.get(); }
template <class T>
bool operator==(const QzRef<T>& a, std::nullptr_t) { return a.get() == nullptr; }

// Takes over the reference of a new object (its count of one) without retaining it again.
template <class T>
QzRef<T> QzAdopt(T* object) {
    return QzRef<T>(object, QzAdoptTag{});
}

// Makes an object of type T and holds its one reference.
template <class T, class... Args>
QzRef<T> QzMake(Args&&... args) {
    return QzAdopt(new T(std::forward<Args>(args)...));
}

using QzId = QzRef<QzObject>;

// The runtime's cast between object types: null when the object is not a T. The form taking
// a reference keeps the object retained, so that the result of a call can be cast safely.
template <class T>
T* QzCast(QzObject* object) {
    return dynamic_cast<T*>(object);
}
template <class T, class U>
QzRef<T> QzCast(const QzRef<U>& object) {
    return QzRef<T>(dynamic_cast<T*>(object.get()));
}

// A reference that does not keep its object alive and reads null once it is destroyed.
// Safe against a concurrent last release on another thread.
class QzWeakBase {
public:
    QzWeakBase() = default;
    explicit QzWeakBase(const QzObject* object);
    QzWeakBase(const QzWeakBase& other);
    QzWeakBase& operator=(const QzWeakBase& other);
    ~QzWeakBase();
    // The object, retained, or null once it is gone (or going).
    QzId load() const;
    bool expired() const { return !load(); }

private:
    QzWeakControl* control_ = nullptr;  // retained (the control block is counted separately)
};

template <class T>
class QzWeak {
public:
    QzWeak() = default;
    explicit QzWeak(const T* object) : base_(object) {}
    QzRef<T> load() const {
        QzId strong = base_.load();
        return QzRef<T>(static_cast<T*>(strong.get()));
    }
    bool expired() const { return base_.expired(); }

private:
    QzWeakBase base_;
};

#endif
