// The asset manager with image loaders and text nodes: loading once, counted handles, the
// unreferenced flag and flush, unloading, reloading and clean-up, failures that leave it
// unchanged, and live texture counts.
#include <gtest/gtest.h>

#include <stdexcept>

#include "AssetsTestSupport.h"
#include "QzEngineAssetManager.h"
#include "QzImageLoader.h"
#include "SGGLFixture.h"
#include "SGScene.h"
#include "nodes/SGImageLoaderNode.h"
#include "nodes/SGStringToImageNode.h"

namespace {

TestPixel red(int, int) { return {255, 0, 0, 255}; }

class AssetManager : public SGDrawingTest {
protected:
    void SetUp() override {
        SGDrawingTest::SetUp();
        QzSetResourceDirectory(std::string(QZ_BINARY_DIR) + "/resources");
        writePicture(assetsTestDir() + "/red.png", 4, 4, red);
        baseline = countLiveTextures();
    }

    // Every name but "unknown" is the red picture; "raise" throws.
    std::string resolve(const char* function, const std::string& name) {
        ++resolutions;
        EXPECT_STREQ(function, "pathForImage");
        if (name == "raise") throw std::runtime_error("the project failed");
        return name == "unknown" ? "" : assetsTestDir() + "/red.png";
    }

    SGImageLoaderNode* loader(SGSpace& space, const std::string& name) {
        auto* node = static_cast<SGImageLoaderNode*>(space.createNode(SGImageLoaderNodeClass));
        node->name.setValue(name);
        return node;
    }

