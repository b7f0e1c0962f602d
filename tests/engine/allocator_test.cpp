// Tests of the pool allocator: size classes, resizing between pools, growth and exhaustion.
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include <gtest/gtest.h>
#include <lauxlib.h>
#include <lualib.h>

#include "QzAllocator.h"

namespace {

class PoolAllocatorTest : public ::testing::Test {
protected:
    void SetUp() override { allocator = QzPoolAllocatorNew(); }
    void TearDown() override { QzPoolAllocatorDestroy(allocator); }

    void* allocate(size_t size) { return Qz_PoolLuaAlloc(allocator, nullptr, 0, size); }
    void release(void* block, size_t size) { Qz_PoolLuaAlloc(allocator, block, size, 0); }
    const QzMemoryPool& pool(int index) const { return allocator->pools[index]; }

    // True when the block lies inside one of the pool's chunks.
    bool ownedByPool(int index, const void* block) const {
        const QzMemoryPool& p = pool(index);
        for (uint64_t i = 0; i < p.chunkCount; ++i) {
            const char* chunk = static_cast<const char*>(p.chunks[i]);
            if (block >= chunk && block < chunk + p.blockSize * p.blocksPerChunk) return true;
        }
        return false;
    }

    QzPoolAllocator* allocator = nullptr;
};

TEST_F(PoolAllocatorTest, RequestsLandInTheSmallestPoolThatHoldsThem) {
    const struct { size_t size; int pool; } cases[] = {{1, 0}, {8, 0}, {9, 1}, {16, 1}, {17, 2}, {20, 2},
                                                     {21, 3}, {320, 9}, {321, 10}, {640, 10}};
    for (const auto& c : cases) {
        EXPECT_EQ(QzPoolIndexForSize(c.size), c.pool) << c.size << " bytes";
        void* block = allocate(c.size);
        EXPECT_TRUE(ownedByPool(c.pool, block)) << c.size << " bytes";
        release(block, c.size);
    }
    EXPECT_EQ(QzPoolIndexForSize(641), -1);
    void* large = allocate(641);
    for (int i = 0; i < QzPoolCount; ++i) EXPECT_FALSE(ownedByPool(i, large));
    release(large, 641);
}

TEST_F(PoolAllocatorTest, NewAllocatorHoldsOneChunkOfEverySize) {
    uint64_t inUse = 1, held = 0, capacity = 0;
    QzPoolAllocatorGetSize(allocator, &inUse, &held, &capacity);
    EXPECT_EQ(inUse, 0u);
    EXPECT_EQ(held, 3708000u);
    EXPECT_EQ(capacity, 3708000u * 128);
    void* block = allocate(30);
    QzPoolAllocatorGetSize(allocator, &inUse, nullptr, nullptr);
    EXPECT_EQ(inUse, 32u);
    release(block, 30);
}

TEST_F(PoolAllocatorTest, ResizeWithinAPoolKeepsTheBlock) {
    void* block = allocate(10);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, block, 10, 16), block);
    release(block, 16);
}

TEST_F(PoolAllocatorTest, ResizeToAnotherPoolCopiesAndFreesTheOldBlock) {
    auto* block = static_cast<char*>(allocate(10));
    std::memcpy(block, "0123456789", 10);
    auto* moved = static_cast<char*>(Qz_PoolLuaAlloc(allocator, block, 10, 17));
    ASSERT_NE(moved, block);
    EXPECT_TRUE(ownedByPool(2, moved));
    EXPECT_EQ(std::memcmp(moved, "0123456789", 10), 0);
    EXPECT_EQ(allocate(12), block) << "the old block is the next one pool 1 hands out";
    release(block, 12);
    release(moved, 17);
}

TEST_F(PoolAllocatorTest, ResizeAcrossTheLargestPoolMovesBetweenHeapAndPool) {
    auto* heapBlock = static_cast<char*>(allocate(700));
    std::memset(heapBlock, 7, 700);
    auto* pooled = static_cast<char*>(Qz_PoolLuaAlloc(allocator, heapBlock, 700, 600));
    EXPECT_TRUE(ownedByPool(10, pooled));
    EXPECT_EQ(pooled[599], 7);

    auto* backOnHeap = static_cast<char*>(Qz_PoolLuaAlloc(allocator, pooled, 600, 700));
    EXPECT_FALSE(ownedByPool(10, backOnHeap));
    EXPECT_EQ(backOnHeap[599], 7);
    EXPECT_EQ(allocate(600), pooled) << "the pooled block went back on pool 10's free stack";
    release(pooled, 600);
    release(backOnHeap, 700);
}

TEST_F(PoolAllocatorTest, FreeingNullChangesNothing) {
    const uint64_t before = pool(0).freeCount;
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, nullptr, 8, 0), nullptr);
    EXPECT_EQ(pool(0).freeCount, before);
}

