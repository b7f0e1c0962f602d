// Bridge benchmarks: a host method called from a script through luaObjc against the same
// work in a plain lua_CFunction, and callFunction through LuaState against a bare lua_pcall.
#include <benchmark/benchmark.h>
#include <lauxlib.h>

#include "LuaState.h"
#include "QzClass.h"
#include "QzLog.h"

namespace {

class Adder final : public QzObject {
public:
    static QzClass* registeredClass() {
        static QzClass* cls = [] {
            QzClass* made = QzClass::registerClass("BenchAdder", QzClass::rootClass());
            made->addMethod<&Adder::add>("add:to:");
            made->addClassMethod<&Adder::make>("adder");
            return made;
        }();
        return cls;
    }
    QzClass* objectClass() const override { return registeredClass(); }
    static QzRef<Adder> make() { return QzMake<Adder>(); }
    int add(int a, int b) { return a + b; }
};

int plainAdd(lua_State* L) {
    lua_pushinteger(L, static_cast<lua_Integer>(lua_tointeger(L, 1) + lua_tointeger(L, 2)));
    return 1;
}

constexpr const char* kLoops = R"(
adder = luaObjc.class('BenchAdder'):adder()
function bridged() local s = 0 for i = 1, 100000 do s = adder:add_to_(i % 100, 1) end return s end
function plain() local s = 0 for i = 1, 100000 do s = add(i % 100, 1) end return s end
function empty() end
)";

QzRef<LuaState> makeState() {
    Adder::registeredClass();
    QzRef<LuaState> state = LuaState::withNewState();
    lua_register(state->state(), "add", plainAdd);
    state->doString(kLoops);
    return state;
}

void BM_BridgeCall100k(benchmark::State& run) {
    QzRef<LuaState> state = makeState();
    for (auto _ : run) benchmark::DoNotOptimize(state->callFunction("bridged"));
}
BENCHMARK(BM_BridgeCall100k)->Unit(benchmark::kMillisecond);

void BM_PlainCFunction100k(benchmark::State& run) {
    QzRef<LuaState> state = makeState();
    for (auto _ : run) benchmark::DoNotOptimize(state->callFunction("plain"));
}
BENCHMARK(BM_PlainCFunction100k)->Unit(benchmark::kMillisecond);

void BM_CallFunctionThroughLuaState(benchmark::State& run) {
    QzRef<LuaState> state = makeState();
    for (auto _ : run) benchmark::DoNotOptimize(state->callFunction("empty"));
}
BENCHMARK(BM_CallFunctionThroughLuaState);

void BM_BareLuaPcall(benchmark::State& run) {
    QzRef<LuaState> state = makeState();
    lua_State* L = state->state();
    for (auto _ : run) {
        lua_getglobal(L, "empty");
        benchmark::DoNotOptimize(lua_pcall(L, 0, 1, 0));
        lua_settop(L, 0);
    }
}
BENCHMARK(BM_BareLuaPcall);

}  // namespace

BENCHMARK_MAIN();
