// Native checks of polygon building: boxes as they are, added vertices set up by Box2D.
#include <gtest/gtest.h>

#include "QzPolygonShape.h"

namespace {

TEST(QzPolygonShape, AddedVerticesGetHullNormalsAndCentroidFromBox2D) {
    QzPolygonShape shape;
    const b2Vec2 points[] = {{0, 0}, {2, 0}, {1, 0.5f}, {2, 2}, {0, 2}};
    for (const b2Vec2& p : points) shape.addVertex(p);
    EXPECT_EQ(shape.polygon().m_count, 5) << "vertices are stored as added";

    b2PolygonShape scratch;
    const char* problem = nullptr;
    const b2PolygonShape* ready = shape.shapeForFixture(&scratch, &problem);
    ASSERT_NE(ready, nullptr) << problem;
    EXPECT_EQ(ready->m_count, 4) << "the interior point left the hull";
    EXPECT_NEAR(ready->m_centroid.x, 1.0f, 1e-5f);
    EXPECT_NEAR(ready->m_centroid.y, 1.0f, 1e-5f);
    for (int i = 0; i < ready->m_count; ++i) EXPECT_NEAR(ready->m_normals[i].Length(), 1.0f, 1e-5f);
    EXPECT_EQ(shape.polygon().m_count, 5) << "the shape's own vertices are kept";
}

// Box2D's own hull wrapping, given a vertex in the middle of an edge, judged turns by float
// rounding and asserted that it passed 8 corners; the vertex now leaves the hull first.
TEST(QzPolygonShape, AVertexInTheMiddleOfAnEdgeIsDroppedBeforeBox2DWrapsTheHull) {
    const float screen[][2] = {{14, -50}, {31, -32}, {48, -14}, {-54, -13}};
    QzPolygonShape shape;
    for (const auto& p : screen) shape.addVertex(b2Vec2(p[0] * 0.02f, p[1] * 0.02f));

    b2PolygonShape scratch;
    const char* problem = nullptr;
    const b2PolygonShape* ready = shape.shapeForFixture(&scratch, &problem);
    ASSERT_NE(ready, nullptr) << problem;
    EXPECT_EQ(ready->m_count, 3);
    b2MassData mass;
    ready->ComputeMass(&mass, 1.0f);
    EXPECT_NEAR(mass.mass, 0.5f * (34 * 37 - 36 * -68) * 0.0004f, 1e-5f) << "the triangle's area";
}

// The hull's tolerance grows with the polygon's diameter; measured in floats, the diameter of
// a huge polygon overflowed to infinity and every corner was dropped.
TEST(QzPolygonShape, AHugePolygonKeepsItsCorners) {
    QzPolygonShape shape;
    for (const b2Vec2& p : {b2Vec2(-1e19f, -1e19f), b2Vec2(1e19f, -1e19f), b2Vec2(1e19f, 1e19f), b2Vec2(-1e19f, 1e19f)}) {
        shape.addVertex(p);
    }
    b2PolygonShape scratch;
    const char* problem = nullptr;
    const b2PolygonShape* ready = shape.shapeForFixture(&scratch, &problem);
    ASSERT_NE(ready, nullptr) << problem;
    EXPECT_EQ(ready->m_count, 4);
}

TEST(QzPolygonShape, ABoxIsUsedAsItIs) {
    QzPolygonShape shape;
    shape.setAsBox(1.0f, 0.5f);
    b2PolygonShape scratch;
    const char* problem = nullptr;
    EXPECT_EQ(shape.shapeForFixture(&scratch, &problem), &shape.polygon());
}

}  // namespace