TEST_F(PoolAllocatorTest, AnEmptyPoolGrowsByOneChunkHandingOutItsHighestBlockFirst) {
    std::vector<void*> blocks;
    for (int i = 0; i < 2500; ++i) blocks.push_back(allocate(8));
    EXPECT_EQ(pool(0).chunkCount, 1u);
    void* first = allocate(8);
    EXPECT_EQ(pool(0).chunkCount, 2u);
    EXPECT_EQ(first, static_cast<char*>(pool(0).chunks[1]) + 8 * 2499);

    testing::internal::CaptureStdout();
    QzPoolAllocatorPrintDescription(allocator);
    const std::string description = testing::internal::GetCapturedStdout();
    EXPECT_NE(description.find("\nBlock Size 8:\n\tFree Blocks: 2499\n\tChunks allocated: 2\n"), std::string::npos);
    for (void* block : blocks) release(block, 8);
    release(first, 8);
}

TEST_F(PoolAllocatorTest, AFullPoolFailsTheRequestAndTakesNothingItDidNotHandOut) {
    std::vector<void*> blocks;
    const size_t total = 2500 * 128;
    for (size_t i = 0; i < total; ++i) blocks.push_back(allocate(8));
    ASSERT_EQ(pool(0).chunkCount, 128u);
    ASSERT_EQ(pool(0).freeCount, 0u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(allocate(8), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ran out of chunks of size 8\n");

    // A resize into the full pool fails too and leaves the old block where it was.
    testing::internal::CaptureStdout();
    void* larger = allocate(100);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, larger, 100, 4), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ownedByPool(7, larger));
    release(larger, 100);

    release(blocks.back(), 8);
    blocks.pop_back();
    EXPECT_NE(allocate(8), nullptr) << "a returned block serves the next request";
    for (void* block : blocks) release(block, 8);
}

// The interpreter on a pool allocator works, and the state's memory figures agree.
TEST(PoolAllocatorInterpreter, RunsScriptsOnThePools) {
    QzPoolAllocator* allocator = QzPoolAllocatorNew();
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, "local t = {} for i = 1, 20000 do t[i] = {i, tostring(i)} end "
                               "local s = table.concat({'a', 'b', 'c'}) assert(s == 'abc') t = nil "
                               "collectgarbage()"), 0)
        << lua_tostring(L, -1);
    uint64_t inUse = 0;
    QzPoolAllocatorGetSize(allocator, &inUse, nullptr, nullptr);
    EXPECT_GT(inUse, 0u);
    lua_close(L);
    QzPoolAllocatorGetSize(allocator, &inUse, nullptr, nullptr);
    EXPECT_EQ(inUse, 0u) << "closing the interpreter returns every pooled block";
    QzPoolAllocatorDestroy(allocator);
}

}  // namespace

namespace {

// When the pool that serves the interpreter's tables is exhausted, creating a table raises
// the interpreter's out-of-memory error instead of crashing, and the state recovers once
// blocks come back.
TEST(PoolAllocatorInterpreter, AnExhaustedPoolBecomesAnOutOfMemoryError) {
    QzPoolAllocator* allocator = QzPoolAllocatorNew();
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_loadstring(L, "local t = {} return t"), 0);

    const int tablePool = QzPoolIndexForSize(56);  // a table header on 64-bit Lua 5.1
    std::vector<void*> taken;
    testing::internal::CaptureStdout();
    for (;;) {
        void* block = Qz_PoolLuaAlloc(allocator, nullptr, 0, 56);
        if (!block) break;
        taken.push_back(block);
    }
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Ran out of chunks of size 64"), std::string::npos);

    lua_pushvalue(L, -1);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), LUA_ERRMEM);
    EXPECT_STREQ(lua_tostring(L, -1), "not enough memory");
    lua_pop(L, 1);

    for (void* block : taken) Qz_PoolLuaAlloc(allocator, block, 56, 0);
    EXPECT_EQ(allocator->pools[tablePool].chunkCount, 128u);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_TRUE(lua_istable(L, -1));
    lua_close(L);
    QzPoolAllocatorDestroy(allocator);
}

}  // namespace

namespace {

// Sits between the interpreter and the pool allocator and checks every call against its
// own account of the live blocks: a pooled block lies on a block boundary of a chunk of the
// pool its size selects, live blocks never overlap, a resize within a size class keeps the
// block, and each pool's count of handed-out blocks matches the blocks alive in it.
struct CheckedPools {
    QzPoolAllocator* pools = QzPoolAllocatorNew();
    std::map<const char*, size_t> live;  // block -> size the interpreter asked for
    uint64_t liveInPool[QzPoolCount] = {};
    size_t calls = 0, resizes = 0, faults = 0;

