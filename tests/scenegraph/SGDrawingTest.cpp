// Drawing tests on the off-screen context: pixels, matrices and blend state read back after
// spaces, sprites, value and utility nodes and particle systems draw.
#include <cmath>
#include <stdexcept>

#include "SGGLFixture.h"
#include "SGOrtho2DSpace.h"
#include "SGScene.h"
#include "SGTestNodes.h"
#include "nodes/SGClearNode.h"
#include "nodes/SGParticleSystemNode.h"
#include "nodes/SGReplicatorNode.h"
#include "nodes/SGSpriteNode.h"
#include "nodes/SGWrapNode.h"
#include "nodes/spriteRenderers/SGTiledSpriteRenderer.h"

namespace {

using Pixel = SGDrawingTest::Pixel;
constexpr Pixel kBlack{0, 0, 0, 255};
constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kGreen{0, 255, 0, 255};
constexpr Pixel kBlue{0, 0, 255, 255};
constexpr Pixel kWhite{255, 255, 255, 255};

// Left half red, right half green.
Pixel redGreen(int x, int) { return x < 8 ? kRed : kGreen; }
// Quadrants of a 2 × 2 texture: red, green below; blue, white above.
Pixel quadrants(int x, int y) { return y == 0 ? (x == 0 ? kRed : kGreen) : (x == 0 ? kBlue : kWhite); }
Pixel halfWhite(int, int) { return {255, 255, 255, 128}; }

class SGDraw : public SGDrawingTest {
protected:
    SGSpriteNode* sprite(SGSpace& space, float x, float y, float w, float h, SGColor c = SGWhiteColor) {
        auto* node = static_cast<SGSpriteNode*>(space.createNode(SGSpriteNodeClass));
        node->x.setValue(x);
        node->y.setValue(y);
        node->width.setValue(w);
        node->height.setValue(h);
        node->color.setValue(c);
        return node;
    }

    SGScene scene{nullptr, nullptr};
    SGSpace& space = scene.defaultSpace;
};

TEST_F(SGDraw, LayerOrderFollowsSortRenderNodes) {
    SGSpriteNode* red = sprite(space, 32, 32, 20, 20, {1, 0, 0, 1});
    SGSpriteNode* blue = sprite(space, 32, 32, 20, 20, {0, 0, 1, 1});
    red->layer = 3;
    blue->layer = -1;
    scene.render();
    EXPECT_TRUE(pixelIs(32, 32, kBlue));
    space.sortRenderNodes();
    scene.render();
    EXPECT_TRUE(pixelIs(32, 32, kRed));
}

TEST_F(SGDraw, ColouredSpriteDisablesTexturingOnlyWhileItDraws) {
    SGSpriteNode* node = sprite(space, 10.5f, 10.5f, 4, 2, {0, 1, 0, 1});
    scene.render();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    // Unrounded position: the quad spans x 8.5 to 12.5, y 9.5 to 11.5.
    EXPECT_TRUE(pixelIs(9, 10, kGreen));
    EXPECT_TRUE(pixelIs(12, 10, kBlack));
    EXPECT_EQ(countLitPixels(), 8);
    (void)node;
}

TEST_F(SGDraw, OrthographicSpaceSetsProjectionAndRestoresIt) {
    auto* ortho = static_cast<SGOrtho2DSpace*>(scene.createSpace(SGOrtho2DSpaceClass));
    ortho->width.setValue(480);
    ortho->height.setValue(320);
    ortho->nearPlane.setValue(-1);
    ortho->farPlane.setValue(1);
    const auto before = matrix(GL_PROJECTION_MATRIX);
    ortho->willRender();
    const auto projection = matrix(GL_PROJECTION_MATRIX);
    const auto modelView = matrix(GL_MODELVIEW_MATRIX);
    ortho->didRender();
    EXPECT_NEAR(projection[0], 2.0f / 480, 1e-6);
    EXPECT_NEAR(projection[5], 2.0f / 320, 1e-6);
    EXPECT_NEAR(projection[12], -1.0f, 1e-6);
    EXPECT_NEAR(projection[13], -1.0f, 1e-6);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(modelView[i], i % 5 == 0 ? 1.0f : 0.0f, 1e-5) << i;
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), before);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    // A model rotation of 90 degrees turns about the box's centre (240, 160).
    ortho->modelRotation.setValue(90);
    ortho->willRender();
    const auto rotated = matrix(GL_MODELVIEW_MATRIX);
    ortho->didRender();
    EXPECT_NEAR(rotated[12], 240 + 160, 1e-3);
    EXPECT_NEAR(rotated[13], 160 - 240, 1e-3);
}

