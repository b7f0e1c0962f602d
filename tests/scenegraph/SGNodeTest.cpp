// Tests of nodes, spaces and scenes without drawing: reference counts, ownership, class
// table, layer order, and the value nodes' computations.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include "SGOrtho2DSpace.h"
#include "SGScene.h"
#include "SGTestNodes.h"
#include "nodes/SGArithmeticNode.h"
#include "nodes/SGAttributeNode.h"
#include "nodes/SGColorNode.h"
#include "nodes/SGImageCellNode.h"
#include "nodes/SGImageFlipNode.h"
#include "nodes/SGParticleSystemNode.h"
#include "nodes/SGReplicatorNode.h"
#include "nodes/SGSpriteNode.h"
#include "nodes/SGWrapNode.h"

namespace {

// Every test must leave no scene-graph object behind.
class SGNodes : public ::testing::Test {
protected:
    void SetUp() override { liveBefore = SGObject::liveCount(); }
    void TearDown() override { EXPECT_EQ(SGObject::liveCount(), liveBefore) << "objects leaked"; }
    size_t liveBefore = 0;
};

TEST_F(SGNodes, CreateNodeAndCreateSpaceBuildEveryClassOfTheTable) {
    SGScene scene(nullptr, nullptr);
    SGSpace& space = scene.defaultSpace;
    const std::pair<uint32_t, uint32_t> built[] = {
        {SGArithmeticNodeClass, SGArithmeticNodeClass},
        {SGClearNodeClass, SGClearNodeClass | SGRenderBit},
        {SGColorNodeClass, SGColorNodeClass},
        {SGParticleSystemNodeClass, SGParticleSystemNodeClass | SGRenderBit},
        {SGReplicatorSpaceClass, SGReplicatorSpaceClass | SGSpaceClass | SGRenderBit},
        {SGSpaceClass, SGSpaceClass | SGRenderBit},
        {SGSpriteNodeClass, SGSpriteNodeClass | SGRenderBit},
        {SGWrapSpaceClass, SGWrapSpaceClass | SGSpaceClass | SGRenderBit},
        {SGImageFlipNodeClass, SGImageFlipNodeClass},
        {SGImageCellNodeClass, SGImageCellNodeClass},
        {SGImageLoaderNodeClass, SGImageLoaderNodeClass | SGAssetLoaderNodeClass},
        {SGStringToImageNodeClass, SGStringToImageNodeClass},
        {SGSoundLoaderNodeClass, SGSoundLoaderNodeClass | SGAssetLoaderNodeClass},
        {SGSoundPlayerNodeClass, SGSoundPlayerNodeClass},
        {SGSoundListenerNodeClass, SGSoundListenerNodeClass | SGRenderBit},
    };
    for (const auto& [nodeClass, flags] : built) {
        SGNode* node = space.createNode(nodeClass);
        ASSERT_NE(node, nullptr) << nodeClass;
        EXPECT_EQ(node->classFlags, flags) << nodeClass;
        EXPECT_TRUE(node->dirty);
    }
    for (uint32_t none : {0u, 1u, 2u, 8u, 128u, 3u, 524288u}) {
        EXPECT_EQ(space.createNode(none), nullptr) << none;
    }
    EXPECT_EQ(space.nodes.size(), std::size(built));
    EXPECT_EQ(space.countRenderNodes(), 7);

    // A scene's createSpace gives an orthographic space only for its class.
    SGSpace* ortho = scene.createSpace(SGOrtho2DSpaceClass);
    EXPECT_EQ(ortho->classFlags, SGOrtho2DSpaceClass | SGSpaceClass | SGRenderBit);
    EXPECT_NE(dynamic_cast<SGOrtho2DSpace*>(ortho), nullptr);
    SGSpace* plain = scene.createSpace(SGSpriteNodeClass);
    EXPECT_EQ(dynamic_cast<SGOrtho2DSpace*>(plain), nullptr);
    EXPECT_EQ(ortho->portForID(15), &static_cast<SGOrtho2DSpace*>(ortho)->nearPlane);
    EXPECT_EQ(ortho->portForID(0), nullptr);
    scene.removeSpace(plain);
    scene.removeSpace(plain);  // no longer present: ignored
    EXPECT_EQ(scene.spaces.size(), 1u);
}

TEST_F(SGNodes, RemovedNodeStaysAliveWhileAPortReadsFromIt) {
    SGScene scene(nullptr, nullptr);
    SGSpace& space = scene.defaultSpace;
    auto* arithmetic = static_cast<SGArithmeticNode*>(space.createNode(SGArithmeticNodeClass));
    auto* sprite = static_cast<SGSpriteNode*>(space.createNode(SGSpriteNodeClass));
    arithmetic->input1.setValue(2.0f);
    arithmetic->input2.setValue(5.0f);
    ASSERT_TRUE(sprite->x.setValue(&arithmetic->output));
    EXPECT_EQ(arithmetic->retainCount(), 2u);
    space.removeNode(arithmetic);
    EXPECT_FALSE(space.containsNode(arithmetic));
    EXPECT_EQ(arithmetic->retainCount(), 1u);
    EXPECT_FLOAT_EQ(sprite->x.numberValue(), 7.0f);
    space.removeNode(arithmetic);  // not in the space: ignored
    const uint64_t serial = arithmetic->serial();
    space.removeNode(sprite);  // the sprite's port disconnects and frees the arithmetic node
    EXPECT_FALSE(SGObject::isAlive(arithmetic, serial));
}

TEST_F(SGNodes, DeletingASceneFreesChainsAcrossSpaces) {
    auto* scene = new SGScene(nullptr, nullptr);
    SGSpace* a = scene->createSpace(SGSpaceClass);
    SGSpace* b = scene->createSpace(SGOrtho2DSpaceClass);
    auto* color = static_cast<SGColorNode*>(a->createNode(SGColorNodeClass));
    auto* sprite = static_cast<SGSpriteNode*>(b->createNode(SGSpriteNodeClass));
    auto* nested = static_cast<SGSpace*>(b->createNode(SGSpaceClass));
    auto* inner = static_cast<SGSpriteNode*>(nested->createNode(SGSpriteNodeClass));
    sprite->color.setValue(&color->output);
    inner->width.setValue(&static_cast<SGOrtho2DSpace*>(b)->width);
    auto* attribute = new SGAttributeNode(SGPortTypeNumber);
    inner->x.setValue(attribute->valuePort());
    attribute->release();
    scene->release();
}

// Connections that loop through nodes without outputs are not cycles the port graph can see;
// the scene's deletion must free their nodes all the same (the fixture counts the objects).
TEST_F(SGNodes, DeletingASceneFreesNodesThatReadEachOther) {
    auto* scene = new SGScene(nullptr, nullptr);
    auto* self = static_cast<SGSpriteNode*>(scene->defaultSpace.createNode(SGSpriteNodeClass));
    ASSERT_TRUE(self->x.setValue(&self->y));
    SGSpace* plain = scene->createSpace(SGSpaceClass);
    auto* first = static_cast<SGSpriteNode*>(plain->createNode(SGSpriteNodeClass));
    auto* second = static_cast<SGSpriteNode*>(plain->createNode(SGSpriteNodeClass));
    ASSERT_TRUE(first->x.setValue(&second->x));
    ASSERT_TRUE(second->y.setValue(&first->y));
    auto* ortho = static_cast<SGOrtho2DSpace*>(scene->createSpace(SGOrtho2DSpaceClass));
    auto* nested = static_cast<SGSpace*>(ortho->createNode(SGSpaceClass));
    auto* inner = static_cast<SGSpriteNode*>(nested->createNode(SGSpriteNodeClass));
    ASSERT_TRUE(inner->width.setValue(&ortho->width));
    ASSERT_TRUE(ortho->height.setValue(&inner->x));
    scene->release();
}

TEST_F(SGNodes, RemovingASpaceWhoseContentReadsItsPortsFreesBoth) {
    SGScene scene(nullptr, nullptr);
    auto* ortho = static_cast<SGOrtho2DSpace*>(scene.createSpace(SGOrtho2DSpaceClass));
    auto* nested = static_cast<SGSpace*>(ortho->createNode(SGSpaceClass));
    auto* inner = static_cast<SGSpriteNode*>(nested->createNode(SGSpriteNodeClass));
    inner->width.setValue(&ortho->width);
    auto* outer = static_cast<SGSpriteNode*>(scene.defaultSpace.createNode(SGSpriteNodeClass));
    outer->height.setValue(&ortho->height);
    const uint64_t orthoSerial = ortho->serial();
    const uint64_t nestedSerial = nested->serial();
    ortho->removeNode(nested);
    EXPECT_FALSE(SGObject::isAlive(nested, nestedSerial));
    scene.removeSpace(ortho);
    EXPECT_TRUE(SGObject::isAlive(ortho, orthoSerial)) << "a port still reads from it";
    scene.defaultSpace.removeNode(outer);
    EXPECT_FALSE(SGObject::isAlive(ortho, orthoSerial));
}

// Marking, reading and freeing walk chains of connected nodes; none of them may nest once
// per node on the call stack. A read too deep ends in an exception, not a stack overflow.
TEST_F(SGNodes, VeryLongChainsMarkReadAndFreeWithoutOverflowingTheStack) {
    constexpr int kLength = 200000;
    auto* first = new SGDoublingNode;
    SGDoublingNode* last = first;
    for (int i = 1; i < kLength; ++i) {
        auto* next = new SGDoublingNode;
        next->input.setValue(&last->output);
        next->output.numberValue();  // computes this node alone: the one before is clean
        last->release();             // the connection keeps it
        last = next;
    }
    first->input.setValue(1.0f);
    EXPECT_TRUE(last->dirty) << "marking reached the end of the chain";
    EXPECT_THROW(last->output.numberValue(), std::runtime_error);
    EXPECT_TRUE(last->dirty) << "a read cut short leaves the node dirty";
    last->release();  // frees the whole chain

    // A chain within the read limit reads through.
    auto* head = new SGDoublingNode;
    head->input.setValue(1.0f);
    SGDoublingNode* tail = head;
    for (int i = 1; i < 100; ++i) {
        auto* next = new SGDoublingNode;
        next->input.setValue(&tail->output);
        tail->release();
        tail = next;
    }
    EXPECT_EQ(tail->output.numberValue(), std::ldexp(1.0f, 100));
    tail->release();
}

TEST_F(SGNodes, SpacesNestOnlyToTheLimit) {
    SGScene scene(nullptr, nullptr);
    SGSpace* space = &scene.defaultSpace;
    for (int depth = 0; depth < SGSpace::kMaxNestingDepth; ++depth) {
        space = static_cast<SGSpace*>(space->createNode(SGSpaceClass));
        ASSERT_NE(space, nullptr) << depth;
    }
    EXPECT_EQ(space->nestingDepth, SGSpace::kMaxNestingDepth);
    for (uint32_t nested : {SGSpaceClass, SGReplicatorSpaceClass, SGWrapSpaceClass}) {
        EXPECT_EQ(space->createNode(nested), nullptr) << nested;
    }
    EXPECT_NE(space->createNode(SGSpriteNodeClass), nullptr);
}

TEST_F(SGNodes, ArithmeticOperationsByFirstCharacter) {
    auto* node = new SGArithmeticNode;
    node->input1.setValue(7.0f);
    node->input2.setValue(2.0f);
    const std::pair<const char*, float> cases[] = {
        {"+", 9.0f}, {"-", 5.0f}, {"*", 14.0f}, {"/", 3.5f}, {"%", 1.0f},
        {"cos", 7.0f * std::cos(2.0f)}, {"sin", 7.0f * std::sin(2.0f)}, {"s", 7.0f * std::sin(2.0f)},
        {"x", 0.0f}, {"", 0.0f}};
    for (const auto& [op, expected] : cases) {
        node->operation.setValue(std::string(op));
        EXPECT_FLOAT_EQ(node->output.numberValue(), expected) << op;
    }
    node->operation.setValue(std::string("/"));
    node->input2.setValue(0.0f);
    EXPECT_TRUE(std::isinf(node->output.numberValue()));
    node->operation.setValue(std::string("%"));
    EXPECT_TRUE(std::isnan(node->output.numberValue()));
    // The operation is the port's own text, not the text of a connection.
    auto* text = new SGAttributeNode(SGPortTypeString);
    static_cast<SGStringPort*>(text->valuePort())->setValue(std::string("*"));
    node->operation.setValue(std::string("+"));
    node->operation.setValue(text->valuePort());
    node->input2.setValue(4.0f);
    EXPECT_FLOAT_EQ(node->output.numberValue(), 11.0f);
    node->release();
    text->release();
}

TEST_F(SGNodes, ColorNodeDoesNotClamp) {
    auto* node = new SGColorNode;
    node->r.setValue(2.0f);
    node->a.setValue(-1.0f);
    const SGColor c = node->output.colorValue();
    EXPECT_TRUE(c.r == 2.0f && c.g == 1.0f && c.a == -1.0f);
    node->release();
}

TEST_F(SGNodes, ImageFlipTwiceRestoresTheRectangle) {
    auto* first = new SGImageFlipNode;
    auto* second = new SGImageFlipNode;
    SGImage image = SGImageNull;
    image.textureName = 9;
    image.textureRect = {0.1f, 0.2f, 0.7f, 0.9f};
    first->input.setValue(image);
    first->flipHorizontal.setValue(true);
    first->flipVertical.setValue(true);
    const SGImage flipped = first->output.imageValue();
    EXPECT_TRUE(flipped.textureRect.s0 == 0.7f && flipped.textureRect.t0 == 0.9f && flipped.textureName == 9u);
    second->input.setValue(&first->output);
    second->flipHorizontal.setValue(true);
    second->flipVertical.setValue(true);
    const SGTextureRect back = second->output.imageValue().textureRect;
    EXPECT_TRUE(back.s0 == 0.1f && back.t1 == 0.9f);
    second->release();
    first->release();
}

// A 4 × 2 sheet of a 64 × 32 texture: cells are read row by row from the top left, and the
// top row lies at the high t end (texture rows run bottom-up).
TEST_F(SGNodes, ImageCellCutsTheSheetRowByRowFromTheTopLeft) {
    struct Case {
        int32_t columns, rows, cell;
        SGTextureRect input, expected;
        uint32_t width, height;
    };
    const Case cases[] = {
        {4, 2, 0, {0, 0, 1, 1}, {0, 0.5f, 0.25f, 1}, 16, 16},
        {4, 2, 3, {0, 0, 1, 1}, {0.75f, 0.5f, 1, 1}, 16, 16},
        {4, 2, 5, {0, 0, 1, 1}, {0.25f, 0, 0.5f, 0.5f}, 16, 16},
        {4, 2, 99, {0, 0, 1, 1}, {0.75f, 0, 1, 0.5f}, 16, 16},   // past the end: the last cell
        {4, 2, -3, {0, 0, 1, 1}, {0, 0.5f, 0.25f, 1}, 16, 16},   // before the start: the first
        {0, -1, 0, {0, 0, 1, 1}, {0, 0, 1, 1}, 64, 32},          // counts below 1 count as 1
        {2, 1, 0, {1, 0, 0, 1}, {1, 0, 0.5f, 1}, 32, 32},        // a flipped picture stays flipped
        {2, 2, 3, {0.5f, 0.5f, 1, 1}, {0.75f, 0.5f, 1, 0.75f}, 16, 8},  // part of a texture
    };
    auto* node = new SGImageCellNode;
    for (const Case& c : cases) {
        SGImage image = SGImageNull;
        image.textureName = 5;
        image.textureWidth = 64;
        image.textureHeight = 32;
        image.textureRect = c.input;
        node->input.setValue(image);
        node->columns.setValue(c.columns);
        node->rows.setValue(c.rows);
        node->cell.setValue(c.cell);
        const SGImage cell = node->output.imageValue();
        const SGTextureRect& r = cell.textureRect;
        EXPECT_TRUE(r.s0 == c.expected.s0 && r.t0 == c.expected.t0 && r.s1 == c.expected.s1 &&
                    r.t1 == c.expected.t1)
            << c.columns << "x" << c.rows << " cell " << c.cell << ": " << r.s0 << " " << r.t0
            << " " << r.s1 << " " << r.t1;
        EXPECT_EQ(cell.textureName, 5u);
        EXPECT_EQ(cell.width, c.width) << c.cell;
        EXPECT_EQ(cell.height, c.height) << c.cell;
    }
    node->release();
}

TEST_F(SGNodes, AttributeNodeOfAnUnsupportedTypeHasNoPort) {
    testing::internal::CaptureStdout();
    auto* node = new SGAttributeNode(SGPortTypeColor);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "SGAttributeNode creation failed - unsupported type\n");
    EXPECT_EQ(node->portForID(0), nullptr);
    node->release();
    auto* text = new SGAttributeNode(SGPortTypeAssetName);
    EXPECT_EQ(text->portForID(42)->type, SGPortTypeAssetName);
    text->release();
}

