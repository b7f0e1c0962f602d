// The size-class pool allocator: eleven pools of fixed-size blocks for requests up to 640 bytes.
#include "QzAllocator.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct SizeClass {
    uint64_t blockSize;
    uint64_t blocksPerChunk;
};

constexpr SizeClass kSizeClasses[QzPoolCount] = {
    {8, 2500},   {16, 2500},  {20, 8000},  {32, 12000}, {40, 8000}, {64, 2000},
    {80, 3200},  {128, 1000}, {160, 3200}, {320, 2500}, {640, 1500},
};

// Pool number by request size in 4-byte units rounded up, minus one (sizes 1 to 4 use entry
// 0, 637 to 640 entry 159).
struct PoolTable {
    unsigned char entries[160];
    constexpr PoolTable() : entries() {
        int pool = 0;
        for (int i = 0; i < 160; ++i) {
            const uint64_t size = static_cast<uint64_t>(i + 1) * 4;
            while (kSizeClasses[pool].blockSize < size) ++pool;
            entries[i] = static_cast<unsigned char>(pool);
        }
    }
};
constexpr PoolTable kPoolTable;

// Pushes every block of a fresh chunk in ascending address order, so the chunk's highest
// block is handed out first.
void pushChunk(QzMemoryPool* pool, char* chunk) {
    for (uint64_t i = 0; i < pool->blocksPerChunk; ++i)
        pool->freeStack[pool->freeCount++] = chunk + i * pool->blockSize;
}

bool addChunk(QzMemoryPool* pool) {
    if (pool->chunkCount >= QzPoolMaxChunks) return false;
    char* chunk = static_cast<char*>(std::malloc(pool->blocksPerChunk * pool->blockSize));
    if (!chunk) return false;
    pool->chunks[pool->chunkCount++] = chunk;
    pushChunk(pool, chunk);
    return true;
}

void* takeBlock(QzMemoryPool* pool) {
    if (pool->freeCount == 0 && !addChunk(pool)) {
        if (pool->chunkCount >= QzPoolMaxChunks)
            std::printf("Ran out of chunks of size %lu\n", static_cast<unsigned long>(pool->blockSize));
        return nullptr;
    }
    return pool->freeStack[--pool->freeCount];
}

void returnBlock(QzMemoryPool* pool, void* block) {
    pool->freeStack[pool->freeCount++] = block;
}

}  // namespace

int QzPoolIndexForSize(size_t size) {
    if (size == 0 || size > QzPoolLargestBlock) return -1;
    return kPoolTable.entries[(size + 3) / 4 - 1];
}

void QzMemoryPoolInit(QzMemoryPool* pool, uint64_t blockSize, uint64_t blocksPerChunk) {
    std::memset(pool, 0, sizeof *pool);
    pool->blockSize = blockSize;
    pool->blocksPerChunk = blocksPerChunk;
    pool->freeStack = static_cast<void**>(std::malloc(blocksPerChunk * QzPoolMaxChunks * sizeof(void*)));
    addChunk(pool);
}

void QzMemoryPoolDestroy(QzMemoryPool* pool) {
    for (uint64_t i = 0; i < pool->chunkCount; ++i) std::free(pool->chunks[i]);
    std::free(pool->freeStack);
    std::memset(pool, 0, sizeof *pool);
}

QzPoolAllocator* QzPoolAllocatorNew() {
    auto* allocator = static_cast<QzPoolAllocator*>(std::calloc(1, sizeof(QzPoolAllocator)));
    for (int i = 0; i < QzPoolCount; ++i) {
        allocator->blockSizes[i] = kSizeClasses[i].blockSize;
        QzMemoryPoolInit(&allocator->pools[i], kSizeClasses[i].blockSize, kSizeClasses[i].blocksPerChunk);
    }
    return allocator;
}

void QzPoolAllocatorDestroy(QzPoolAllocator* allocator) {
    if (!allocator) return;
    for (QzMemoryPool& pool : allocator->pools) QzMemoryPoolDestroy(&pool);
    std::free(allocator);
}