TEST_F(SGDraw, OrthographicSpaceScalesItsContent) {
    auto* ortho = static_cast<SGOrtho2DSpace*>(scene.createSpace(SGOrtho2DSpaceClass));
    ortho->width.setValue(32);
    ortho->height.setValue(32);
    ortho->nearPlane.setValue(-1);
    ortho->farPlane.setValue(1);
    sprite(*ortho, 8, 8, 16, 16, {1, 0, 0, 1});  // the lower-left quarter of the box
    scene.render();
    EXPECT_TRUE(pixelIs(1, 1, kRed));
    EXPECT_TRUE(pixelIs(30, 30, kRed));
    EXPECT_TRUE(pixelIs(33, 33, kBlack));
}

TEST_F(SGDraw, StretchedTextureFillsTheRoundedQuad) {
    SGSpriteNode* node = sprite(space, 20.7f, 20.2f, 16, 16);
    node->image.setValue(makeTexture(2, 2, quadrants, false));
    scene.render();
    // floor(20.7) = 20: the quad spans 12 to 28 on both axes.
    EXPECT_TRUE(pixelIs(12, 12, kRed));
    EXPECT_TRUE(pixelIs(27, 12, kGreen));
    EXPECT_TRUE(pixelIs(12, 27, kBlue));
    EXPECT_TRUE(pixelIs(27, 27, kWhite));
    EXPECT_TRUE(pixelIs(11, 12, kBlack));
    EXPECT_TRUE(pixelIs(28, 28, kBlack));
}

TEST_F(SGDraw, FlippedImageDrawsMirrored) {
    SGSpriteNode* node = sprite(space, 20, 20, 16, 16);
    SGImage image = makeTexture(2, 2, quadrants, false);
    image.textureRect.flipHorizontally();
    node->image.setValue(image);
    scene.render();
    EXPECT_TRUE(pixelIs(12, 12, kGreen));
    EXPECT_TRUE(pixelIs(27, 12, kRed));
}

TEST_F(SGDraw, FixedWidthCropsByAnchorOrShrinksToThePicture) {
    const SGImage image = makeTexture(16, 16, redGreen, false);
    const std::pair<int32_t, std::pair<Pixel, Pixel>> anchors[] = {
        {SGAnchorFirst, {kRed, kRed}}, {SGAnchorCentre, {kRed, kGreen}},
        {SGAnchorSecond, {kGreen, kGreen}}};
    for (const auto& [anchor, colours] : anchors) {
        SGSpriteNode* node = sprite(space, 32, 32, 8, 16);
        node->image.setValue(image);
        node->horizontalWrapping.setValue(SGWrapFixed);
        node->horizontalAnchor.setValue(anchor);
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();
        EXPECT_TRUE(pixelIs(28, 32, colours.first)) << anchor;
        EXPECT_TRUE(pixelIs(35, 32, colours.second)) << anchor;
        EXPECT_EQ(countLitPixels(), 8 * 16) << anchor;
        space.removeNode(node);
    }
    SGSpriteNode* wide = sprite(space, 32, 32, 40, 4);
    wide->image.setValue(image);
    wide->horizontalWrapping.setValue(SGWrapFixed);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_EQ(countLitPixels(), 16 * 4) << "the quad shrinks to the picture's 16 pixels";
    EXPECT_TRUE(pixelIs(24, 32, kRed));
    EXPECT_TRUE(pixelIs(39, 32, kGreen));
}

