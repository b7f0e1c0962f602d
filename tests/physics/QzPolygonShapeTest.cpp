// Native checks of polygon building: limits, refusals and Box2D's set-up of added vertices.
#include <gtest/gtest.h>

#include "QzPolygonShape.h"

namespace {

TEST(QzPolygonShape, RefusesANinthVertex) {
    QzPolygonShape shape;
    for (int i = 0; i < b2_maxPolygonVertices; ++i) EXPECT_TRUE(shape.addVertex(b2Vec2(float(i), 0.0f)));
    EXPECT_FALSE(shape.addVertex(b2Vec2(9.0f, 9.0f)));
    EXPECT_EQ(shape.polygon().m_count, b2_maxPolygonVertices);
}

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

TEST(QzPolygonShape, RefusesPolygonsBox2DCannotSetUp) {
    struct Case {
        std::vector<b2Vec2> points;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {{}, "at least 3"},
        {{{0, 0}, {1, 0}}, "at least 3"},
        {{{0, 0}, {1, 0}, {1, 0.001f}, {0, 1}}, "duplicate"},
        {{{0, 0}, {1, 1}, {2, 2}}, "one line"},
        {{{0, 0}, {3, 0}, {1.5f, 1e-6f}}, "one line"},
    };
    for (const Case& c : cases) {
        QzPolygonShape shape;
        for (const b2Vec2& p : c.points) shape.addVertex(p);
        b2PolygonShape scratch;
        const char* problem = nullptr;
        EXPECT_EQ(shape.shapeForFixture(&scratch, &problem), nullptr) << c.problem;
        ASSERT_NE(problem, nullptr);
        EXPECT_NE(std::string(problem).find(c.problem), std::string::npos) << problem;
    }
}

}  // namespace
