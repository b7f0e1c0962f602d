// The counting allocation function that refuses to grow an interpreter past its limit.
#include "QzMemoryLimit.h"

void QzMemoryLimit::attach(lua_State* L, size_t limitBytes) {
    if (limitBytes == 0) return;
    limit_ = limitBytes;
    inner_ = lua_getallocf(L, &innerContext_);
    // The interpreter's own count is the sum of the sizes of the blocks it holds, which is
    // what the frees to come will subtract.
    inUse_ = static_cast<size_t>(lua_gc(L, LUA_GCCOUNT, 0)) * 1024 + static_cast<size_t>(lua_gc(L, LUA_GCCOUNTB, 0));
    peak_ = inUse_;
    lua_setallocf(L, &QzMemoryLimit::allocate, this);
}

void* QzMemoryLimit::allocate(void* context, void* block, size_t oldSize, size_t newSize) {
    auto* limit = static_cast<QzMemoryLimit*>(context);
    // Only growth is refused: freeing and shrinking always go through, so the interpreter
    // can unwind and collect once a script is stopped.
    if (newSize > oldSize && limit->inUse_ - oldSize + newSize > limit->limit_) return nullptr;
    void* result = limit->inner_(limit->innerContext_, block, oldSize, newSize);
    if (result || newSize == 0) {
        limit->inUse_ = limit->inUse_ - oldSize + newSize;
        if (limit->inUse_ > limit->peak_) limit->peak_ = limit->inUse_;
    }
    return result;
}
