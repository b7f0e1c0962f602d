// The size-class pool allocator that can serve the interpreter's many small blocks.
#ifndef QZ_ALLOCATOR_H
#define QZ_ALLOCATOR_H

#include <cstddef>
#include <cstdint>

enum { QzPoolCount = 11, QzPoolMaxChunks = 128, QzPoolLargestBlock = 640 };

// One size class: fixed-size blocks carved from chunks that are never released before the
// pool is destroyed. Free blocks sit on a stack reserved up front for 128 chunks' worth, so
// growth never moves it.
struct QzMemoryPool {
    uint64_t blockSize;
    uint64_t blocksPerChunk;
    uint64_t freeCount;
    void** freeStack;                 // owned; blocksPerChunk * 128 entries
    uint64_t chunkCount;
    void* chunks[QzPoolMaxChunks];    // owned; the first chunkCount are in use
    // Blocks the interpreter sizes for this pool that came from another pool or the heap:
    // kept in place by a shrink that this pool could not serve.
    uint64_t strangerCount;
};

struct QzPoolAllocator {
    uint64_t blockSizes[QzPoolCount];
    QzMemoryPool pools[QzPoolCount];
};

QzPoolAllocator* QzPoolAllocatorNew();
void QzPoolAllocatorDestroy(QzPoolAllocator* allocator);

// The interpreter's allocation function (lua_Alloc) with the allocator as its user data.
// A new block or a growth that a full pool (128 chunks, no free block) cannot serve prints a
// message and fails, so the interpreter raises its out-of-memory error. A request that does
// not grow the block never fails (the interpreter relies on that): a shrink into a full pool
// keeps the old block, and freeing or resizing it later finds the pool it came from.
void* Qz_PoolLuaAlloc(void* allocator, void* block, size_t oldSize, size_t newSize);

void QzPoolAllocatorGetSize(const QzPoolAllocator* allocator, uint64_t* bytesInUse,
                            uint64_t* bytesHeld, uint64_t* bytesCapacity);
void QzPoolAllocatorPrintDescription(const QzPoolAllocator* allocator);

void QzMemoryPoolInit(QzMemoryPool* pool, uint64_t blockSize, uint64_t blocksPerChunk);
void QzMemoryPoolDestroy(QzMemoryPool* pool);

// The pool number that serves a request of this many bytes, or -1 above 640 bytes.
int QzPoolIndexForSize(size_t size);

#endif