TEST(SGTextureRects, CropKeepsTheAnchoredPartInEitherDirection) {
    struct Case {
        SGTextureRect rect;
        bool horizontal;
        float fraction;
        int32_t anchor;
        SGTextureRect cropped;
    };
    const Case cases[] = {
        {{0, 0, 1, 1}, true, 0.5f, SGAnchorFirst, {0, 0, 0.5f, 1}},
        {{0, 0, 1, 1}, true, 0.5f, SGAnchorCentre, {0.25f, 0, 0.75f, 1}},
        {{0, 0, 1, 1}, false, 0.25f, SGAnchorSecond, {0, 0.75f, 1, 1}},
        {{1, 0, 0, 1}, true, 0.5f, SGAnchorFirst, {1, 0, 0.5f, 1}},  // flipped: keeps its direction
        {{1, 0, 0, 1}, true, 0.5f, 7, {1, 0, 0, 1}},                  // unknown anchor: unchanged
    };
    for (const Case& c : cases) {
        SGTextureRect r = c.rect;
        c.horizontal ? r.cropHorizontally(c.fraction, c.anchor) : r.cropVertically(c.fraction, c.anchor);
        EXPECT_TRUE(r.s0 == c.cropped.s0 && r.t0 == c.cropped.t0 && r.s1 == c.cropped.s1 && r.t1 == c.cropped.t1)
            << c.rect.s0 << " " << c.anchor;
    }
    SGImage image = SGImageNull;
    image.textureWidth = 64;
    image.textureHeight = 30;
    image.textureRect = {0.25f, 0.0f, 0.0f, 0.5f};
    EXPECT_EQ(image.getWidth(), 16);
    EXPECT_EQ(image.getHeight(), 15);
}

