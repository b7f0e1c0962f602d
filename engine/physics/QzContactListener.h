// The contact listener that counts touching fixture pairs and tells the script when pairs begin and end.
#ifndef QZ_CONTACT_LISTENER_H
#define QZ_CONTACT_LISTENER_H

#include <cstdint>
#include <map>
#include <utility>

#include <box2d/b2_world_callbacks.h>

struct lua_State;

// Reports a pair of fixtures once when it starts touching ("fixtureCollisionBegan") and once
// when it stops ("fixtureCollisionEnded"), counting repeated begins of the same pair in either
// order. Only pairs whose two bodies each have a collision sensor (a fixture with ID 2) are
// reported. Runs inside b2World::Step and inside DestroyBody/DestroyFixture.
class qzContactListener : public b2ContactListener {
public:
    using FixturePair = std::pair<b2Fixture*, b2Fixture*>;

    // scriptState is borrowed; null counts pairs without calling any script.
    explicit qzContactListener(lua_State* scriptState) : scriptState_(scriptState) {}

    void BeginContact(b2Contact* contact) override;
    void EndContact(b2Contact* contact) override;

    // The state the callbacks run on. Set it for the duration of every world operation that
    // can report contacts, so that callbacks always run on a state that is alive and running.
    lua_State* scriptState() const { return scriptState_; }
    void setScriptState(lua_State* state) { scriptState_ = state; }

    // The recorded pairs in their stored order, with how many begins are still open.
    const std::map<FixturePair, int32_t>& contactCounts() const { return contactCounts_; }

private:
    std::map<FixturePair, int32_t>::iterator findPair(b2Fixture* a, b2Fixture* b);

    std::map<FixturePair, int32_t> contactCounts_;
    lua_State* scriptState_;  // borrowed
};

// Sets a listener's script state for the life of the scope and restores the previous one.
class QzScriptStateScope {
public:
    QzScriptStateScope(qzContactListener* listener, lua_State* state)
        : listener_(listener), previous_(listener->scriptState()) {
        listener_->setScriptState(state);
    }
    ~QzScriptStateScope() { listener_->setScriptState(previous_); }
    QzScriptStateScope(const QzScriptStateScope&) = delete;
    QzScriptStateScope& operator=(const QzScriptStateScope&) = delete;

private:
    qzContactListener* listener_;  // borrowed
    lua_State* previous_;          // borrowed
};

#endif
