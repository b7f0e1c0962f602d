// Benchmark: 500 falling boxes driven from Lua through the binding against plain C++ Box2D.
#include <time.h>

#include <cstdio>

#include <benchmark/benchmark.h>
#include <box2d/box2d.h>
#include <lauxlib.h>
#include <lualib.h>

#include "QzContactFilter.h"
#include "QzContactListener.h"
#include "QzPhysics.h"
#include "QzPhysicsRecords.h"

// The scene: 500 boxes falling onto a floor for 600 steps, once built and stepped from Lua
// through the physics binding with collision callbacks that count contacts, once in plain C++
// Box2D with the same contact filter and listener but no script calls.
namespace {

constexpr int kColumns = 25;
constexpr int kRows = 20;
constexpr int kSteps = 600;
constexpr float kHalfBox = 10.0f;     // screen units
constexpr float kSpacing = 25.0f;     // screen units between box centres
constexpr float kFloorY = 800.0f;     // screen units
constexpr float kFloorHalfWidth = 1000.0f;
constexpr float kFloorHalfHeight = 20.0f;
constexpr float kToMetres = 0.02f;

// The scene in Lua: every body in category 1, every fixture ID 2 masking category 1, so that
// every touching pair passes the filter and is reported.
const char* kLuaScene = R"lua(
local columns, rows, steps, halfBox, spacing, floorY, floorHalfWidth, floorHalfHeight = ...
local contacts = 0
fixtureCollisionBegan = function(a, b) contacts = contacts + 1 end
fixtureCollisionEnded = function(a, b) end

local function add(world, bodyType, x, y, halfWidth, halfHeight)
  local def = physics.BodyDefinition.new()
  def:setType(bodyType)
  def:setPosition(x, y)
  def:addCollisionCategory(1)
  local body = world:createBody(def)
  local shape = physics.PolygonShape.new()
  shape:setAsBox(halfWidth, halfHeight)
  local fixtureDef = physics.FixtureDefinition.new()
  fixtureDef:setShape(shape)
  fixtureDef:setDensity(1)
  fixtureDef:setFixtureID(2)
  fixtureDef:addCollisionMaskCategory(1)
  body:createFixture(fixtureDef)
end

local world = physics.World.new(0, 500, true)
add(world, 0, 0, floorY, floorHalfWidth, floorHalfHeight)
for row = 0, rows - 1 do
  for column = 0, columns - 1 do
    add(world, 2, (column - columns / 2) * spacing, floorY - 200 - row * spacing, halfBox, halfBox)
  end
end
for _ = 1, steps do world:step(1 / 60, 8, 3) end
return contacts
)lua";

// Counts the pairs the listener starts reporting, which is what the script counts.
class CountingListener : public qzContactListener {
public:
    CountingListener() : qzContactListener(nullptr) {}
    void BeginContact(b2Contact* contact) override {
        const size_t before = contactCounts().size();
        qzContactListener::BeginContact(contact);
        if (contactCounts().size() > before) ++began;
    }
    long began = 0;
};

void addBody(b2World& world, b2BodyType type, float x, float y, float halfWidth, float halfHeight) {
    auto* actor = new qzActorUserData();
    actor->addCollisionCategory(1);
    b2BodyDef bodyDef;
    bodyDef.type = type;
    bodyDef.position.Set(x * kToMetres, y * kToMetres);
    bodyDef.userData.pointer = reinterpret_cast<uintptr_t>(actor);
    b2Body* body = world.CreateBody(&bodyDef);
    actor->attachTo(body);

    b2PolygonShape shape;
    shape.SetAsBox(halfWidth * kToMetres, halfHeight * kToMetres);
    auto* record = new qzFixtureUserData();
    record->fixtureID = 2;
    record->addCollisionMaskCategory(1);
    b2FixtureDef fixtureDef;
    fixtureDef.shape = &shape;
    fixtureDef.density = 1.0f;
    fixtureDef.userData.pointer = reinterpret_cast<uintptr_t>(record);
    record->attachTo(body->CreateFixture(&fixtureDef));
}

long runPlainScene() {
    CountingListener listener;
    qzContactFilter filter;
    b2World world(b2Vec2(0.0f, 500.0f * kToMetres));
    world.SetAllowSleeping(true);
    world.SetContactListener(&listener);
    world.SetContactFilter(&filter);
    addBody(world, b2_staticBody, 0.0f, kFloorY, kFloorHalfWidth, kFloorHalfHeight);
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            addBody(world, b2_dynamicBody, (column - kColumns / 2.0f) * kSpacing, kFloorY - 200.0f - row * kSpacing,
                    kHalfBox, kHalfBox);
        }
    }
    for (int step = 0; step < kSteps; ++step) world.Step(1.0f / 60.0f, 8, 3);
    QzFreeWorldRecords(&world);
    return listener.began;
}

long runLuaScene() {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaopen_physics(L);
    lua_settop(L, 0);
    long contacts = -1;
    if (luaL_loadstring(L, kLuaScene) == 0) {
        for (float value : {float(kColumns), float(kRows), float(kSteps), kHalfBox, kSpacing, kFloorY,
                            kFloorHalfWidth, kFloorHalfHeight}) {
            lua_pushnumber(L, value);
        }
        if (lua_pcall(L, 8, 1, 0) == 0) contacts = static_cast<long>(lua_tonumber(L, -1));
    }
    if (contacts < 0) std::fprintf(stderr, "Lua scene failed: %s\n", lua_tostring(L, -1));
    lua_close(L);
    return contacts;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Each iteration runs the plain scene and then the Lua-driven one, so that the load of a
// shared machine weighs on both alike; the counters give each one's CPU time per scene and
// the ratio of the totals.
void BM_LuaAgainstPlain(benchmark::State& state) {
    double plainSeconds = 0.0;
    double luaSeconds = 0.0;
    long plainContacts = 0;
    long luaContacts = 0;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        plainContacts = runPlainScene();
        const double middle = threadCpuSeconds();
        luaContacts = runLuaScene();
        plainSeconds += middle - start;
        luaSeconds += threadCpuSeconds() - middle;
    }
    const double scenes = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plainSeconds * 1000.0 / scenes;
    state.counters["lua_ms"] = luaSeconds * 1000.0 / scenes;
    state.counters["ratio"] = plainSeconds > 0.0 ? luaSeconds / plainSeconds : 0.0;
    state.counters["plain_contacts"] = static_cast<double>(plainContacts);
    state.counters["lua_contacts"] = static_cast<double>(luaContacts);
}

BENCHMARK(BM_LuaAgainstPlain)->Unit(benchmark::kMillisecond)->Iterations(6)->Repetitions(2);

}  // namespace

BENCHMARK_MAIN();
