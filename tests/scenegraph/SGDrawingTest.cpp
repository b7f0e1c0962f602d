// Drawing tests on the off-screen context: pixels, matrices and blend state read back after
// spaces, sprites, value and utility nodes and particle systems draw.
#include <algorithm>
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
#include "nodes/spriteRenderers/SGSpriteBatcher.h"
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
Pixel white(int, int) { return kWhite; }
// Rows: bottom half red, top half green.
Pixel redBelowGreen(int, int y) { return y < 8 ? kRed : kGreen; }
// A 32 × 16 atlas of four 8-pixel stripes: red, green, blue, white.
Pixel stripes(int x, int) { return x < 8 ? kRed : x < 16 ? kGreen : x < 24 ? kBlue : kWhite; }
constexpr SGTextureRect kBlueWhite{0.5f, 0, 1, 1};  // the atlas's right half
constexpr SGTextureRect kWhiteBlue{1, 0, 0.5f, 1};  // the same, flipped horizontally

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
    sprite(space, 10.5f, 10.5f, 4, 2, {0, 1, 0, 1});
    scene.render();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    // Unrounded position: the quad spans x 8.5 to 12.5, y 9.5 to 11.5.
    EXPECT_TRUE(pixelIs(9, 10, kGreen));
    EXPECT_TRUE(pixelIs(12, 10, kBlack));
    EXPECT_EQ(countLitPixels(), 8);
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
    for (const auto& [i, value] : {std::pair{0, 2.0f / 480}, {5, 2.0f / 320}, {12, -1.0f}, {13, -1.0f}}) {
        EXPECT_NEAR(projection[i], value, 1e-6) << i;
    }
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

TEST_F(SGDraw, OrthographicSpaceScalesAndTurnsItsContent) {
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
    // The view rotation turns the whole view about the screen's centre, a quarter turn
    // counter-clockwise: the lower-left quarter goes to the lower right.
    ortho->viewRotation.setValue(90);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_TRUE(pixelIs(33, 1, kRed));
    EXPECT_TRUE(pixelIs(62, 30, kRed));
    EXPECT_TRUE(pixelIs(30, 30, kBlack));
    EXPECT_EQ(countLitPixels(), 32 * 32);
}

TEST_F(SGDraw, StretchedTextureFillsTheRoundedQuadMirroredWhenFlipped) {
    SGSpriteNode* node = sprite(space, 20.7f, 20.2f, 16, 16);
    SGImage image = makeTexture(2, 2, quadrants, false);
    node->image.setValue(image);
    scene.render();
    // floor(20.7) = 20: the quad spans 12 to 28 on both axes.
    EXPECT_TRUE(pixelIs(12, 12, kRed) && pixelIs(27, 12, kGreen) && pixelIs(12, 27, kBlue) && pixelIs(27, 27, kWhite));
    EXPECT_TRUE(pixelIs(11, 12, kBlack) && pixelIs(28, 28, kBlack));
    image.textureRect.flipHorizontally();
    node->image.setValue(image);
    scene.render();
    EXPECT_TRUE(pixelIs(12, 12, kGreen) && pixelIs(27, 12, kRed));
}

// An 8-pixel-wide sprite of a 16-pixel picture: the whole texture, or the right half of the
// stripe atlas, plain or flipped.
TEST_F(SGDraw, FixedWidthCropsByAnchorOrShrinksToThePicture) {
    const SGImage whole = makeTexture(16, 16, redGreen, false);
    SGImage atlas = makeTexture(32, 16, stripes, false);
    struct Case {
        SGTextureRect rect;
        int32_t anchor;
        Pixel left, right;
    };
    const Case cases[] = {
        {whole.textureRect, SGAnchorFirst, kRed, kRed}, {whole.textureRect, SGAnchorCentre, kRed, kGreen},
        {whole.textureRect, SGAnchorSecond, kGreen, kGreen}, {kBlueWhite, SGAnchorFirst, kBlue, kBlue},
        {kBlueWhite, SGAnchorCentre, kBlue, kWhite}, {kWhiteBlue, SGAnchorFirst, kWhite, kWhite},
        {kWhiteBlue, SGAnchorSecond, kBlue, kBlue}};
    for (const Case& c : cases) {
        SGSpriteNode* node = sprite(space, 32, 32, 8, 16);
        SGImage image = c.rect.s0 == 0 && c.rect.s1 == 1 ? whole : atlas;
        image.textureRect = c.rect;
        node->image.setValue(image);
        node->horizontalWrapping.setValue(SGWrapFixed);
        node->horizontalAnchor.setValue(c.anchor);
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();
        EXPECT_TRUE(pixelIs(28, 32, c.left) && pixelIs(35, 32, c.right)) << c.rect.s0 << " " << c.anchor;
        EXPECT_EQ(countLitPixels(), 8 * 16);
        space.removeNode(node);
    }
    SGSpriteNode* wide = sprite(space, 32, 32, 40, 4);
    atlas.textureRect = kBlueWhite;
    wide->image.setValue(atlas);
    wide->horizontalWrapping.setValue(SGWrapFixed);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_EQ(countLitPixels(), 16 * 4) << "the quad shrinks to the atlas picture's 16 pixels";
    EXPECT_TRUE(pixelIs(24, 32, kBlue));
    EXPECT_TRUE(pixelIs(39, 32, kWhite));
}

