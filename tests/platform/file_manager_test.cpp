// Tests of the file-manager operations: making folders, zipping through the zip tool and
// unzipping through the guarded extractor.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "QzFileManager.h"

namespace {

namespace fs = std::filesystem;

class FileManager : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qz-file-manager-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(FileManager, CreateDirectoryOnlyWhereNothingIs) {
    EXPECT_TRUE(QzFileManager::createDirectoryIfNotExists((root / "new").string()));
    EXPECT_TRUE(fs::is_directory(root / "new"));
    EXPECT_FALSE(QzFileManager::createDirectoryIfNotExists((root / "new").string()));
    std::ofstream(root / "file") << "x";
    EXPECT_FALSE(QzFileManager::createDirectoryIfNotExists((root / "file").string()));
    EXPECT_FALSE(QzFileManager::createDirectoryIfNotExists((root / "no" / "parent").string()));
}

TEST_F(FileManager, ZipThenUnzipGivesTheFolderBack) {
    fs::create_directories(root / "saves" / "slot");
    std::ofstream(root / "saves" / "slot" / "game.txt") << "level 3";
    fs::create_symlink("slot/game.txt", root / "saves" / "link");
    fs::create_directories(root / "elsewhere");
    fs::create_symlink(root / "elsewhere", root / "saves" / "away");
    // A relative destination names a place from where we are, not from the source's folder.
    fs::current_path(root);
    EXPECT_TRUE(QzFileManager::zipItemAtPath((root / "saves/").string(), "saves.zip"));
    ASSERT_TRUE(fs::exists(root / "saves.zip"));

    QzFileError error;
    EXPECT_TRUE(QzFileManager::unzipItemAtPath((root / "saves.zip").string(), (root / "out").string(), &error));
    EXPECT_EQ(error.code, 0);
    std::ifstream game(root / "out" / "saves" / "slot" / "game.txt");
    std::string text;
    std::getline(game, text);
    EXPECT_EQ(text, "level 3");
    // Links are not restored: one pointing anywhere would send a later writer out of the folder.
    for (const char* link : {"link", "away"}) EXPECT_FALSE(fs::is_symlink(root / "out" / "saves" / link)) << link;
}

TEST_F(FileManager, UnzipOfSomethingElseSetsTheCorruptFileError) {
    std::ofstream(root / "not.zip") << "plain text";
    QzFileError error;
    EXPECT_TRUE(QzFileManager::unzipItemAtPath((root / "not.zip").string(), (root / "out").string(), &error));
    EXPECT_EQ(error.code, QzFileError::kFileReadCorruptFile);
    EXPECT_TRUE(QzFileManager::unzipItemAtPath((root / "missing.zip").string(), (root / "out").string(), nullptr));
}

}  // namespace
