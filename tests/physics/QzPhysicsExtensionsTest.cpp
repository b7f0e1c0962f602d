// Native checks of records, contact filter and listener, assertion reports and the world lock.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <box2d/box2d.h>
#include <lauxlib.h>
#include <lualib.h>

#include "QzContactFilter.h"
#include "QzContactListener.h"
#include "QzPhysics.h"
#include "QzPhysicsBinding.h"
#include "QzPhysicsRecords.h"

namespace {

// A contact between two chosen fixtures in a chosen order, never evaluated.
class FakeContact : public b2Contact {
public:
    FakeContact(b2Fixture* a, b2Fixture* b) : b2Contact(a, 0, b, 0) {}
    void Evaluate(b2Manifold*, const b2Transform&, const b2Transform&) override {}
};

// A world whose bodies and fixtures carry records made here, freed with the fixture.
class RecordedWorld {
public:
    RecordedWorld() : world_(b2Vec2(0.0f, 0.0f)) {}
    ~RecordedWorld() { QzFreeWorldRecords(&world_); }

    b2Body* body(int32_t actorID, std::vector<int32_t> categories) {
        auto* record = new qzActorUserData();
        record->actorID = actorID;
        record->collisionCategories = std::move(categories);
        b2BodyDef def;
        def.type = b2_dynamicBody;
        def.userData.pointer = reinterpret_cast<uintptr_t>(record);
        b2Body* body = world_.CreateBody(&def);
        record->attachTo(body);
        return body;
    }

    b2Fixture* fixture(b2Body* body, int32_t fixtureID, std::vector<int32_t> masks) {
        auto* record = new qzFixtureUserData();
        record->fixtureID = fixtureID;
        record->collisionMaskCategories = std::move(masks);
        b2CircleShape circle;
        circle.m_radius = 1.0f;
        b2FixtureDef def;
        def.shape = &circle;
        def.userData.pointer = reinterpret_cast<uintptr_t>(record);
        b2Fixture* fixture = body->CreateFixture(&def);
        record->attachTo(fixture);
        return fixture;
    }

    b2World& world() { return world_; }

private:
    b2World world_;
};

// Freeing records and the sensor lookup are exercised by the listener and binding tests.
TEST(QzPhysicsRecords, RemovingDeletesTheFirstOccurrenceAndKeepsTheOrder) {
    qzActorUserData actor;
    for (int32_t category : {5, 7, 5}) actor.addCollisionCategory(category);
    actor.removeCollisionCategory(5);
    actor.removeCollisionCategory(9);
    EXPECT_EQ(actor.collisionCategories, (std::vector<int32_t>{7, 5}));
    qzFixtureUserData fixture;
    for (int32_t category : {3, 3}) fixture.addCollisionMaskCategory(category);
    fixture.removeCollisionMaskCategory(3);
    EXPECT_EQ(fixture.collisionMaskCategories, (std::vector<int32_t>{3}));
}

struct FilterCase {
    const char* name;
    int32_t idA, idB;
    std::vector<int32_t> masksA, categoriesA, masksB, categoriesB;
    bool collide;
};

TEST(QzContactFilter, FollowsTheRuleTableInBothOrders) {
    const std::vector<FilterCase> cases = {
        {"same IDs, A masks B's category", 1, 1, {3}, {}, {}, {3}, true},
        {"same IDs, B masks A's category", 1, 1, {}, {3}, {3}, {}, true},
        {"different IDs", 1, 2, {3}, {3}, {3}, {3}, false},
        {"no categories on either body", 1, 1, {3}, {}, {3}, {}, false},
        {"masks miss the categories", 1, 1, {4}, {3}, {6}, {5}, false},
        {"one of several masks matches", 7, 7, {8, 9}, {}, {}, {1, 9}, true},
    };
    for (const FilterCase& c : cases) {
        RecordedWorld scene;
        b2Fixture* a = scene.fixture(scene.body(1, c.categoriesA), c.idA, c.masksA);
        b2Fixture* b = scene.fixture(scene.body(2, c.categoriesB), c.idB, c.masksB);
        qzContactFilter filter;
        EXPECT_EQ(filter.ShouldCollide(a, b), c.collide) << c.name;
        EXPECT_EQ(filter.ShouldCollide(b, a), c.collide) << c.name << " (reversed)";
        QzFreeFixtureRecord(b);
        EXPECT_FALSE(filter.ShouldCollide(a, b) || filter.ShouldCollide(b, a)) << c.name << ": no record";
    }
}

// A Lua state with the physics library whose collision globals log "began a b" and
// "ended a b" with the two fixtures' body actor IDs, lines joined by ", ".
class QzContactListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        L = luaL_newstate();
        luaL_openlibs(L);
        luaopen_physics(L);
        lua_settop(L, 0);
        run("log = {}\n"
            "local function record(kind) return function(a, b)\n"
            "  log[#log + 1] = kind .. ' ' .. a:body():actorID() .. ' ' .. b:body():actorID()\n"
            "end end\n"
            "fixtureCollisionBegan = record('began')\n"
            "fixtureCollisionEnded = record('ended')\n");
    }
    void TearDown() override { lua_close(L); }

    void run(const char* code) { ASSERT_EQ(luaL_dostring(L, code), 0) << lua_tostring(L, -1); }

    std::string log() {
        run("joined = table.concat(log, ', ')");
        lua_getglobal(L, "joined");
        std::string text = lua_tostring(L, -1);
        lua_pop(L, 1);
        return text;
    }

    lua_State* L = nullptr;
    RecordedWorld scene;
    b2Body* bodyA = scene.body(1, {});
    b2Body* bodyB = scene.body(2, {});
};

