// Tests of the pool allocator: size classes, resizing between pools, growth, exhaustion, and
// the interpreter running on the pools.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lauxlib.h>
#include <lualib.h>

#include "QzAllocator.h"

namespace {

bool poolOwns(const QzMemoryPool& pool, const void* block) {
    for (uint64_t i = 0; i < pool.chunkCount; ++i) {
        const char* chunk = static_cast<const char*>(pool.chunks[i]);
        if (block >= chunk && block < chunk + pool.blockSize * pool.blocksPerChunk)
            return (static_cast<const char*>(block) - chunk) % pool.blockSize == 0;
    }
    return false;
}

// Every free block lies on a block boundary of its own pool and is free only once.
void expectConsistentPools(const QzPoolAllocator* allocator) {
    for (const QzMemoryPool& pool : allocator->pools) {
        ASSERT_LE(pool.freeCount, pool.blocksPerChunk * pool.chunkCount) << "pool " << pool.blockSize;
        std::set<void*> seen;
        for (uint64_t i = 0; i < pool.freeCount; ++i) {
            ASSERT_TRUE(poolOwns(pool, pool.freeStack[i])) << "a stranger on pool " << pool.blockSize;
            ASSERT_TRUE(seen.insert(pool.freeStack[i]).second) << "freed twice into pool " << pool.blockSize;
        }
    }
}

uint64_t bytesInUse(const QzPoolAllocator* allocator) {
    uint64_t inUse = 1;
    QzPoolAllocatorGetSize(allocator, &inUse, nullptr, nullptr);
    return inUse;
}

class PoolAllocatorTest : public ::testing::Test {
protected:
    void TearDown() override { QzPoolAllocatorDestroy(allocator); }

    void* allocate(size_t size) { return Qz_PoolLuaAlloc(allocator, nullptr, 0, size); }
    void release(void* block, size_t size) { Qz_PoolLuaAlloc(allocator, block, size, 0); }
    // Takes every free block of the pool serving `size` and the 127 chunks it may still add.
    std::vector<void*> exhaust(size_t size) {
        std::vector<void*> taken;
        testing::internal::CaptureStdout();
        while (void* block = allocate(size)) taken.push_back(block);
        exhaustMessage = testing::internal::GetCapturedStdout();
        return taken;
    }
    void releaseAll(const std::vector<void*>& blocks, size_t size) {
        for (void* block : blocks) release(block, size);
    }

    QzPoolAllocator* allocator = QzPoolAllocatorNew();
    std::string exhaustMessage;
};

TEST_F(PoolAllocatorTest, RequestsLandInTheSmallestPoolThatHoldsThem) {
    const struct { size_t size; int pool; } cases[] = {{1, 0},  {8, 0},   {9, 1},   {16, 1},  {17, 2}, {20, 2},
                                                     {21, 3}, {320, 9}, {321, 10}, {640, 10}, {641, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(QzPoolIndexForSize(c.size), c.pool) << c.size << " bytes";
        void* block = allocate(c.size);
        for (int i = 0; i < QzPoolCount; ++i)
            EXPECT_EQ(poolOwns(allocator->pools[i], block), i == c.pool) << c.size << " bytes, pool " << i;
        release(block, c.size);
    }
    uint64_t held = 0, capacity = 0;
    QzPoolAllocatorGetSize(allocator, nullptr, &held, &capacity);
    EXPECT_EQ(held, 3708000u) << "one chunk of every size";
    EXPECT_EQ(capacity, 3708000u * 128);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, nullptr, 8, 0), nullptr);
    EXPECT_EQ(bytesInUse(allocator), 0u) << "freeing null changes no count";
}

// A resize within a size class keeps the block; any other copies the contents and frees the
// old block, which is the next one its pool (or the heap) hands out.
TEST_F(PoolAllocatorTest, ResizesKeepOrMoveTheBlock) {
    const struct { size_t from, to; int newPool; } cases[] = {
        {10, 16, 1}, {10, 17, 2}, {17, 10, 1}, {700, 600, 10}, {600, 700, -1}, {700, 800, -1}};
    for (const auto& c : cases) {
        auto* block = static_cast<char*>(allocate(c.from));
        std::memset(block, 7, c.from);
        auto* resized = static_cast<char*>(Qz_PoolLuaAlloc(allocator, block, c.from, c.to));
        const int oldPool = QzPoolIndexForSize(c.from);
        EXPECT_EQ(resized[std::min(c.from, c.to) - 1], 7) << c.from << " to " << c.to;
        if (c.newPool >= 0) {
            EXPECT_TRUE(poolOwns(allocator->pools[c.newPool], resized)) << c.from << " to " << c.to;
        }
        if (oldPool >= 0 && oldPool == c.newPool) {
            EXPECT_EQ(resized, block) << c.from << " to " << c.to;
        } else if (oldPool >= 0) {
            EXPECT_EQ(allocate(c.from), block) << c.from << " to " << c.to;
            release(block, c.from);
        }
        release(resized, c.to);
    }
    EXPECT_EQ(bytesInUse(allocator), 0u);
}

