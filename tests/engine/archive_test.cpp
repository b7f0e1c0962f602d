// Tests of zipped-game extraction: folders and files land in place, hostile entries never escape.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include "QzEngine.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

// Writes a zip archive of (name, contents) entries, stored (method 0) or deflated.
void makeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries,
             int method = Z_DEFLATED) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, contents] : entries) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                        Z_DEFAULT_COMPRESSION, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, contents.data(), static_cast<unsigned>(contents.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

class ArchiveTest : public ::testing::Test {
protected:
    std::string target() {
        fs::create_directories(folder.path() / "game");
        return folder.file("game");
    }
    ScratchFolder folder;
};

// Folders and files land in place; an existing file is replaced and keeps its mode.
TEST_F(ArchiveTest, ExtractsFilesAndFoldersKeepingTheirStructure) {
    const std::string zip = folder.file("game.zip");
    makeZip(zip, {{"Demo.app/", ""},
                  {"Demo.app/Contents/Info.plist", "<plist/>"},
                  {"Demo.app/Contents/Resources/engine64.luo", std::string(100000, 'e')},
                  {"Demo.app/Contents/Resources/empty.txt", ""},
                  {"a.txt", "new"}});
    const std::string out = target();
    writeFile(out + "/a.txt", "old contents that are longer");
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(out + "/a.txt", kept);
    const fs::path previous = fs::current_path();
    fs::current_path(out);  // the variant without a folder extracts into the working directory
    EXPECT_EQ(Qz_ExtractGameAtPath(zip.c_str()), 0);
    fs::current_path(previous);
    EXPECT_EQ(readFile(out + "/Demo.app/Contents/Info.plist"), "<plist/>");
    EXPECT_EQ(readFile(out + "/Demo.app/Contents/Resources/engine64.luo"), std::string(100000, 'e'));
    EXPECT_TRUE(fs::is_regular_file(out + "/Demo.app/Contents/Resources/empty.txt"));
    EXPECT_EQ(readFile(out + "/a.txt"), "new");
    EXPECT_EQ(fs::status(out + "/a.txt").permissions(), kept);
}

// Entries with an absolute path or a ".." component are refused (the rest is extracted), and
// a symbolic link inside the folder does not redirect a write outside it.
TEST_F(ArchiveTest, EntriesThatWouldLeaveTheFolderAreRefusedAndTheRestExtracted) {
    const std::string zip = folder.file("evil.zip");
    const std::string outside = folder.file("escaped.txt");
    makeZip(zip, {{"../escaped.txt", "x"},
                  {"sub/../../escaped.txt", "x"},
                  {outside, "x"},
                  {"fine/../fine.txt", "x"},
                  {"link/planted.txt", "x"},
                  {"file-link", "x"},
                  {"good.txt", "kept"}});
    const std::string out = target();
    fs::create_directories(folder.path() / "elsewhere");
    fs::create_directory_symlink(folder.path() / "elsewhere", out + "/link");
    fs::create_symlink(folder.path() / "elsewhere" / "target.txt", out + "/file-link");
    ::testing::internal::CaptureStderr();
    EXPECT_NE(Qz_ExtractGameAtPathToFolder(zip.c_str(), out.c_str()), 0);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("refused zip entry \"../escaped.txt\""), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(out + "/fine.txt")) << "a '..' component is refused even when it stays inside";
    EXPECT_FALSE(fs::exists(folder.path() / "elsewhere" / "planted.txt"));
    EXPECT_FALSE(fs::exists(folder.path() / "elsewhere" / "target.txt"));
    EXPECT_EQ(readFile(out + "/good.txt"), "kept");
}

TEST_F(ArchiveTest, CorruptEmptyAndMissingArchivesFail) {
    const std::string out = target();
    const std::string garbage = folder.file("garbage.zip"), empty = folder.file("empty.zip");
    writeFile(garbage, std::string(5000, '\x42'));
    writeFile(empty, "");
    for (const std::string& zip : {garbage, empty, folder.file("absent.zip")})
        EXPECT_NE(Qz_ExtractGameAtPathToFolder(zip.c_str(), out.c_str()), 0) << zip;
    EXPECT_NE(Qz_ExtractGameAtPathToFolder(garbage.c_str(), folder.file("no-such-folder").c_str()), 0);
    EXPECT_TRUE(fs::is_empty(out));
}

// A damaged entry leaves an existing file as it was, and no partial file behind.
TEST_F(ArchiveTest, AnEntryWithDamagedDataLeavesTheOldFile) {
    const std::string zip = folder.file("damaged.zip");
    const std::string contents(20000, 'd');
    makeZip(zip, {{"data.bin", contents}}, 0);
    std::string bytes = readFile(zip);
    const size_t at = bytes.find(contents.substr(0, 100));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5000] = 'X';  // the stored data no longer matches its checksum
    writeFile(zip, bytes);
    const std::string out = target();
    writeFile(out + "/data.bin", "old");
    EXPECT_NE(Qz_ExtractGameAtPathToFolder(zip.c_str(), out.c_str()), 0);
    EXPECT_EQ(readFile(out + "/data.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

}  // namespace
