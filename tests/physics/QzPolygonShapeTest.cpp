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

TEST(QzPolygonShape, ABoxIsUsedAsItIs) {
    QzPolygonShape shape;
    shape.setAsBox(1.0f, 0.5f);
    b2PolygonShape scratch;
    const char* problem = nullptr;
    EXPECT_EQ(shape.shapeForFixture(&scratch, &problem), &shape.polygon());
}

}  // namespace