namespace {

bool poolHolds(const QzMemoryPool& pool, const void* block) {
    const auto* address = static_cast<const char*>(block);
    for (uint64_t i = 0; i < pool.chunkCount; ++i) {
        const auto* chunk = static_cast<const char*>(pool.chunks[i]);
        if (address >= chunk && address < chunk + pool.blocksPerChunk * pool.blockSize) return true;
    }
    return false;
}

// The pool a live block came from (-1 for the heap), given the pool its size selects. Only
// a pool that has strangers needs the search; the stranger count drops when one is found,
// since the caller frees or moves it.
int sourcePool(QzPoolAllocator* allocator, const void* block, int sizedPool) {
    if (sizedPool < 0 || allocator->pools[sizedPool].strangerCount == 0) return sizedPool;
    if (poolHolds(allocator->pools[sizedPool], block)) return sizedPool;
    --allocator->pools[sizedPool].strangerCount;
    for (int i = 0; i < QzPoolCount; ++i)
        if (i != sizedPool && poolHolds(allocator->pools[i], block)) return i;
    return -1;
}

void release(QzPoolAllocator* allocator, void* block, int pool) {
    if (pool < 0) std::free(block);
    else returnBlock(&allocator->pools[pool], block);
}

}  // namespace

void* Qz_PoolLuaAlloc(void* ud, void* block, size_t oldSize, size_t newSize) {
    auto* allocator = static_cast<QzPoolAllocator*>(ud);
    // The interpreter passes the size of the block being freed or resized, and 0 with a
    // null block for a new allocation; a null block always means "no old block".
    if (!block) oldSize = 0;
    const int sizedPool = QzPoolIndexForSize(oldSize);
    const int oldPool = block ? sourcePool(allocator, block, sizedPool) : sizedPool;

    if (newSize == 0) {
        if (block) release(allocator, block, oldPool);
        return nullptr;
    }

    const int newPool = QzPoolIndexForSize(newSize);
    if (!block) return newPool < 0 ? std::malloc(newSize) : takeBlock(&allocator->pools[newPool]);

    if (oldPool < 0 && newPool < 0) {
        // A failed shrink keeps the old block, which still holds the smaller size.
        void* resized = std::realloc(block, newSize);
        return resized == nullptr && newSize <= oldSize ? block : resized;
    }
    if (oldPool == newPool) return block;

    void* moved = newPool < 0 ? std::malloc(newSize) : takeBlock(&allocator->pools[newPool]);
    if (!moved) {
        // A request the old block still holds must succeed (a shrink always does): the block
        // stays, a stranger to the pool its new size selects.
        const size_t capacity = oldPool < 0 ? oldSize : allocator->pools[oldPool].blockSize;
        if (newSize <= capacity) {
            ++allocator->pools[newPool].strangerCount;
            return block;
        }
        if (sizedPool != oldPool) ++allocator->pools[sizedPool].strangerCount;  // still one
        return nullptr;  // the interpreter keeps the old block and raises its memory error
    }
    std::memcpy(moved, block, oldSize < newSize ? oldSize : newSize);
    release(allocator, block, oldPool);
    return moved;
}

void QzPoolAllocatorGetSize(const QzPoolAllocator* allocator, uint64_t* bytesInUse,
                            uint64_t* bytesHeld, uint64_t* bytesCapacity) {
    uint64_t inUse = 0, held = 0, capacity = 0;
    for (const QzMemoryPool& pool : allocator->pools) {
        const uint64_t blocks = pool.blocksPerChunk * pool.chunkCount;
        inUse += (blocks - pool.freeCount) * pool.blockSize;
        held += blocks * pool.blockSize;
        capacity += pool.blocksPerChunk * pool.blockSize * QzPoolMaxChunks;
    }
    if (bytesInUse) *bytesInUse = inUse;
    if (bytesHeld) *bytesHeld = held;
    if (bytesCapacity) *bytesCapacity = capacity;
}

void QzPoolAllocatorPrintDescription(const QzPoolAllocator* allocator) {
    for (const QzMemoryPool& pool : allocator->pools) {
        std::printf("\nBlock Size %lu:\n", static_cast<unsigned long>(pool.blockSize));
        std::printf("\tFree Blocks: %lu\n", static_cast<unsigned long>(pool.freeCount));
        std::printf("\tChunks allocated: %lu\n", static_cast<unsigned long>(pool.chunkCount));
    }
}