TEST_F(SGDraw, TiledSpriteCropsTheLastColumnAndRow) {
    SGSpriteNode* node = sprite(space, 50, 25, 100, 50);
    node->image.setValue(makeTexture(16, 16, redGreen, false));
    node->horizontalWrapping.setValue(SGWrapTile);
    node->verticalWrapping.setValue(SGWrapTile);
    node->tileWidth.setValue(32);
    node->tileHeight.setValue(32);
    scene.render();
    const auto* tiled = dynamic_cast<const SGTiledSpriteRenderer*>(node->renderer());
    ASSERT_NE(tiled, nullptr);
    ASSERT_EQ(tiled->vertexCount(), 48);
    // The last column (fourth, after the two rows of each column) is 4 wide and shows 4/32
    // of the tile's texture width.
    const std::vector<float>& v = tiled->vertexArray();
    const size_t lastColumn = 3 * 2 * 6 * 4;
    EXPECT_FLOAT_EQ(v[lastColumn + 0], 96.0f);
    EXPECT_FLOAT_EQ(v[lastColumn + 4], 100.0f);
    EXPECT_FLOAT_EQ(v[lastColumn + 6], 4.0f / 32.0f);
    // The second row is 18 high.
    EXPECT_FLOAT_EQ(v[6 * 4 + 1], 32.0f);
    EXPECT_FLOAT_EQ(v[6 * 4 + 5 * 4 + 1], 50.0f);
}

TEST_F(SGDraw, TiledSpriteRepeatsTheTexture) {
    SGSpriteNode* node = sprite(space, 20, 8, 40, 16);
    node->image.setValue(makeTexture(16, 16, redGreen, false));
    node->horizontalWrapping.setValue(SGWrapTile);
    node->tileWidth.setValue(16);
    scene.render();
    // Quad from x 0 to 40: tiles at 0, 16, 32 (the last one 8 wide, anchored left: red).
    EXPECT_TRUE(pixelIs(1, 4, kRed));
    EXPECT_TRUE(pixelIs(12, 4, kGreen));
    EXPECT_TRUE(pixelIs(17, 4, kRed));
    EXPECT_TRUE(pixelIs(28, 4, kGreen));
    EXPECT_TRUE(pixelIs(39, 4, kRed));
    EXPECT_TRUE(pixelIs(41, 4, kBlack));
}

TEST_F(SGDraw, TileSizeZeroDrawsNothingAndAnchorChangesRebuild) {
    SGSpriteNode* node = sprite(space, 20, 8, 40, 16);
    node->image.setValue(makeTexture(16, 16, redGreen, false));
    node->horizontalWrapping.setValue(SGWrapTile);
    node->verticalWrapping.setValue(SGWrapTile);
    node->tileWidth.setValue(0);
    node->tileHeight.setValue(-3);
    scene.render();
    EXPECT_EQ(countLitPixels(), 0);
    node->tileWidth.setValue(16);
    node->tileHeight.setValue(16);
    scene.render();
    EXPECT_TRUE(pixelIs(39, 4, kRed));
    node->horizontalAnchor.setValue(SGAnchorSecond);
    scene.render();
    EXPECT_TRUE(pixelIs(39, 4, kGreen)) << "the last column follows the new anchor";
    node->width.setValue(1e9f);
    node->tileWidth.setValue(1);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    const auto* tiled = dynamic_cast<const SGTiledSpriteRenderer*>(node->renderer());
    ASSERT_NE(tiled, nullptr);
    EXPECT_EQ(tiled->vertexCount(), 0) << "an unreasonable tile count draws nothing";
    EXPECT_EQ(countLitPixels(), 0);
}

