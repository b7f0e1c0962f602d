// The contact filter that decides from fixture IDs and collision categories which fixtures collide.
#ifndef QZ_CONTACT_FILTER_H
#define QZ_CONTACT_FILTER_H

#include <box2d/b2_world_callbacks.h>

// Replaces Box2D's category and group bits entirely: two fixtures collide only when they carry
// the same fixture ID and at least one of them lists, among its mask categories, a category of
// the other's body. Fixtures or bodies without records never collide.
class qzContactFilter : public b2ContactFilter {
public:
    bool ShouldCollide(b2Fixture* fixtureA, b2Fixture* fixtureB) override;
};

#endif
