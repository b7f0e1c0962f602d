// A polygon built from a box or from added vertices, checked and set up when a fixture is made.
#ifndef QZ_POLYGON_SHAPE_H
#define QZ_POLYGON_SHAPE_H

#include <box2d/b2_polygon_shape.h>

#include <utility>

// Holds a Box2D polygon. setAsBox gives a complete box; addVertex only appends a vertex, and
// the convex hull, normals and centroid are made by Box2D's own polygon set-up when a fixture
// is created, after the vertices were checked so that the set-up cannot fail.
class QzPolygonShape {
public:
    // Empty: no vertices, radius 0.01 m, centroid (0, 0).
    QzPolygonShape() = default;

    // Half-extents in metres.
    void setAsBox(float halfWidth, float halfHeight);
    // Appends a vertex in metres; false (and nothing changes) when the polygon already holds
    // Box2D's maximum of 8 vertices.
    bool addVertex(const b2Vec2& vertex);
    // True the first time only: a shape reports its ignored vertices once.
    bool firstIgnoredVertex() { return !std::exchange(ignoredVertexReported_, true); }

    const b2PolygonShape& polygon() const { return polygon_; }

    // The shape to make a fixture from: the box itself, or the added vertices set up into
    // scratch. Null with *problem set when the vertices cannot form a polygon: fewer than 3,
    // two of them (nearly) the same point, or all on one line.
    const b2PolygonShape* shapeForFixture(b2PolygonShape* scratch, const char** problem) const;

private:
    b2PolygonShape polygon_;
    bool needsSetUp_ = false;
    bool ignoredVertexReported_ = false;
};

#endif