// 16 × 16 tiles along x (a 40 × 16 sprite) or along both axes (16 × 40): whole pictures, then
// a last tile cropped by its anchor, for whole textures, atlas pictures and flipped ones.
TEST_F(SGDraw, TiledSpritesRepeatAndCropTheLastTileByItsAnchor) {
    const SGImage columns = makeTexture(16, 16, redGreen, false);
    const SGImage rows = makeTexture(16, 16, redBelowGreen, false);
    const SGImage atlas = makeTexture(32, 16, stripes, false);
    struct Probe {
        int x, y;
        Pixel colour;
    };
    struct Case {
        const char* name;
        SGImage image;
        SGTextureRect rect;
        bool bothAxes;
        int32_t anchor;  // of the axis whose last tile is cropped
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"along x", columns, {0, 0, 1, 1}, false, SGAnchorFirst,
         {{1, 4, kRed}, {12, 4, kGreen}, {17, 4, kRed}, {28, 4, kGreen}, {39, 4, kRed}, {41, 4, kBlack}}},
        {"along x, anchored second", columns, {0, 0, 1, 1}, false, SGAnchorSecond, {{28, 4, kGreen}, {39, 4, kGreen}}},
        {"atlas along x", atlas, kBlueWhite, false, SGAnchorFirst, {{1, 4, kBlue}, {12, 4, kWhite}, {39, 4, kBlue}}},
        {"flipped atlas along x", atlas, kWhiteBlue, false, SGAnchorFirst,
         {{1, 4, kWhite}, {12, 4, kBlue}, {39, 4, kWhite}}},
        {"both axes", rows, {0, 0, 1, 1}, true, SGAnchorFirst,
         {{4, 4, kRed}, {4, 12, kGreen}, {4, 20, kRed}, {4, 36, kRed}, {4, 41, kBlack}, {17, 4, kBlack}}},
        {"both axes, anchored second", rows, {0, 0, 1, 1}, true, SGAnchorSecond, {{4, 12, kGreen}, {4, 36, kGreen}}},
        {"both axes, flipped", rows, {0, 1, 1, 0}, true, SGAnchorFirst, {{4, 4, kGreen}, {4, 12, kRed}, {4, 36, kGreen}}},
        {"atlas on both axes", atlas, kBlueWhite, true, SGAnchorSecond, {{4, 36, kBlue}, {12, 36, kWhite}}},
    };
    for (const Case& c : cases) {
        SGSpriteNode* node = c.bothAxes ? sprite(space, 8, 20, 16, 40) : sprite(space, 20, 8, 40, 16);
        SGImage image = c.image;
        image.textureRect = c.rect;
        node->image.setValue(image);
        node->horizontalWrapping.setValue(SGWrapTile);
        node->tileWidth.setValue(16);
        node->tileHeight.setValue(16);
        if (c.bothAxes) {
            node->verticalWrapping.setValue(SGWrapTile);
            node->verticalAnchor.setValue(c.anchor);
        } else {
            node->horizontalAnchor.setValue(c.anchor);
        }
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();
        for (const Probe& p : c.probes) EXPECT_TRUE(pixelIs(p.x, p.y, p.colour)) << c.name << " at " << p.x << ", " << p.y;
        space.removeNode(node);
    }

    // Tile sizes that cannot tile draw nothing; the cached tiles follow a new anchor.
    SGSpriteNode* node = sprite(space, 20, 8, 40, 16);
    node->image.setValue(columns);
    node->horizontalWrapping.setValue(SGWrapTile);
    node->verticalWrapping.setValue(SGWrapTile);
    node->tileWidth.setValue(0);
    node->tileHeight.setValue(-3);
    glClear(GL_COLOR_BUFFER_BIT);
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

