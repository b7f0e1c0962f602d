// Benchmarks of the engine host: Lua workloads on the pool and default allocators, and the
// save store's throughput with a rollback and a write-ahead journal.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <lauxlib.h>
#include <unistd.h>

#include "QzDatabase.h"
#include "QzEngine.h"

namespace {

constexpr const char* kWorkloads = R"(
function initEngine() end

-- Many short-lived small tables, some kept for a while.
function tableChurn()
  local keep = {}
  for i = 1, 20000 do
    local t = {x = i, y = i * 2, i}
    if i % 8 == 0 then keep[#keep + 1] = t end
    if #keep > 500 then keep = {} end
  end
end

-- Strings built piece by piece, formatted and joined.
function stringBuilding()
  local parts = {}
  for i = 1, 3000 do
    local s = "item" .. i
    s = s .. ":" .. string.format("%d/%g", i, i / 3)
    parts[#parts + 1] = s:upper()
  end
  return #table.concat(parts, ",")
end

-- Closures over upvalues and small objects with a shared metatable.
local Point = {}
Point.__index = Point
function Point.new(x, y) return setmetatable({x = x, y = y}, Point) end
function Point:add(o) return Point.new(self.x + o.x, self.y + o.y) end
function closuresAndObjects()
  local sum = Point.new(0, 0)
  for i = 1, 10000 do
    local step = function(k) return Point.new(i, k) end
    sum = sum:add(step(1))
  end
  return sum.x
end
)";

// Resets the process's peak resident size so the next reading covers one benchmark only.
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void runWorkload(benchmark::State& benchState, const char* function, int allocatorChoice) {
    resetPeakResident();
    QzState* state = Qz_NewState(allocatorChoice);
    if (Qz_InitFromBuffer(state, kWorkloads, std::strlen(kWorkloads), nullptr) != 0) {
        benchState.SkipWithError("the workload script failed to start");
        Qz_DestroyState(state);
        return;
    }
    for (auto _ : benchState) {
        lua_getglobal(state->L, function);
        if (lua_pcall(state->L, 0, 0, 0) != 0) {
            benchState.SkipWithError(lua_tostring(state->L, -1));
            break;
        }
    }
    benchState.counters["peak_MB"] = peakResidentMegabytes();
    Qz_DestroyState(state);
}

void BM_TableChurn_Default(benchmark::State& s) { runWorkload(s, "tableChurn", 0); }
void BM_TableChurn_Pool(benchmark::State& s) { runWorkload(s, "tableChurn", 1); }
void BM_StringBuilding_Default(benchmark::State& s) { runWorkload(s, "stringBuilding", 0); }
void BM_StringBuilding_Pool(benchmark::State& s) { runWorkload(s, "stringBuilding", 1); }
void BM_ClosuresAndObjects_Default(benchmark::State& s) { runWorkload(s, "closuresAndObjects", 0); }
void BM_ClosuresAndObjects_Pool(benchmark::State& s) { runWorkload(s, "closuresAndObjects", 1); }

BENCHMARK(BM_TableChurn_Default)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableChurn_Pool)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringBuilding_Default)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringBuilding_Pool)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosuresAndObjects_Default)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosuresAndObjects_Pool)->Unit(benchmark::kMillisecond);

// One store per iteration, each its own statement, alternating between 100 keys so that
// both inserts and updates happen.
void runStores(benchmark::State& benchState, QzDatabase* (*open)(const char*)) {
    const std::string folder = std::filesystem::temp_directory_path() / ("qz-store-bench-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    QzDatabase* store = open((folder + "/persistent.save").c_str());
    long i = 0;
    for (auto _ : benchState) {
        const std::string value = "value-" + std::to_string(i);
        if (!QzDatabaseStoreValue(store, "key-" + std::to_string(i % 100), &value)) {
            benchState.SkipWithError("store failed");
            break;
        }
        ++i;
    }
    benchState.counters["stores_per_s"] = benchmark::Counter(static_cast<double>(i), benchmark::Counter::kIsRate);
    QzDatabaseClose(store);
    std::filesystem::remove_all(folder);
}

void BM_Store_RollbackJournal(benchmark::State& s) { runStores(s, QzDatabaseOpenWithRollbackJournal); }
void BM_Store_WriteAheadJournal(benchmark::State& s) { runStores(s, QzDatabaseOpen); }

BENCHMARK(BM_Store_RollbackJournal)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Store_WriteAheadJournal)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
