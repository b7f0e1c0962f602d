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

// An empty pool grows by one chunk, handing out its highest block first, up to 128 chunks.
// Then it fails a new block and a growth into it, with a message; a shrink into it keeps the
// old block, which later goes back to the pool it came from.
TEST_F(PoolAllocatorTest, APoolGrowsTo128ChunksThenFailsGrowthButNeverAShrink) {
    std::vector<void*> blocks = exhaust(8);
    EXPECT_EQ(blocks[2500], static_cast<char*>(allocator->pools[0].chunks[1]) + 8 * 2499);
    EXPECT_EQ(exhaustMessage, "Ran out of chunks of size 8\n");
    testing::internal::CaptureStdout();
    QzPoolAllocatorPrintDescription(allocator);
    const std::string description = testing::internal::GetCapturedStdout();
    EXPECT_NE(description.find("\nBlock Size 8:\n\tFree Blocks: 0\n\tChunks allocated: 128\n"), std::string::npos);

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

// With the pool of eight array slots exhausted, a table whose array part shrinks from the
// heap into it keeps its block (the interpreter has already recorded the smaller size when it
// asks, so the request must not fail), and the block goes back where it came from when the
// table is freed. A new table needing that pool raises the interpreter's out-of-memory error
// instead, and the state recovers once blocks come back.
TEST_F(PoolAllocatorTest, AnInterpreterOnAFullPoolShrinksTablesAndFailsOnlyGrowth) {
    lua_State* L = lua_newstate(Qz_PoolLuaAlloc, allocator);
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, "t = {} for i = 1, 64 do t[i] = i end "
                               "function shrink() for i = 9, 64 do t[i] = nil end t.x = 1 "
                               "  for i = 1, 8 do assert(t[i] == i) end end "
                               "function grow() u = {1, 2, 3, 4, 5, 6, 7, 8} end"),
              0);
    lua_gc(L, LUA_GCCOLLECT, 0);
    lua_gc(L, LUA_GCSTOP, 0);  // no block of the full pool may come back before `grow`
    std::vector<void*> taken = exhaust(128);
    const auto call = [L](const char* name) {
        lua_getglobal(L, name);
        const int status = lua_pcall(L, 0, 0, 0);
        const std::string result = std::to_string(status) + (status ? lua_tostring(L, -1) : "");
        lua_settop(L, 0);
        return result;
    };
    EXPECT_EQ(call("shrink"), "0");
    EXPECT_EQ(call("grow"), std::to_string(LUA_ERRMEM) + "not enough memory");
    releaseAll(taken, 128);
    EXPECT_EQ(call("grow"), "0");
    lua_close(L);
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
  local slot, kind, n = math.random(1, 400), math.random(1, 5), math.random(0, 200)
  if kind == 1 then
    keep[slot] = {}
    for i = 1, n % 40 do keep[slot][i] = i end
    for i = 1, n % 12 do keep[slot]["k" .. i] = i end
  elseif kind == 2 then
    keep[slot] = string.rep("x", n * 15)
  elseif kind == 3 then
    keep[slot] = coroutine.create(function(a) return coroutine.yield(a .. "!") end)
    coroutine.resume(keep[slot], tostring(step))
  elseif kind == 4 and type(keep[slot]) == "table" then
    for i = #keep[slot], 1, -1 do keep[slot][i] = nil end
    for i = 1, n do keep[slot][i] = {i} end
  else
    keep[slot] = function() return n, slot end
  end
  if step % 5000 == 0 then collectgarbage() end
end
)";
    EXPECT_EQ(runOnPools(allocator, churn), "");
    expectConsistentPools(allocator);
    EXPECT_EQ(bytesInUse(allocator), 0u) << "closing the interpreter returns every pooled block";
}

}  // namespace