TEST(SGParticles, InterpolateStopsAtTheTarget) {
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(10, 20, 2, 1), 15.0f);
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(10, 20, 2, 3), 20.0f);
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(1, 0, 1, 0.5f), 0.5f);
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(1, 0, 1, 2), 0.0f);
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(1, 0, 0, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(SGParticleSystemNode::interpolate(3, 3, 0, 0.1f), 3.0f);
}

// A read of the pool size or of lifestart that fails in the first compute is retried at the
// next one: the pool is not taken for allocated (and empty for good).
TEST(SGParticles, AFailedFirstReadOfThePoolSettingsIsRetried) {
    for (const bool failCount : {true, false}) {
        auto* source = new SGDoublingNode;
        source->input.setValue(1.5f);
        source->failNext = true;
        auto* node = new SGParticleSystemNode;
        node->numParticles.setValue(3);
        SGPort& failing = failCount ? static_cast<SGPort&>(node->numParticles) : node->lifestart;
        ASSERT_TRUE(failing.setValue(&source->output));
        source->release();
        EXPECT_THROW(node->compute(), std::runtime_error);
        EXPECT_FALSE(node->hasPool()) << failCount;
        node->compute();
        EXPECT_TRUE(node->hasPool());
        EXPECT_EQ(node->particles().size(), 3u) << failCount;
        node->release();
    }
}

