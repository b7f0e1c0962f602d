// Reference counting and the process-wide record of live scene-graph objects.
#include "SGObject.h"

#include <cassert>
#include <vector>

namespace {

// One slot per live object. A serial number is the slot's index in its low 32 bits and the
// slot's use count in its high 32 bits, so checking a handle is one array read rather than
// a search, and a slot's next object never shares a serial with its earlier ones. The scene
// graph runs on one thread, so the table is not locked.
struct Slot {
    const void* object = nullptr;  // the live object, or null for a free slot
    uint64_t serial = 0;
};

struct LiveObjects {
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;
    size_t count = 0;
};

LiveObjects& liveObjects() {
    static LiveObjects live;
    return live;
}

uint64_t registerObject(const void* object) {
    LiveObjects& live = liveObjects();
    uint32_t index;
    if (live.freeSlots.empty()) {
        index = static_cast<uint32_t>(live.slots.size());
        live.slots.emplace_back();
    } else {
        index = live.freeSlots.back();
        live.freeSlots.pop_back();
    }
    Slot& slot = live.slots[index];
    const uint64_t uses = (slot.serial >> 32) + 1;
    slot.object = object;
    slot.serial = (uses << 32) | index;
    ++live.count;
    return slot.serial;
}

void unregisterObject(uint64_t serial) {
    LiveObjects& live = liveObjects();
    const auto index = static_cast<uint32_t>(serial);
    live.slots[index].object = nullptr;
    live.freeSlots.push_back(index);
    --live.count;
}

// Objects whose last reference went while another object was being destroyed, and whether
// a destruction is under way.
std::vector<SGObject*>& pendingDestruction() {
    static std::vector<SGObject*> objects;
    return objects;
}
bool destroying = false;

}  // namespace

SGObject::SGObject() : serialNumber(registerObject(this)) {}

SGObject::~SGObject() { unregisterObject(serialNumber); }

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
    const std::vector<Slot>& slots = liveObjects().slots;
    const auto index = static_cast<uint32_t>(serial);
    return index < slots.size() && slots[index].object == object && slots[index].serial == serial;
}

size_t SGObject::liveCount() { return liveObjects().count; }