TEST_F(QzContactListenerTest, BeginBeginEndEndMakesOneCallbackEachWayInTheStoredOrder) {
    b2Fixture* a = scene.fixture(bodyA, 2, {});
    b2Fixture* b = scene.fixture(bodyB, 2, {});
    FakeContact ab(a, b);
    FakeContact ba(b, a);
    qzContactListener listener(L);

    listener.BeginContact(&ab);
    listener.BeginContact(&ba);
    EXPECT_EQ(listener.contactCounts().at({a, b}), 2);
    listener.EndContact(&ba);
    EXPECT_EQ(log(), "began 1 2") << "no end while a begin is still open";
    listener.EndContact(&ab);
    listener.EndContact(&ab);  // no recorded pair: nothing
    EXPECT_EQ(log(), "began 1 2, ended 1 2");
    EXPECT_TRUE(listener.contactCounts().empty());
}

TEST_F(QzContactListenerTest, PairsWithoutASensorFixtureOnBothBodiesAreIgnored) {
    b2Fixture* a = scene.fixture(bodyA, 1, {});
    scene.fixture(bodyA, 2, {});
    b2Fixture* b = scene.fixture(bodyB, 1, {});
    FakeContact ab(a, b);
    qzContactListener listener(L);

    listener.BeginContact(&ab);
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(listener.contactCounts().empty());
    scene.fixture(bodyB, 2, {});
    listener.BeginContact(&ab);
    EXPECT_EQ(log(), "began 1 2") << "ID 1 fixtures of sensor bodies";
}

// Failing and missing callbacks, and no script state at all: the counting goes on alone.
TEST_F(QzContactListenerTest, FailingOrMissingCallbacksAreDiscardedAndCountingGoesOn) {
    b2Fixture* a = scene.fixture(bodyA, 2, {});
    b2Fixture* b = scene.fixture(bodyB, 2, {});
    FakeContact ab(a, b);
    run("fixtureCollisionBegan = function() error('boom') end; fixtureCollisionEnded = 42");
    const int top = lua_gettop(L);
    for (lua_State* state : {L, static_cast<lua_State*>(nullptr)}) {
        qzContactListener listener(state);
        listener.BeginContact(&ab);
        EXPECT_EQ(listener.contactCounts().at({a, b}), 1);
        listener.EndContact(&ab);
        EXPECT_TRUE(listener.contactCounts().empty());
    }
    EXPECT_EQ(lua_gettop(L), top) << "the error messages were popped";
}

// A listener that fails the way a Box2D assertion would, from inside the step.
class ThrowingListener : public qzContactListener {
public:
    ThrowingListener() : qzContactListener(nullptr) {}
    void BeginContact(b2Contact*) override { throw b2Exception("injected", "test.cpp", 1); }
};