TEST_F(SGDraw, BlendModesForStraightAndPremultipliedTextures) {
    // Texel (1, 1, 1, 0.5) and colour (1, 1, 1, 0.5): straight alpha scales by the source
    // alpha (0.25), a premultiplied texture takes the colour as it is (0.5).
    SGSpriteNode* straight = sprite(space, 16, 32, 8, 8, {1, 1, 1, 0.5f});
    straight->image.setValue(makeTexture(1, 1, halfWhite, false));
    SGSpriteNode* premultiplied = sprite(space, 48, 32, 8, 8, {1, 1, 1, 0.5f});
    premultiplied->image.setValue(makeTexture(1, 1, halfWhite, true));
    scene.render();
    EXPECT_NEAR(pixel(16, 32)[0], 64, 2);
    EXPECT_NEAR(pixel(48, 32)[0], 128, 2);
    const std::array<GLint, 2> restored{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    EXPECT_EQ(blendFactors(), restored);

    // Additive (mode 2) on a grey background adds instead of mixing.
    straight->blendingMode.setValue(SGBlendAdditive);
    premultiplied->blendingMode.setValue(SGBlendReplace);
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_NEAR(pixel(16, 32)[0], 128 + 64, 3);
    EXPECT_NEAR(pixel(48, 32)[0], 128, 2) << "replace ignores the background";
    EXPECT_EQ(blendFactors(), restored);
}

TEST_F(SGDraw, PremultipliedColourIsScaledByAlpha) {
    SGSpriteNode* node = sprite(space, 8, 8, 4, 4, {1, 0.5f, 0.5f, 0.5f});
    node->image.setValue(makeTexture(1, 1, [](int, int) { return kWhite; }, true));
    scene.render();
    std::array<float, 4> colour{};
    glGetFloatv(GL_CURRENT_COLOR, colour.data());
    EXPECT_NEAR(colour[0], 0.5f, 1e-6);
    EXPECT_NEAR(colour[1], 0.25f, 1e-6);
    EXPECT_NEAR(colour[3], 0.5f, 1e-6);
}

TEST_F(SGDraw, CleanSpriteRedrawsFromItsCache) {
    SGSpriteNode* node = sprite(space, 8, 8, 4, 4, {1, 0, 0, 1});
    scene.render();
    // Written without marking: the clean sprite keeps drawing what it cached.
    node->color.value = {0, 0, 1, 1};
    node->x.value = 40;
    scene.render();
    EXPECT_TRUE(pixelIs(8, 8, kRed));
    EXPECT_TRUE(pixelIs(40, 8, kBlack));
    node->x.setValue(40.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_TRUE(pixelIs(40, 8, kBlue));
}

TEST_F(SGDraw, CleanSpriteDoesNotReadItsPorts) {
    auto* upstream = new SGDoublingNode;
    upstream->input.setValue(10.0f);
    SGSpriteNode* node = sprite(space, 0, 8, 4, 4);
    node->x.setValue(&upstream->output);
    upstream->release();
    scene.render();
    EXPECT_EQ(upstream->computeCount, 1);
    EXPECT_TRUE(pixelIs(20, 8, kWhite));
    upstream->dirty = true;  // dirty without telling the sprite: a read would compute it
    scene.render();
    EXPECT_EQ(upstream->computeCount, 1);
}

TEST_F(SGDraw, AngleRotatesAboutTheCentre) {
    SGSpriteNode* node = sprite(space, 32, 32, 20, 4, {0, 1, 0, 1});
    node->angle.setValue(90);
    scene.render();
    EXPECT_TRUE(pixelIs(32, 40, kGreen));
    EXPECT_TRUE(pixelIs(40, 32, kBlack));
    EXPECT_EQ(countLitPixels(), 80);
}

TEST_F(SGDraw, MultiplyAndScreenBlendModes) {
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SGSpriteNode* multiply = sprite(space, 16, 32, 8, 8, {0.5f, 0.5f, 0.5f, 1});
    multiply->blendingMode.setValue(SGBlendMultiply);
    SGSpriteNode* screen = sprite(space, 48, 32, 8, 8, {0.5f, 0.5f, 0.5f, 1});
    screen->blendingMode.setValue(SGBlendScreen);
    scene.render();
    EXPECT_NEAR(pixel(16, 32)[0], 64, 2);        // 0.5 × 0.5
    EXPECT_NEAR(pixel(48, 32)[0], 191, 2);       // 0.5 + 0.5 × (1 - 0.5)
}

TEST_F(SGDraw, FixedHeightCropsByAnchor) {
    // Rows: bottom half red, top half green.
    const SGImage image = makeTexture(16, 16, [](int, int y) { return y < 8 ? kRed : kGreen; },
                                      false);
    SGSpriteNode* node = sprite(space, 32, 32, 16, 8);
    node->image.setValue(image);
    node->verticalWrapping.setValue(SGWrapFixed);
    node->verticalAnchor.setValue(SGAnchorSecond);
    scene.render();
    EXPECT_TRUE(pixelIs(32, 29, kGreen));
    EXPECT_TRUE(pixelIs(32, 34, kGreen));
    EXPECT_EQ(countLitPixels(), 16 * 8);
}

TEST_F(SGDraw, OneDirectionTilingWithAFixedOtherAxis) {
    const SGImage image = makeTexture(16, 16, redGreen, false);
    SGSpriteNode* across = sprite(space, 20, 20, 40, 40);
    across->image.setValue(image);
    across->horizontalWrapping.setValue(SGWrapTile);
    across->verticalWrapping.setValue(SGWrapFixed);
    across->tileWidth.setValue(16);
    SGSpriteNode* upward = sprite(space, 50, 20, 8, 40);
    upward->image.setValue(image);
    upward->horizontalWrapping.setValue(SGWrapFixed);
    upward->horizontalAnchor.setValue(SGAnchorSecond);
    upward->verticalWrapping.setValue(SGWrapTile);
    upward->tileHeight.setValue(16);
    scene.render();
    const auto* h = dynamic_cast<const SGTiledSpriteRenderer*>(across->renderer());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->vertexCount(), 3 * 6);
    EXPECT_FLOAT_EQ(h->vertexArray()[4 * 5 + 1], 16.0f) << "the band shrinks to the picture";
    const auto* v = dynamic_cast<const SGTiledSpriteRenderer*>(upward->renderer());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->vertexCount(), 3 * 6);
    EXPECT_FLOAT_EQ(v->vertexArray()[4 * 5 + 0], 8.0f);
    EXPECT_FLOAT_EQ(v->vertexArray()[2], 0.5f) << "cropped to the right half";
    EXPECT_TRUE(pixelIs(48, 10, kGreen));
    EXPECT_TRUE(pixelIs(2, 20, kRed));
    EXPECT_TRUE(pixelIs(2, 29, kBlack)) << "16 high, centred at 20";
}

