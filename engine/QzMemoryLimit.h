// A bound on the memory an interpreter may hold: its allocation function wrapped so that
// growing past the bound fails, which the interpreter raises as "not enough memory".
#ifndef QZ_MEMORY_LIMIT_H
#define QZ_MEMORY_LIMIT_H

#include <cstddef>

#include <lua.h>

class QzMemoryLimit {
public:
    static constexpr size_t kDefaultMegabytes = 1024;

    QzMemoryLimit() = default;
    QzMemoryLimit(const QzMemoryLimit&) = delete;
    QzMemoryLimit& operator=(const QzMemoryLimit&) = delete;

    // Wraps L's allocation function; what L holds already counts. The limit is borrowed by
    // L and must outlive it. A limit of 0 bytes attaches nothing.
    void attach(lua_State* L, size_t limitBytes);
    size_t bytesInUse() const { return inUse_; }
    size_t peakBytes() const { return peak_; }

private:
    static void* allocate(void* context, void* block, size_t oldSize, size_t newSize);

    lua_Alloc inner_ = nullptr;
    void* innerContext_ = nullptr;  // borrowed: the wrapped function's own
    size_t limit_ = 0;
    size_t inUse_ = 0;
    size_t peak_ = 0;
};

#endif