    int resolutions = 0;
    int baseline = 0;
    QzEngineAssetManager manager{[this](const char* f, const std::string& n) { return resolve(f, n); }};
};

TEST_F(AssetManager, LoadsANameOnceAndCountsItsHandles) {
    manager.loadImageForName("a");
    manager.loadImageForName("a");
    EXPECT_EQ(resolutions, 1);
    EXPECT_EQ(countLiveTextures(), baseline + 1);
    {
        QzAssetHandle<SGImage> first = manager.imageForName("a");
        QzAssetHandle<SGImage> second = first;
        EXPECT_EQ(first.getAssetObject()->getReferenceCount(), 2);
        EXPECT_EQ(first.getResource()->textureWidth, 4);
        EXPECT_FALSE(manager.hasUnreferencedAssets());
    }
    EXPECT_EQ(manager.getImages().at("a")->getReferenceCount(), 0);
    EXPECT_TRUE(manager.hasUnreferencedAssets()) << "the last release sets the flag";
    EXPECT_EQ(manager.getImages().size(), 1u) << "a count of 0 does not unload";
    manager.flushAssets();
    EXPECT_TRUE(manager.getImages().empty());
    EXPECT_FALSE(manager.hasUnreferencedAssets());
    EXPECT_EQ(countLiveTextures(), baseline);
}

TEST_F(AssetManager, FlushWithoutTheFlagKeepsEverything) {
    manager.loadImageForName("a");
    manager.flushAssets();
    EXPECT_EQ(manager.getImages().size(), 1u);
}

TEST_F(AssetManager, UnknownNamesAndPathNamesAreNotLoaded) {
    EXPECT_EQ(manager.imageForName("unknown").getAssetObject(), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(manager.imageForName("../red").getResource(), nullptr);
    manager.loadImageForName(std::string("a\0b", 3));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("path separator"), std::string::npos);
    EXPECT_TRUE(manager.getImages().empty());
}

TEST_F(AssetManager, NamesAreComparedByteForByte) {
    for (const char* name : {"a", "A", "a\xc3\xa9", "ae"}) manager.loadImageForName(name);
    EXPECT_EQ(manager.getImages().size(), 4u);
}

TEST_F(AssetManager, AFailingPathFunctionLeavesTheManagerAsItWas) {
    manager.loadImageForName("a");
    EXPECT_THROW(manager.loadImageForName("raise"), std::runtime_error);
    EXPECT_EQ(manager.getImages().size(), 1u);
    EXPECT_FALSE(manager.isBusy());
    EXPECT_EQ(countLiveTextures(), baseline + 1);
}

TEST_F(AssetManager, CleanupKeepsOnlyTheNamedImages) {
    for (const char* name : {"a", "b", "c"}) manager.loadImageForName(name);
    manager.cleanupUnusedImages({"b"});
    ASSERT_EQ(manager.getImages().size(), 1u);
    EXPECT_EQ(manager.getImages().begin()->first, "b");
    manager.loadNewImages({"a", "b"});
    EXPECT_EQ(resolutions, 4);
}

TEST_F(AssetManager, LoadersFetchAgainAfterUnloadAndReload) {
    SGScene scene(nullptr, &manager);
    SGImageLoaderNode* node = loader(scene.defaultSpace, "a");
    EXPECT_EQ(node->asset.imageValue().textureWidth, 4);
    EXPECT_EQ(manager.getImages().at("a")->getReferenceCount(), 1);
    manager.unloadImage("a");
    EXPECT_EQ(node->heldAsset(), nullptr);
    EXPECT_EQ(node->asset.imageValue().textureWidth, 4) << "loaded anew on the next pull";
    EXPECT_EQ(resolutions, 2);

    auto* text = static_cast<SGStringToImageNode*>(scene.defaultSpace.createNode(SGStringToImageNodeClass));
    text->text.setValue(std::string("Hi"));
    text->image.imageValue();
    EXPECT_EQ(countLiveTextures(), baseline + 2);
    manager.reloadAllImages();
    EXPECT_TRUE(text->dirty);
    EXPECT_TRUE(manager.getImages().empty());
    node->asset.imageValue();
    text->image.imageValue();
    EXPECT_EQ(resolutions, 3);
    EXPECT_EQ(countLiveTextures(), baseline + 2) << "reloading leaks no texture";
    scene.defaultSpace.removeNode(text);
    EXPECT_EQ(countLiveTextures(), baseline + 1);
}

TEST_F(AssetManager, UnloadingANameNotLoadedStillMarksItsLoaders) {
    SGScene scene(nullptr, &manager);
    SGImageLoaderNode* node = loader(scene.defaultSpace, "unknown");
    node->asset.imageValue();
    EXPECT_FALSE(node->dirty);
    manager.unloadImage("unknown");
    EXPECT_TRUE(node->dirty);
}

// A loader whose name changed since it last computed still holds the old image; unloading
// that image must not leave the loader holding a destroyed asset.
TEST_F(AssetManager, UnloadingAnImageHeldByALoaderWithAChangedNameIsSafe) {
    SGScene scene(nullptr, &manager);
    SGImageLoaderNode* node = loader(scene.defaultSpace, "a");
    node->asset.imageValue();
    node->name.setValue(std::string("b"));
    manager.unloadImage("a");
    EXPECT_EQ(node->heldAsset(), nullptr);
    EXPECT_EQ(node->asset.imageValue().textureWidth, 4);
    EXPECT_EQ(manager.getImages().count("b"), 1u);
}

TEST_F(AssetManager, AssetsInUseOutliveTheManagerUntilTheirLastHandleGoes) {
    {
        auto managed = std::make_unique<QzEngineAssetManager>(
            [this](const char* f, const std::string& n) { return resolve(f, n); });
        SGScene scene(nullptr, managed.get());
        SGImageLoaderNode* node = loader(scene.defaultSpace, "a");
        node->asset.imageValue();
        loader(scene.defaultSpace, "b")->asset.imageValue();
        managed->loadImageForName("unused");
        managed->setHasUnreferencedAssets(true);
        EXPECT_EQ(countLiveTextures(), baseline + 3);
        managed.reset();
        EXPECT_FALSE(QzEngineAssetManager::isLive(scene.assetMgr));
        EXPECT_EQ(countLiveTextures(), baseline + 2) << "the unused image goes, the shown ones stay";
        EXPECT_TRUE(node->asset.imageValue().hasTexture());
        node->name.setValue(std::string("c"));
        EXPECT_FALSE(node->asset.imageValue().hasTexture()) << "a loader without a manager shows nothing";
        EXPECT_EQ(countLiveTextures(), baseline + 1) << "the image it let go is freed";
        EXPECT_EQ(scene.defaultSpace.createNode(SGImageLoaderNodeClass)->classFlags & SGImageLoaderNodeClass,
                  SGImageLoaderNodeClass);
    }
    EXPECT_EQ(countLiveTextures(), baseline);
}

}  // namespace