TEST_F(SGDraw, RendererChangesOnlyWhenTheTextureComesOrGoes) {
    SGSpriteNode* node = sprite(space, 8, 8, 4, 4);
    scene.render();
    const SGSpriteRenderer* coloured = node->renderer();
    node->horizontalWrapping.setValue(SGWrapTile);
    scene.render();
    EXPECT_EQ(node->renderer(), coloured);
    node->image.setValue(makeTexture(1, 1, [](int, int) { return kWhite; }, false));
    scene.render();
    const SGSpriteRenderer* tiled = node->renderer();
    EXPECT_NE(dynamic_cast<const SGTiledSpriteRenderer*>(tiled), nullptr);
    node->horizontalWrapping.setValue(SGWrapStretch);
    scene.render();
    EXPECT_EQ(node->renderer(), tiled) << "wrapping changes alone keep the renderer";
    node->image.setValue(SGImageNull);
    scene.render();
    EXPECT_EQ(dynamic_cast<const SGTiledSpriteRenderer*>(node->renderer()), nullptr);
}

TEST_F(SGDraw, FreeImageDeletesTheTexture) {
    SGImage image = SGImageNull;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    image.textureName = name;
    ASSERT_TRUE(glIsTexture(name));
    image.freeImage();
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(image.textureName, name);
}

TEST_F(SGDraw, InitialStateOverlaysDrawAtHalfAlpha) {
    SGScene initial(nullptr, nullptr);
    SGSpace* overlay = initial.createSpace(SGSpaceClass);
    sprite(*overlay, 16, 32, 8, 8);
    sprite(initial.defaultSpace, 32, 8, 8, 8);  // the initial default space is not drawn
    SGSpace* own = scene.createSpace(SGSpaceClass);
    sprite(*own, 48, 32, 8, 8);
    scene.createSpace(SGSpaceClass);  // a second space without an overlay
    scene.renderWithInitialState(initial);
    EXPECT_NEAR(pixel(16, 32)[0], 128, 2);
    EXPECT_TRUE(pixelIs(48, 32, kWhite));
    EXPECT_TRUE(pixelIs(32, 8, kBlack));
    EXPECT_EQ(SGAlphaScaleFactor, 1.0f);
}

