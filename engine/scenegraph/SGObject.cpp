// Reference counting and the process-wide record of live scene-graph objects.
#include "SGObject.h"

#include <cassert>
#include <unordered_map>

namespace {

// Live objects by address, with their serial numbers. The scene graph runs on one thread,
// so the table is not locked.
std::unordered_map<const void*, uint64_t>& liveObjects() {
    static std::unordered_map<const void*, uint64_t> objects;
    return objects;
}

uint64_t nextSerial = 1;

}  // namespace

SGObject::SGObject() : serialNumber(nextSerial++) {
    liveObjects()[static_cast<const void*>(this)] = serialNumber;
}

SGObject::~SGObject() { liveObjects().erase(static_cast<const void*>(this)); }

void SGObject::retain() { ++refCount; }

void SGObject::release() {
    assert(refCount > 0 && "refCount > 0");
    if (--refCount == 0) delete this;
}

bool SGObject::isAlive(const void* object, uint64_t serial) {
    const auto found = liveObjects().find(object);
    return found != liveObjects().end() && found->second == serial;
}

size_t SGObject::liveCount() { return liveObjects().size(); }