TEST_F(PoolAllocatorTest, AnEmptyPoolGrowsByOneChunkHandingOutItsHighestBlockFirst) {
    std::vector<void*> blocks;
    for (int i = 0; i < 2500; ++i) blocks.push_back(allocate(8));
    EXPECT_EQ(allocator->pools[0].chunkCount, 1u);
    blocks.push_back(allocate(8));
    EXPECT_EQ(allocator->pools[0].chunkCount, 2u);
    EXPECT_EQ(blocks.back(), static_cast<char*>(allocator->pools[0].chunks[1]) + 8 * 2499);

    testing::internal::CaptureStdout();
    QzPoolAllocatorPrintDescription(allocator);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\nBlock Size 8:\n\tFree Blocks: 2499\n\tChunks allocated: 2\n"),
              std::string::npos);
    releaseAll(blocks, 8);
}

// A full pool fails a new block and a growth into it, with a message; a shrink into it keeps
// the old block, which later goes back to the pool it came from.
TEST_F(PoolAllocatorTest, AFullPoolFailsGrowthButNeverAShrink) {
    std::vector<void*> blocks = exhaust(8);
    EXPECT_EQ(allocator->pools[0].chunkCount, 128u);
    EXPECT_EQ(exhaustMessage, "Ran out of chunks of size 8\n");

    testing::internal::CaptureStdout();
    void* small = allocate(4);
    void* larger = allocate(100);
    void* large = allocate(1000);
    EXPECT_EQ(small, nullptr);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, larger, 100, 4), larger);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, large, 1000, 8), large);
    EXPECT_EQ(Qz_PoolLuaAlloc(allocator, larger, 4, 6), larger) << "the kept block still holds 6 bytes";
    testing::internal::GetCapturedStdout();
    release(larger, 6);
    release(large, 8);
    expectConsistentPools(allocator);
    EXPECT_EQ(allocator->pools[0].freeCount, 0u);

    release(blocks.back(), 8);
    blocks.pop_back();
    EXPECT_NE(allocate(8), nullptr) << "a returned block serves the next request";
    releaseAll(blocks, 8);
}

// Runs a script on a fresh interpreter over the allocator; returns the error text or "".
std::string runOnPools(QzPoolAllocator* allocator, const char* script) {
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    const std::string error = luaL_dostring(L, script) != 0 ? lua_tostring(L, -1) : "";
    lua_close(L);
    return error;
}

// When the pool serving a table header is exhausted, creating a table raises the
// interpreter's out-of-memory error instead of crashing, and the state recovers once blocks
// come back.
TEST_F(PoolAllocatorTest, AnExhaustedPoolBecomesAnOutOfMemoryError) {
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_loadstring(L, "local t = {} return t"), 0);
    const std::vector<void*> taken = exhaust(56);  // a table header on 64-bit Lua 5.1
    EXPECT_NE(exhaustMessage.find("Ran out of chunks of size 64"), std::string::npos);
    lua_pushvalue(L, -1);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), LUA_ERRMEM);
    EXPECT_STREQ(lua_tostring(L, -1), "not enough memory");
    lua_pop(L, 1);
    releaseAll(taken, 56);
    EXPECT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_TRUE(lua_istable(L, -1));
    lua_close(L);
}

// A table whose array part shrinks from the heap into a full pool: the interpreter has
// already recorded the smaller size when it asks, so the request must not fail, and the
// block must go back where it came from when the table is freed.
TEST_F(PoolAllocatorTest, ATableShrinkingIntoAFullPoolKeepsItsBlock) {
    const char* script = "t = {} for i = 1, 64 do t[i] = i end "
                         "function shrink() for i = 9, 64 do t[i] = nil end t.x = 1 "
                         "  for i = 1, 8 do assert(t[i] == i) end end "
                         "function free() t = nil collectgarbage() end";
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, script), 0) << lua_tostring(L, -1);
    const std::vector<void*> taken = exhaust(128);  // eight array slots
    for (const char* call : {"shrink", "free"}) {
        lua_getglobal(L, call);
        EXPECT_EQ(lua_pcall(L, 0, 0, 0), 0) << call << ": " << lua_tostring(L, -1);
    }
    lua_close(L);
    releaseAll(taken, 128);
    expectConsistentPools(allocator);
    EXPECT_EQ(bytesInUse(allocator), 0u);
}

// A long, seeded mix of tables that grow and shrink, strings of every length up to a few
// kilobytes, closures, coroutines and collections: every pooled block comes back once.
TEST_F(PoolAllocatorTest, ALongRandomWorkloadReturnsEveryBlockOnce) {
    const char* churn = R"(
math.randomseed(7)
local keep = {}
for step = 1, 30000 do
  local slot, kind = math.random(1, 400), math.random(1, 6)
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
  elseif kind == 4 and type(keep[slot]) == "table" then
    local t = keep[slot]
    for i = #t, 1, -1 do t[i] = nil end
    for i = 1, math.random(0, 200) do t[i] = {i} end
  elseif kind == 5 then
    local co = coroutine.create(function(a) local b = coroutine.yield(a .. "!") return b end)
    coroutine.resume(co, tostring(step))
    keep[slot] = co
  else
    keep[slot] = nil
  end
  if step % 5000 == 0 then collectgarbage() end
end
)";
    EXPECT_EQ(runOnPools(allocator, churn), "");
    expectConsistentPools(allocator);
    EXPECT_EQ(bytesInUse(allocator), 0u) << "closing the interpreter returns every pooled block";
}

}  // namespace
