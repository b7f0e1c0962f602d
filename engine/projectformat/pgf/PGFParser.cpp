// The tree builder under the document reader: element events become script tables on the interpreter stack.
#include "PGFParser.h"

#include <cstdio>

namespace {

// Counters preallocated for ordinary documents; deeper documents grow the list (with a
// warning, as a hint that the document is unusually deep).
constexpr size_t kExpectedLevels = 100;

// One slot for the new node and two for a key and value while storing into it.
constexpr int kSlotsPerElement = 3;

// The largest integer a 32-bit float script number holds exactly.
constexpr uint32_t kLargestExactKey = 1u << 24;

}  // namespace

PGFParser::PGFParser(lua_State* L) : L_(L), childCounters_(kExpectedLevels, 0) {}

bool PGFParser::pushElement(const char* name, size_t length, int attributeCount) {
    // lua_checkstack grows the stack, or refuses once the interpreter's limit for one C
    // call is reached; pushing without that check would write past the stack's end.
    if (!lua_checkstack(L_, kSlotsPerElement)) return false;
    lua_createtable(L_, 1, attributeCount + 1);
    lua_pushlstring(L_, name, length);
    lua_rawseti(L_, -2, 0);
    if (depth_ >= childCounters_.size()) {
        std::printf("WARNING! stack size has grown past expected levels( %zu )\n", childCounters_.size());
        childCounters_.push_back(1);
    } else {
        childCounters_[depth_] = 1;
    }
    ++depth_;
    return true;
}

bool PGFParser::popElement() {
    if (depth_ <= 1) return true;  // the root stays on the stack as the result
    --depth_;
    const uint32_t key = childCounters_[depth_ - 1]++;
    if (key > kLargestExactKey) return false;
    lua_rawseti(L_, -2, static_cast<int>(key));
    return true;
}

void PGFParser::setAttribute(const char* name, size_t nameLength, const char* value, size_t valueLength) {
    lua_pushlstring(L_, name, nameLength);
    lua_pushlstring(L_, value, valueLength);
    lua_rawset(L_, -3);
}

void PGFParser::setTextValue(const char* bytes, size_t length) {
    lua_pushlstring(L_, bytes, length);
    lua_rawseti(L_, -2, 1);
}

bool PGFParser::currentElementIsChildless() const {
    return depth_ > 0 && childCounters_[depth_ - 1] == 1;
}
