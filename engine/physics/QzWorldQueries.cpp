// Ray casts and area overlaps over a world's fixtures, collected through Box2D's callbacks.
#include "QzWorldQueries.h"

#include <algorithm>

namespace {

class RayCollector : public b2RayCastCallback {
public:
    float ReportFixture(b2Fixture* fixture, const b2Vec2& point, const b2Vec2& normal, float fraction) override {
        if (!fixture->IsSensor()) hits.push_back({fixture, point, normal, fraction});
        return 1.0f;  // go on along the whole ray: every fixture is reported
    }
    std::vector<QzRayHit> hits;
};

class OverlapCollector : public b2QueryCallback {
public:
    OverlapCollector(const b2Shape& shape, const b2Transform& transform) : shape_(shape), transform_(transform) {}

    bool ReportFixture(b2Fixture* fixture) override {
        // A shape of several children has a tree entry for each.
        if (std::find(fixtures.begin(), fixtures.end(), fixture) != fixtures.end()) return true;
        const b2Shape* own = fixture->GetShape();
        const b2Transform& at = fixture->GetBody()->GetTransform();
        for (int32 child = 0; child < own->GetChildCount(); ++child) {
            if (b2TestOverlap(own, child, &shape_, 0, at, transform_)) {
                fixtures.push_back(fixture);
                break;
            }
        }
        return true;
    }
    std::vector<b2Fixture*> fixtures;

private:
    const b2Shape& shape_;          // borrowed
    const b2Transform& transform_;  // borrowed
};

}  // namespace

std::vector<QzRayHit> QzRayCast(const b2World* world, const b2Vec2& from, const b2Vec2& to) {
    // Box2D asserts that a ray has a direction.
    if ((to - from).LengthSquared() <= 0.0f) return {};
    RayCollector collector;
    world->RayCast(&collector, from, to);
    std::stable_sort(collector.hits.begin(), collector.hits.end(),
                     [](const QzRayHit& left, const QzRayHit& right) { return left.fraction < right.fraction; });
    return std::move(collector.hits);
}

std::vector<b2Fixture*> QzFixturesOverlapping(const b2World* world, const b2Shape& shape,
                                              const b2Transform& transform) {
    b2AABB box;
    shape.ComputeAABB(&box, transform, 0);
    OverlapCollector collector(shape, transform);
    world->QueryAABB(&collector, box);
    return std::move(collector.fixtures);
}
