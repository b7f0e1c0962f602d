// Polygon building and the checks that keep Box2D's polygon set-up from failing.
#include "QzPolygonShape.h"

#include <cmath>

namespace {

// Box2D merges vertices closer than half the linear slop and asserts on polygons whose hull
// has (nearly) no area; these thresholds stay clear of both.
constexpr float kWeldDistanceSquared = (0.5f * b2_linearSlop) * (0.5f * b2_linearSlop);
constexpr float kMinimumArea = 1.0e-5f;

bool hasDuplicate(const b2Vec2* vertices, int32 count) {
    for (int32 i = 0; i < count; ++i) {
        for (int32 j = i + 1; j < count; ++j) {
            if (b2DistanceSquared(vertices[i], vertices[j]) < kWeldDistanceSquared) return true;
        }
    }
    return false;
}

// The largest triangle spanned by three of the vertices: a lower bound of the hull's area.
float largestTriangleArea(const b2Vec2* vertices, int32 count) {
    float largest = 0.0f;
    for (int32 i = 0; i < count; ++i) {
        for (int32 j = i + 1; j < count; ++j) {
            for (int32 k = j + 1; k < count; ++k) {
                const float area =
                    0.5f * std::fabs(b2Cross(vertices[j] - vertices[i], vertices[k] - vertices[i]));
                if (area > largest) largest = area;
            }
        }
    }
    return largest;
}

}  // namespace

void QzPolygonShape::setAsBox(float halfWidth, float halfHeight) {
    polygon_.SetAsBox(halfWidth, halfHeight);
    needsSetUp_ = false;
}

bool QzPolygonShape::addVertex(const b2Vec2& vertex) {
    if (polygon_.m_count >= b2_maxPolygonVertices) return false;
    polygon_.m_vertices[polygon_.m_count++] = vertex;
    needsSetUp_ = true;
    return true;
}

const b2PolygonShape* QzPolygonShape::shapeForFixture(b2PolygonShape* scratch, const char** problem) const {
    const int32 count = polygon_.m_count;
    if (count < 3) {
        *problem = "a polygon needs at least 3 vertices (use setAsBox or addVertex)";
        return nullptr;
    }
    if (!needsSetUp_) return &polygon_;
    if (hasDuplicate(polygon_.m_vertices, count)) {
        *problem = "the polygon has duplicate vertices (two vertices at the same point)";
        return nullptr;
    }
    if (largestTriangleArea(polygon_.m_vertices, count) < kMinimumArea) {
        *problem = "the polygon is degenerate (its vertices lie on one line)";
        return nullptr;
    }
    scratch->Set(polygon_.m_vertices, count);
    return scratch;
}
