// Reference counting and the process-wide record of live scene-graph objects.
#include "SGObject.h"

#include <cassert>
#include <unordered_map>
#include <vector>

namespace {

// Live objects by address, with their serial numbers. The scene graph runs on one thread,
// so the table is not locked.
std::unordered_map<const void*, uint64_t>& liveObjects() {
    static std::unordered_map<const void*, uint64_t> objects;
    return objects;
}

uint64_t nextSerial = 1;

// Objects whose last reference went while another object was being destroyed, and whether
// a destruction is under way.
std::vector<SGObject*>& pendingDestruction() {
    static std::vector<SGObject*> objects;
    return objects;
}
bool destroying = false;

}  // namespace

SGObject::SGObject() : serialNumber(nextSerial++) {
    liveObjects()[static_cast<const void*>(this)] = serialNumber;
}

SGObject::~SGObject() { liveObjects().erase(static_cast<const void*>(this)); }

void SGObject::retain() { ++refCount; }

void SGObject::release() {
    assert(refCount > 0 && "refCount > 0");
    if (--refCount != 0) return;
    // A destroyed node releases the nodes its ports read from, which may go in turn: along a
    // long chain of connected nodes that would nest one destructor per node. Objects that
    // lose their last reference during a destruction wait in a list that the outermost
    // release works through, so the nesting stays flat.
    pendingDestruction().push_back(this);
    if (destroying) return;
    destroying = true;
    while (!pendingDestruction().empty()) {
        SGObject* object = pendingDestruction().back();
        pendingDestruction().pop_back();
        delete object;
    }
    destroying = false;
}

bool SGObject::isAlive(const void* object, uint64_t serial) {
    const auto found = liveObjects().find(object);
    return found != liveObjects().end() && found->second == serial;
}

size_t SGObject::liveCount() { return liveObjects().size(); }
