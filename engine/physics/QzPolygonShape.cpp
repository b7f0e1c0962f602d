// Polygon building and the checks that keep Box2D's polygon set-up from failing.
#include "QzPolygonShape.h"

#include <algorithm>
#include <cmath>

namespace {

// Box2D merges vertices closer than half the linear slop and asserts on polygons whose hull
// has (nearly) no area; these thresholds stay clear of both.
constexpr float kWeldDistanceSquared = (0.5f * b2_linearSlop) * (0.5f * b2_linearSlop);
constexpr float kMinimumArea = 1.0e-5f;
constexpr const char* kOnOneLine = "the polygon is degenerate (its vertices lie on one line)";

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

double cross(const b2Vec2& origin, const b2Vec2& a, const b2Vec2& b) {
    return (static_cast<double>(a.x) - origin.x) * (static_cast<double>(b.y) - origin.y) -
           (static_cast<double>(a.y) - origin.y) * (static_cast<double>(b.x) - origin.x);
}

// Box2D's gift wrapping decides turns with float cross products; on (nearly) collinear
// vertices their signs disagree and it wraps past its vertex limit (an assertion). Keeps only
// the corners of the convex hull whose turn is clearly larger than that rounding, so that Box2D
// wraps a strictly convex polygon. Returns the count; the corners are written to hull.
int32 strictHull(const b2Vec2* vertices, int32 count, b2Vec2* hull) {
    // Sorted by x, then y (an insertion sort: at most 8 vertices).
    b2Vec2 sorted[b2_maxPolygonVertices];
    for (int32 k = 0; k < count; ++k) {
        int32 at = k;
        for (; at > 0 && (vertices[k].x < sorted[at - 1].x ||
                          (vertices[k].x == sorted[at - 1].x && vertices[k].y < sorted[at - 1].y));
             --at) {
            sorted[at] = sorted[at - 1];
        }
        sorted[at] = vertices[k];
    }
    double diameterSquared = 0.0;
    for (int32 i = 0; i < count; ++i) {
        for (int32 j = i + 1; j < count; ++j) {
            const double dx = static_cast<double>(sorted[i].x) - sorted[j].x;
            const double dy = static_cast<double>(sorted[i].y) - sorted[j].y;
            diameterSquared = std::max(diameterSquared, dx * dx + dy * dy);
        }
    }
    // Float cross products of differences carry a relative error of a few 1e-7; every triangle
    // of kept corners has twice its area above this share of the diameter squared.
    const double minimumTurn = 1.0e-5 * diameterSquared;

    // Andrew's monotone chain: lower hull left to right, then upper hull right to left.
    b2Vec2 chain[2 * b2_maxPolygonVertices];
    int32 size = 0;
    for (int32 pass = 0; pass < 2; ++pass) {
        const int32 floor = size;
        for (int32 k = 0; k < count; ++k) {
            const b2Vec2& p = pass == 0 ? sorted[k] : sorted[count - 1 - k];
            while (size >= floor + 2 && cross(chain[size - 2], chain[size - 1], p) <= minimumTurn) --size;
            chain[size++] = p;
        }
        --size;  // the last point starts the other half
    }
    // The two joins of the halves were never tested as middle corners.
    bool removed = true;
    while (removed && size >= 3) {
        removed = false;
        for (int32 i = 0; i < size; ++i) {
            const b2Vec2& previous = chain[(i + size - 1) % size];
            const b2Vec2& next = chain[(i + 1) % size];
            if (cross(previous, chain[i], next) <= minimumTurn) {
                std::copy(chain + i + 1, chain + size, chain + i);
                --size;
                removed = true;
                break;
            }
        }
    }
    std::copy(chain, chain + size, hull);
    return size;
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
        *problem = kOnOneLine;
        return nullptr;
    }
    b2Vec2 hull[b2_maxPolygonVertices];
    const int32 corners = strictHull(polygon_.m_vertices, count, hull);
    if (corners < 3) {
        *problem = kOnOneLine;
        return nullptr;
    }
    scratch->Set(hull, corners);
    return scratch;
}