// Particles draw from the node's own generator: the C library's rand() (the script's
// math.random) is left alone, two emitters with the same seed and inputs make the same
// particles, and the spreads vary direction and speed within their ranges.
TEST(SGParticles, EmittersUseTheirOwnGeneratorAndSpreadWithinTheirRanges) {
    const auto emit = [](float directionSpread, float speedSpread) {
        auto* node = new SGParticleSystemNode;
        node->numParticles.setValue(50);
        node->lifestart.setValue(2.0f);
        node->lifetime.setValue(4.0f);
        node->direction.setValue(90.0f);
        node->speed.setValue(100.0f);
        node->directionSpread.setValue(directionSpread);
        node->speedSpread.setValue(speedSpread);
        node->spawnParticles.setValue(true);
        node->time.setValue(0.0f);
        node->compute();
        node->time.setValue(3.0f);  // later than every birth time: all are emitted
        node->compute();
        std::vector<SGParticle> particles = node->particles();
        node->release();
        return particles;
    };
    std::srand(5);
    const int first = std::rand();
    std::srand(5);
    const std::vector<SGParticle> one = emit(360, 40), two = emit(360, 40);
    EXPECT_EQ(std::rand(), first) << "rand() untouched";
    float lowest = 1e9f, highest = -1e9f, minAngle = 1e9f, maxAngle = -1e9f;
    for (size_t i = 0; i < one.size(); ++i) {
        EXPECT_FLOAT_EQ(one[i].velocityX, two[i].velocityX) << i;
        EXPECT_FLOAT_EQ(one[i].lifetime, two[i].lifetime) << i;
        const float speed = std::hypot(one[i].velocityX, one[i].velocityY);
        lowest = std::min(lowest, speed), highest = std::max(highest, speed);
        const float angle = std::atan2(one[i].velocityY, one[i].velocityX);
        minAngle = std::min(minAngle, angle), maxAngle = std::max(maxAngle, angle);
    }
    EXPECT_GE(lowest, 80.0f);
    EXPECT_LE(highest, 120.0f);
    EXPECT_GT(highest - lowest, 20.0f) << "speeds spread";
    EXPECT_GT(maxAngle - minAngle, 5.0f) << "a ring: directions all round";
    for (const SGParticle& p : emit(0, 0)) EXPECT_NEAR(p.velocityX, 0.0f, 1e-3f) << "no spread: straight up";
}

}  // namespace
