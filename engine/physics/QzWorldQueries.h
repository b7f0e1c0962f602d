// Questions to a world about where its fixtures are: ray casts and area overlaps.
#ifndef QZ_WORLD_QUERIES_H
#define QZ_WORLD_QUERIES_H

#include <vector>

#include <box2d/box2d.h>

// Where a ray entered one fixture: the point, the surface normal there, and the fraction of
// the way from the ray's start to its end.
struct QzRayHit {
    b2Fixture* fixture;  // borrowed
    b2Vec2 point;
    b2Vec2 normal;
    float fraction;
};

// Every fixture the segment from `from` to `to` enters, nearest first. Sensors let rays
// through and are not reported; a ray that starts inside a fixture does not hit it. A segment
// of length 0 hits nothing. Only reads the world, so it may run inside a step's callbacks.
std::vector<QzRayHit> QzRayCast(const b2World* world, const b2Vec2& from, const b2Vec2& to);

// Every fixture (sensors too) whose shape overlaps the shape placed at the transform, each
// once, in the order the world's tree finds them.
std::vector<b2Fixture*> QzFixturesOverlapping(const b2World* world, const b2Shape& shape,
                                              const b2Transform& transform);

#endif
