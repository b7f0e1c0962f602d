// Tests of the pool allocator: size classes, resizing between pools, growth and exhaustion.
#include <cstring>
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