// Two touching dynamic bodies (actor IDs 0 and 10) in the global world; a keeps fixture.
constexpr const char* kTouchingBodies =
    "world = physics.World.new(0, 0, false)\n"
    "local function body(x)\n"
    "  local def = physics.BodyDefinition.new(); def:setType(2); def:setPosition(x, 0)\n"
    "  def:setActorID(x); def:addCollisionCategory(1)\n"
    "  local b = world:createBody(def)\n"
    "  local fd = physics.FixtureDefinition.new(); fd:setShape(physics.CircleShape.new(20))\n"
    "  fd:setFixtureID(2); fd:addCollisionMaskCategory(1)\n"
    "  return b, b:createFixture(fd)\n"
    "end\n"
    "a, fixture = body(0); b = body(10)\n";

TEST_F(QzContactListenerTest, AStepLeftByAnAssertionIsReportedAndLeavesTheWorldUnlocked) {
    run(kTouchingBodies);
    lua_getglobal(L, "world");
    auto* object = static_cast<QzWorldObject*>(luaL_checkudata(L, -1, kQzWorldMT));
    lua_pop(L, 1);
    ThrowingListener throwing;
    object->world->SetContactListener(&throwing);

    testing::internal::CaptureStdout();
    run("world:step(1 / 60, 8, 3)");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "test.cpp:1 assertion failed injected\n");
    EXPECT_FALSE(object->world->IsLocked());

    object->world->SetContactListener(object->listener);
    run("world:step(1 / 60, 8, 3)\n"
        "assert(world:createBody(physics.BodyDefinition.new()), 'bodies can be created again')\n");
}

// Box2D must not run while its world is locked; the calls that would make it assert report
// the assertion and do nothing, so the callback goes on with the rest of its work.
TEST_F(QzContactListenerTest, LockedWorldCallsReportTheAssertionAndTheCallbackGoesOn) {
    run(kTouchingBodies);
    testing::internal::CaptureStdout();
    run("fixtureCollisionBegan = function()\n"
        "  fixtureCollisionBegan = nil\n"
        "  local fd = physics.FixtureDefinition.new(); fd:setShape(physics.CircleShape.new(5))\n"
        "  results = {select('#', world:createBody(physics.BodyDefinition.new())),\n"
        "             select('#', a:createFixture(fd)),\n"
        "             select('#', world:destroyBody(b)), select('#', a:destroyFixture(fixture)),\n"
        "             select('#', a:setPositionAndAngle(500, 500, 1)),\n"
        "             select('#', world:step(1 / 60, 8, 3)), select('#', getmetatable(world).__gc(world))}\n"
        "  finished = true\n"
        "end\n"
        "world:step(1 / 60, 8, 3)\n"
        "assert(finished, 'the callback ran to its end')\n"
        "for i = 1, 7 do assert(results[i] == 0, 'no value from call ' .. i) end\n"
        "assert(b:actorID() == 10 and fixture:fixtureID() == 2, 'nothing was destroyed')\n"
        "assert(a:position() < 100, 'the body was not moved')\n"
        "assert(world:createBody(physics.BodyDefinition.new()), 'unlocked again')\n");
    const std::string report = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(report, std::regex("([^\n]+:[0-9]+ assertion failed IsLocked\\(\\) == false\n){7}")))
        << report;
}

TEST_F(QzContactListenerTest, VerticesBeyondEightAreIgnoredWithOneReportLineNamingTheShape) {
    testing::internal::CaptureStdout();
    run("shape = physics.PolygonShape.new()\n"
        "for i = 1, 10 do shape:addVertex(i, 2 * i) end\n"
        "name = tostring(shape):match('0x%x+')\n");
    const std::string report = testing::internal::GetCapturedStdout();
    lua_getglobal(L, "name");
    const std::string name = lua_isstring(L, -1) ? lua_tostring(L, -1) : "(no address)";
    lua_pop(L, 1);
    EXPECT_EQ(report, "physics: PolygonShape " + name +
                          " holds 8 vertices already: vertex (9, 18) and any later ones are ignored\n");
}

}  // namespace