// One 8 × 8 sprite on black or on grey: the red channel drawn, and the blend function left
// as the host expects it afterwards.
TEST_F(SGDraw, BlendModesForStraightAndPremultipliedColours) {
    enum Texture { None, HalfWhite, PremultipliedHalfWhite, PremultipliedWhite };
    struct Case {
        const char* name;
        Texture texture;
        SGColor colour;
        int32_t mode;
        float background;
        int red, green;
    };
    const Case cases[] = {
        {"straight alpha scales by the source alpha", HalfWhite, {1, 1, 1, 0.5f}, SGBlendNormal, 0, 64, 64},
        {"premultiplied takes the colour as it is", PremultipliedHalfWhite, {1, 1, 1, 0.5f}, SGBlendNormal, 0, 128, 128},
        {"premultiplied colour scaled by its alpha", PremultipliedWhite, {1, 0.5f, 0.5f, 0.5f}, SGBlendNormal, 0, 128, 64},
        {"additive adds to the background", HalfWhite, {1, 1, 1, 0.5f}, SGBlendAdditive, 0.5f, 128 + 64, 128 + 64},
        {"replace ignores the background", PremultipliedHalfWhite, {1, 1, 1, 0.5f}, SGBlendReplace, 0.5f, 128, 128},
        {"multiply", None, {0.5f, 0.5f, 0.5f, 1}, SGBlendMultiply, 0.5f, 64, 64},
        {"screen", None, {0.5f, 0.5f, 0.5f, 1}, SGBlendScreen, 0.5f, 191, 191},
    };
    const SGImage textures[] = {SGImageNull, makeTexture(1, 1, halfWhite, false), makeTexture(1, 1, halfWhite, true),
                                makeTexture(1, 1, white, true)};
    for (const Case& c : cases) {
        SGSpriteNode* node = sprite(space, 32, 32, 8, 8, c.colour);
        node->image.setValue(textures[c.texture]);
        node->blendingMode.setValue(c.mode);
        glClearColor(c.background, c.background, c.background, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        scene.render();
        EXPECT_NEAR(pixel(32, 32)[0], c.red, 3) << c.name;
        EXPECT_NEAR(pixel(32, 32)[1], c.green, 3) << c.name;
        EXPECT_EQ(blendFactors(), (std::array<GLint, 2>{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA})) << c.name;
        space.removeNode(node);
    }
}

// Consecutive sprites, tiled sprites and particles that share texturing, texture and blend
// function are drawn with one call; anything else between them starts another. The batcher's
// counters follow the calls, the sprite nodes drawn and the time spent rendering.
TEST_F(SGDraw, RunsSharingTextureAndBlendDrawWithOneCall) {
    const SGImage a = makeTexture(1, 1, white, true);
    const SGImage b = makeTexture(1, 1, white, true);
    enum Item { Plain, TextureA, TextureB, AdditiveA, TiledA, ParticlesA, Clear, NestedPlain };
    struct Case {
        const char* name;
        std::vector<Item> items;
        uint64_t calls;
    };
    const Case cases[] = {
        {"plain sprites", {Plain, Plain, Plain, Plain}, 1},
        {"one texture, tiled and particles too", {TextureA, TiledA, ParticlesA, TextureA}, 1},
        {"textures alternate", {TextureA, TextureB, TextureA, TextureB}, 4},
        {"texturing comes and goes", {Plain, TextureA, Plain}, 3},
        {"the blend function changes", {TextureA, AdditiveA, AdditiveA, TextureA}, 3},
        {"a clear node between", {Plain, Clear, Plain}, 2},
        {"a nested space between", {Plain, NestedPlain, Plain}, 3},
    };
    for (const Case& c : cases) {
        SGScene local(nullptr, nullptr);
        std::vector<SGParticleSystemNode*> systems;
        for (Item item : c.items) {
            SGSpace& at = item == NestedPlain
                              ? *static_cast<SGSpace*>(local.defaultSpace.createNode(SGSpaceClass))
                              : local.defaultSpace;
            if (item == Clear) {
                at.createNode(SGClearNodeClass);
            } else if (item == ParticlesA) {
                auto* node = static_cast<SGParticleSystemNode*>(at.createNode(SGParticleSystemNodeClass));
                node->numParticles.setValue(3);
                node->spawnParticles.setValue(true);
                node->lifetime.setValue(4);
                node->size.setValue(2);
                node->image.setValue(a);
                node->time.setValue(0.5f);
                systems.push_back(node);
            } else {
                SGSpriteNode* node = sprite(at, 8, 8, 2, 2);
                if (item != Plain && item != NestedPlain) node->image.setValue(item == TextureB ? b : a);
                if (item == AdditiveA) node->blendingMode.setValue(SGBlendAdditive);
                if (item == TiledA) {
                    node->horizontalWrapping.setValue(SGWrapTile);
                    node->verticalWrapping.setValue(SGWrapTile);
                    node->tileWidth.setValue(1);
                    node->tileHeight.setValue(1);
                }
            }
        }
        local.render();  // particles emitted now are drawn from the next frame on
        for (SGParticleSystemNode* system : systems) system->time.setValue(1.0f);
        const SGDrawCounters before = SGSpriteBatcher::shared().counters();
        local.render();
        const SGDrawCounters& after = SGSpriteBatcher::shared().counters();
        EXPECT_EQ(after.drawCalls - before.drawCalls, c.calls) << c.name;
        // Each sprite node counts once, a tiled one too; particles and clears are no sprites.
        const auto sprites = std::count_if(c.items.begin(), c.items.end(),
                                           [](Item item) { return item != Clear && item != ParticlesA; });
        EXPECT_EQ(after.sprites - before.sprites, static_cast<uint64_t>(sprites)) << c.name;
        EXPECT_GT(after.renderSeconds, before.renderSeconds) << c.name;
    }
}

TEST_F(SGDraw, CleanSpriteRedrawsFromItsCacheWithoutReadingItsPorts) {
    auto* upstream = new SGDoublingNode;
    upstream->input.setValue(4.0f);
    SGSpriteNode* node = sprite(space, 0, 8, 4, 4, {1, 0, 0, 1});
    node->x.setValue(&upstream->output);
    upstream->release();
    scene.render();
    EXPECT_EQ(upstream->computeCount, 1);
    // Written without marking: the clean sprite keeps drawing what it cached.
    node->color.value = {0, 0, 1, 1};
    upstream->dirty = true;  // dirty without telling the sprite: a read would compute it
    scene.render();
    EXPECT_EQ(upstream->computeCount, 1);
    EXPECT_TRUE(pixelIs(8, 8, kRed));
    node->y.setValue(40.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    scene.render();
    EXPECT_TRUE(pixelIs(8, 40, kBlue));
}

TEST_F(SGDraw, AngleRotatesAboutTheCentre) {
    SGSpriteNode* node = sprite(space, 32, 32, 20, 4, {0, 1, 0, 1});
    node->angle.setValue(90);
    scene.render();
    EXPECT_TRUE(pixelIs(32, 40, kGreen));
    EXPECT_TRUE(pixelIs(40, 32, kBlack));
    EXPECT_EQ(countLitPixels(), 80);
}

TEST_F(SGDraw, FixedHeightCropsByAnchor) {
    // Rows: bottom half red, top half green.
    const SGImage image = makeTexture(16, 16, redBelowGreen, false);
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
    node->image.setValue(makeTexture(1, 1, white, false));
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
    sprite(space, 8, 8, 4, 4, {1, 0, 0, 1});
    auto* clear = static_cast<SGClearNode*>(space.createNode(SGClearNodeClass));
    clear->color.setValue(SGColor{0, 0, 1, 1});
    sprite(space, 40, 40, 4, 4, {1, 0, 0, 1});
    scene.render();
    EXPECT_TRUE(pixelIs(8, 8, kBlue));
    EXPECT_TRUE(pixelIs(40, 40, kRed));
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

// A textured particle (red left, green right) turned by its start rotation or by its angular
// velocity over its age, in degrees about its centre.
TEST_F(SGParticleDraw, ParticlesTurnByTheirRotationAndAngularVelocity) {
    const SGImage image = makeTexture(16, 16, redGreen, false);
    const std::pair<float, float> turns[] = {{0, 0}, {180, 0}, {0, 180}, {90, 90}};
    for (const auto& [rotation, angularVelocity] : turns) {
        SGParticleSystemNode* node = system(1);
        node->size.setValue(16);
        node->sizeTarget.setValue(16);
        node->image.setValue(image);
        node->rotation.setValue(rotation);
        node->angularVelocity.setValue(angularVelocity);
        frame(node, 0.5f);
        frame(node, 1.5f);  // age 1: turned by rotation + angularVelocity
        const bool mirrored = rotation + angularVelocity == 180;
        EXPECT_TRUE(pixelIs(26, 20, mirrored ? kGreen : kRed)) << rotation << " " << angularVelocity;
        EXPECT_TRUE(pixelIs(37, 20, mirrored ? kRed : kGreen)) << rotation << " " << angularVelocity;
        space.removeNode(node);
    }
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
