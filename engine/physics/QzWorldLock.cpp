// Access to b2World's private lock flag and the two lock scopes.
#include "QzWorldLock.h"

#include <box2d/b2_world.h>

// The flag is reached through an explicit template instantiation, the one place in C++ where
// access checking does not apply to naming a private member.

namespace {

struct LockedFlagTag {
    using type = bool b2World::*;
};

template <class Tag, typename Tag::type Member>
struct PrivateMember {
    friend typename Tag::type memberOf(Tag) { return Member; }
};

}  // namespace

namespace {
LockedFlagTag::type memberOf(LockedFlagTag);
template struct PrivateMember<LockedFlagTag, &b2World::m_locked>;
}  // namespace

void QzSetWorldLocked(b2World* world, bool locked) { world->*memberOf(LockedFlagTag{}) = locked; }

QzWorldLockScope::QzWorldLockScope(b2World* world) : world_(world), wasLocked_(world->IsLocked()) {
    QzSetWorldLocked(world_, true);
}

QzWorldLockScope::~QzWorldLockScope() { QzSetWorldLocked(world_, wasLocked_); }