    ~CheckedPools() { QzPoolAllocatorDestroy(pools); }

    void fault(const char* what) {
        if (faults++ < 5) ADD_FAILURE() << what << " (call " << calls << ")";
    }

    bool onBlockBoundary(int index, const char* block) const {
        const QzMemoryPool& pool = pools->pools[index];
        for (uint64_t i = 0; i < pool.chunkCount; ++i) {
            const char* chunk = static_cast<const char*>(pool.chunks[i]);
            if (block >= chunk && block < chunk + pool.blockSize * pool.blocksPerChunk)
                return static_cast<uint64_t>(block - chunk) % pool.blockSize == 0;
        }
        return false;
    }

    void forget(const char* block, size_t size) {
        const auto found = live.find(block);
        if (found == live.end() || found->second != size) return fault("freed a block that is not live");
        live.erase(found);
        if (const int index = QzPoolIndexForSize(size); index >= 0) --liveInPool[index];
    }

    void remember(const char* block, size_t size) {
        const int index = QzPoolIndexForSize(size);
        if (index >= 0 && !onBlockBoundary(index, block)) fault("a pooled block outside its pool's chunks");
        const auto next = live.lower_bound(block);
        if (next != live.end() && next->first < block + size) fault("overlaps the next live block");
        if (next != live.begin()) {
            const auto previous = std::prev(next);
            if (previous->first + previous->second > block) fault("overlaps the previous live block");
        }
        live.emplace(block, size);
        if (index >= 0) ++liveInPool[index];
    }

    void checkCounts() {
        for (int i = 0; i < QzPoolCount; ++i) {
            const QzMemoryPool& pool = pools->pools[i];
            const uint64_t blocks = pool.blocksPerChunk * pool.chunkCount;
            if (pool.freeCount > blocks) fault("more free blocks than the chunks hold");
            if (blocks - pool.freeCount != liveInPool[i]) fault("handed-out count differs from live blocks");
        }
    }

    static void* allocate(void* ud, void* block, size_t oldSize, size_t newSize) {
        auto* self = static_cast<CheckedPools*>(ud);
        ++self->calls;
        void* result = Qz_PoolLuaAlloc(self->pools, block, oldSize, newSize);
        if (block && newSize > 0) {
            ++self->resizes;
            const int oldPool = QzPoolIndexForSize(oldSize);
            if (oldPool >= 0 && oldPool == QzPoolIndexForSize(newSize) && result != block)
                self->fault("a resize within one size class moved the block");
        }
        if (block && (newSize == 0 || result)) self->forget(static_cast<char*>(block), oldSize);
        if (result) self->remember(static_cast<char*>(result), newSize);
        self->checkCounts();
        return result;
    }
};

// A long, seeded mix of tables that grow and shrink, strings of every length up to a few
// kilobytes, closures, coroutines and collections, on the pools.
constexpr const char* kChurn = R"(
math.randomseed(7)
local keep = {}
for step = 1, 30000 do
  local slot = math.random(1, 400)
  local kind = math.random(1, 6)
  if kind == 1 then
    local t = {}
    for i = 1, math.random(0, 40) do t[i] = i end
    for i = 1, math.random(0, 12) do t["k" .. i] = i end
    keep[slot] = t
  elseif kind == 2 then
    keep[slot] = string.rep("x", math.random(1, 3000))
  elseif kind == 3 then
    local n = math.random(1, 50)
    keep[slot] = function() return n, slot end
  elseif kind == 4 then
    local t = keep[slot]
    if type(t) == "table" then
      for i = #t, 1, -1 do t[i] = nil end
      for i = 1, math.random(0, 200) do t[i] = {i} end
    end
  elseif kind == 5 then
    local co = coroutine.create(function(a) local b = coroutine.yield(a .. "!") return b end)
    coroutine.resume(co, tostring(step))
    keep[slot] = co
  else
    keep[slot] = nil
  end
  if step % 5000 == 0 then collectgarbage() end
end
return #keep
)";

TEST(PoolAllocatorInterpreter, ALongRandomWorkloadKeepsEveryPoolInvariant) {
    CheckedPools checked;
    lua_State* L = lua_newstate(CheckedPools::allocate, &checked);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, kChurn), 0) << lua_tostring(L, -1);
    EXPECT_GT(checked.calls, 100000u);
    EXPECT_GT(checked.resizes, 1000u);
    lua_close(L);
    EXPECT_EQ(checked.faults, 0u);
    EXPECT_TRUE(checked.live.empty()) << checked.live.size() << " blocks never freed";
    uint64_t inUse = 1;
    QzPoolAllocatorGetSize(checked.pools, &inUse, nullptr, nullptr);
    EXPECT_EQ(inUse, 0u);
}

}  // namespace