TEST_F(SGDraw, ClearNodeWipesWhatWasDrawnBeforeIt) {
    SGSpriteNode* before = sprite(space, 8, 8, 4, 4, {1, 0, 0, 1});
    auto* clear = static_cast<SGClearNode*>(space.createNode(SGClearNodeClass));
    clear->color.setValue(SGColor{0, 0, 1, 1});
    sprite(space, 40, 40, 4, 4, {1, 0, 0, 1});
    scene.render();
    EXPECT_TRUE(pixelIs(8, 8, kBlue));
    EXPECT_TRUE(pixelIs(40, 40, kRed));
    (void)before;
}

TEST_F(SGDraw, ReplicatorDrawsCopiesAlongItsAngle) {
    auto* replicator = static_cast<SGReplicatorNode*>(space.createNode(SGReplicatorSpaceClass));
    sprite(*replicator, 5, 5, 4, 4);
    replicator->spacing.setValue(10);
    replicator->copies.setValue(3);
    const auto before = matrix(GL_MODELVIEW_MATRIX);
    scene.render();
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), before);
    for (int x : {5, 15, 25}) EXPECT_TRUE(pixelIs(x, 5, kWhite)) << x;
    EXPECT_EQ(countLitPixels(), 3 * 16);
    replicator->angle.setValue(90);
    replicator->copies.setValue(2);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_TRUE(pixelIs(5, 15, kWhite));
    EXPECT_EQ(countLitPixels(), 2 * 16);
    for (int32_t none : {0, SGReplicatorNode::kMaxCopies + 1, 2147483647}) {
        replicator->copies.setValue(none);
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();  // an unreasonable count returns at once instead of drawing for hours
        EXPECT_EQ(countLitPixels(), 0) << none;
    }
}

// A read nested too deep ends the frame with an exception; the spaces it unwinds through
// still pop the matrices they pushed.
TEST_F(SGDraw, ReadTooDeepDuringDrawingLeavesTheMatrixStacksBalanced) {
    auto* ortho = static_cast<SGOrtho2DSpace*>(scene.createSpace(SGOrtho2DSpaceClass));
    ortho->width.setValue(64);
    ortho->height.setValue(64);
    ortho->farPlane.setValue(1);
    auto* replicator = static_cast<SGReplicatorNode*>(ortho->createNode(SGReplicatorSpaceClass));
    auto* wrap = static_cast<SGWrapNode*>(replicator->createNode(SGWrapSpaceClass));
    wrap->wrapX.setValue(true);
    SGSpriteNode* node = sprite(*wrap, 5, 5, 4, 4);
    auto* chain = new SGDoublingNode;
    for (int i = 0; i < SGPort::kMaxReadDepth; ++i) {
        auto* next = new SGDoublingNode;
        next->input.setValue(&chain->output);
        chain->release();
        chain = next;
    }
    node->x.setValue(&chain->output);
    chain->release();
    GLint modelView = 0;
    GLint projection = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelView);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projection);
    EXPECT_THROW(scene.render(), std::runtime_error);
    EXPECT_TRUE(node->dirty) << "the sprite reads its ports again next time";
    SGScene later(nullptr, nullptr);
    later.createSpace(SGSpaceClass);
    EXPECT_THROW(later.renderWithInitialState(scene), std::runtime_error);
    EXPECT_EQ(SGAlphaScaleFactor, 1.0f) << "the overlay's half alpha is undone";
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelView);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projection);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SGDraw, WrapSpaceCopiesTowardTheOtherHalf) {
    auto* wrap = static_cast<SGWrapNode*>(space.createNode(SGWrapSpaceClass));
    sprite(*wrap, 10, 10, 4, 4);
    wrap->wrapWidth.setValue(40);
    wrap->wrapHeight.setValue(40);
    wrap->x.setValue(10);
    wrap->y.setValue(10);
    wrap->wrapX.setValue(true);
    scene.render();
    EXPECT_TRUE(pixelIs(10, 10, kWhite));
    EXPECT_TRUE(pixelIs(50, 10, kWhite));
    EXPECT_EQ(countLitPixels(), 2 * 16);
    wrap->wrapY.setValue(true);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_TRUE(pixelIs(10, 50, kWhite));
    EXPECT_TRUE(pixelIs(50, 50, kWhite));
    EXPECT_EQ(countLitPixels(), 4 * 16);
    wrap->x.setValue(30);  // the right half: the copy goes one width to the left
    glClear(GL_COLOR_BUFFER_BIT);
    wrap->wrapY.setValue(false);
    scene.render();
    EXPECT_EQ(countLitPixels(), 16) << "the copy at -30 is off the surface";
}

