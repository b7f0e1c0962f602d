// SGObject: the reference-counted base of scene-graph nodes and scenes.
#ifndef SG_OBJECT_H
#define SG_OBJECT_H

#include <cstddef>
#include <cstdint>

// Starts with one reference, held by whoever made it; release() destroys the object when
// the last reference goes. Every object also gets a serial number, unique in the process,
// so that a handle that outlives its object can be told from a new object that happens to
// reuse the address (see isAlive).
class SGObject {
public:
    SGObject();
    SGObject(const SGObject&) = delete;
    SGObject& operator=(const SGObject&) = delete;
    virtual ~SGObject();

    void retain();
    void release();
    bool isRetained() const { return refCount > 1; }
    uint32_t retainCount() const { return refCount; }
    uint64_t serial() const { return serialNumber; }

    // True when the object at this address exists and carries this serial number.
    // The address is only compared, never followed, so it may name a destroyed object.
    static bool isAlive(const void* object, uint64_t serial);
    // How many scene-graph objects exist in the process (for leak checks in tests).
    static size_t liveCount();

private:
    uint32_t refCount = 1;
    uint64_t serialNumber;
};

#endif