class SGParticleDraw : public SGDraw {
protected:
    SGParticleSystemNode* system(int count) {
        auto* node = static_cast<SGParticleSystemNode*>(space.createNode(SGParticleSystemNodeClass));
        node->numParticles.setValue(count);
        node->spawnParticles.setValue(true);
        node->x.setValue(32);
        node->y.setValue(20);
        node->size.setValue(4);
        node->sizeTarget.setValue(4);
        node->lifetime.setValue(4);
        return node;
    }
    void frame(SGParticleSystemNode* node, float t) {
        node->time.setValue(t);
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();
    }
};

TEST_F(SGParticleDraw, ParticleFollowsGravityFromItsBirth) {
    SGParticleSystemNode* node = system(1);
    node->direction.setValue(90);
    node->speed.setValue(10);
    node->gravityY.setValue(-10);
    frame(node, 0.5f);  // emitted now, age 0: not drawn
    EXPECT_EQ(countLitPixels(), 0);
    const SGParticle& p = node->particles()[0];
    EXPECT_EQ(p.alive, 1);
    EXPECT_GE(p.lifetime, 2.0f);
    EXPECT_LE(p.lifetime, 4.0f);
    frame(node, 1.5f);  // age 1: (32, 20 + 10 - 5)
    EXPECT_TRUE(pixelIs(32, 25, kWhite));
    EXPECT_TRUE(pixelIs(32, 20, kBlack));
    EXPECT_EQ(countLitPixels(), 16);
}

TEST_F(SGParticleDraw, SizeAndColourMoveTowardTheirTargets) {
    SGParticleSystemNode* node = system(1);
    node->size.setValue(10);
    node->sizeTarget.setValue(20);
    node->sizeTransitionTime.setValue(2);
    frame(node, 0.25f);
    frame(node, 1.25f);
    EXPECT_EQ(countLitPixels(), 15 * 15);
    node->colorTarget.setValue(SGColor{1, 1, 1, 0});
    node->colorTransitionTime.setValue(1);
    node->sizeTarget.setValue(10);
    frame(node, 2.0f);  // a new particle's colour time is taken at emission: the old one has 0
    EXPECT_TRUE(pixelIs(32, 20, kBlack)) << "transition time 0 reaches the target at once";
}

TEST_F(SGParticleDraw, SpawningOffLetsTheSystemDieOut) {
    SGParticleSystemNode* node = system(4);
    node->lifetime.setValue(1);
    node->colorTransitionTime.setValue(1);
    node->colorTarget.setValue(SGColor{1, 1, 1, 0});
    frame(node, 0.1f);
    frame(node, 0.6f);  // age 0.5: alpha 0.5 on every particle, all at the same place
    EXPECT_NEAR(pixel(32, 20)[0], 255 - 255 / 16, 8);
    node->spawnParticles.setValue(false);
    frame(node, 1.2f);  // every particle lived at most 1 second
    EXPECT_EQ(countLitPixels(), 0);
    frame(node, 5.0f);
    EXPECT_EQ(countLitPixels(), 0);
}

TEST_F(SGParticleDraw, OversizedPoolDrawsNothing) {
    SGParticleSystemNode* node = system(2000000);
    testing::internal::CaptureStdout();
    frame(node, 1.0f);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("particles"), std::string::npos);
    EXPECT_TRUE(node->hasPool());
    EXPECT_TRUE(node->particles().empty());
    EXPECT_EQ(countLitPixels(), 0);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

}  // namespace
