// Tests of bundle opening through the player: every wrong bundle gives its message and
// exit status 3, zipped bundles are extracted safely and re-used while unchanged.
#include <zip.h>

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "QzBundle.h"
#include "player_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(Bundles, EachWrongBundleNamesTheFileAndExitsWithStatus3) {
    const struct {
        const char* name;
        std::function<void(const std::string& app)> spoil;
        const char* message;
    } cases[] = {
        {"missing folder", [](const std::string& app) { fs::remove_all(app); }, "there is no such folder"},
        {"no Info.plist", [](const std::string& app) { fs::remove(app + "/Contents/Info.plist"); },
         "Contents/Info.plist is missing"},
        {"plist not XML", [](const std::string& app) { writeFile(app + "/Contents/Info.plist", "bplist00\x01\x02"); },
         "Info.plist' is not an XML property list"},
        {"no CFBundleName",
         [](const std::string& app) {
             writeFile(app + "/Contents/Info.plist", "<plist><dict><key>QzOverscan</key><true/></dict></plist>");
         },
         "has no CFBundleName"},
        {"CFBundleName escaping the data folder",
         [](const std::string& app) {
             writeFile(app + "/Contents/Info.plist", "<plist><dict><key>CFBundleName</key><string>..</string></dict></plist>");
         },
         "cannot name a folder"},
        {"no engine script", [](const std::string& app) { fs::remove(app + "/Contents/Resources/engine64.luo"); },
         "engine64.luo is missing"},
        {"empty engine script", [](const std::string& app) { writeFile(app + "/Contents/Resources/engine64.luo", ""); },
         "engine64.luo' is empty"},
        {"engine script for double numbers",
         [](const std::string& app) {
             writeFile(app + "/Contents/Resources/engine64.luo", std::string("\x1bLua\x51\x00\x01\x04\x08\x04\x08\x00", 12));
         },
         "compiled for another number type (8-byte floating-point numbers)"},
        {"engine script for Lua 5.2",
         [](const std::string& app) {
             writeFile(app + "/Contents/Resources/engine64.luo", std::string("\x1bLua\x52\x00\x01\x04\x08\x04\x04\x00", 12));
         },
         "compiled for another Lua version"},
        {"truncated engine script",
         [](const std::string& app) {
             const std::string path = app + "/Contents/Resources/engine64.luo";
             fs::resize_file(path, fs::file_size(path) / 2);
         },
         "engine64.luo' cannot be loaded: "},
        {"engine script source that does not compile",
         [](const std::string& app) { writeFile(app + "/Contents/Resources/engine64.luo", "function initEngine("); },
         "engine64.luo' cannot be loaded: "},
        {"no project", [](const std::string& app) { fs::remove_all(app + "/Contents/Resources/main.gameproj"); },
         "holds no NAME.gameproj"},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const std::string app = makeBundle(scratch);
        c.spoil(app);
        const PlayerRun run = runPlayer(scratch, "--headless " + app);
        EXPECT_EQ(run.status, 3) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(app), std::string::npos) << c.name << ": the message names the bundle";
        EXPECT_EQ(countOf(run.output, "\n"), 1) << c.name << ": one line\n" << run.output;
    }
}

TEST(Bundles, AnUnusableSaveFolderIsRefused) {
    ScratchFolder scratch;
    const std::string app = makeBundle(scratch);
    writeFile(scratch.file("data"), "a file where the data folder should be");
    const PlayerRun run = runPlayer(scratch, "--headless " + app);
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_NE(run.output.find("cannot use the save folder"), std::string::npos) << run.output;
}

TEST(Bundles, WithoutAFolderForSavedGamesTheGameRunsWithoutTheDatabase) {
    ScratchFolder scratch;
    const std::string app = makeBundle(scratch, {.game = "log('database', type(database))"});
    const PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + app, "XDG_DATA_HOME= HOME=");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("warning: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("probe: database nil"), std::string::npos) << run.output;
    const PlayerRun saving = runPlayer(scratch, "--headless --frames 1 " + app);
    EXPECT_NE(saving.output.find("probe: database table"), std::string::npos) << saving.output;
}

TEST(Bundles, SettingsAndTheFirstProjectInNameOrderAreRead) {
    ScratchFolder scratch;
    BundleSpec spec;
    spec.plist = "<key>CFBundleName</key><string>Space Game</string>"
                 "<key>QzStartFullscreen</key><true/><key>QzOverscan</key><integer>1</integer>";
    const std::string app = makeBundle(scratch, spec);
    fs::create_directories(app + "/Contents/Resources/a.gameproj");
    fs::create_directories(app + "/Contents/Resources/b.gameproj");
    QzBundle bundle;
    std::string error;
    ASSERT_TRUE(QzOpenBundleFolder(app, &bundle, &error)) << error;
    EXPECT_EQ(bundle.info.bundleName, "Space Game");
    EXPECT_TRUE(bundle.info.startFullscreen);
    EXPECT_TRUE(bundle.info.overscan);
    EXPECT_EQ(fs::path(bundle.projectPath).filename(), "a.gameproj");
    std::string savePath;
    ASSERT_TRUE(QzPrepareSaveFolder(scratch.file("data"), bundle.info.bundleName, &savePath, &error)) << error;
    EXPECT_EQ(savePath, scratch.file("data") + "/Space Game/save.data");
}

// Writes a zip archive holding the given (name, contents) entries.
void writeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, contents] : entries) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                        Z_DEFAULT_COMPRESSION, 0), ZIP_OK);
        zipWriteInFileInZip(zip, contents.data(), static_cast<unsigned>(contents.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

std::vector<std::pair<std::string, std::string>> bundleEntries(const std::string& app) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& entry : fs::recursive_directory_iterator(app))
        if (entry.is_regular_file())
            entries.emplace_back("Probe.app/" + fs::relative(entry.path(), app).string(), readFile(entry.path().string()));
    return entries;
}

TEST(Bundles, AZippedBundlePlaysAndIsReusedWhileUnchanged) {
    ScratchFolder scratch;
    const std::string app = makeBundle(scratch, {.game = "log('zipped game')"});
    const std::string zip = scratch.file("game.zip");
    writeZip(zip, bundleEntries(app));
    fs::remove_all(app);
    PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + zip);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: zipped game"), std::string::npos) << run.output;

    std::string folder, error;
    ASSERT_TRUE(QzExtractZippedBundle(zip, scratch.file("cache") + "/quillane-player/bundles", &folder, &error)) << error;
    const std::string marker = folder + "/marker";
    writeFile(marker, "kept while the archive is unchanged");
    ASSERT_TRUE(QzExtractZippedBundle(zip, scratch.file("cache") + "/quillane-player/bundles", &folder, &error));
    EXPECT_TRUE(fs::exists(marker));
    writeZip(zip, bundleEntries(folder));  // a changed archive
    fs::last_write_time(zip, fs::last_write_time(zip) + std::chrono::seconds(5));
    ASSERT_TRUE(QzExtractZippedBundle(zip, scratch.file("cache") + "/quillane-player/bundles", &folder, &error));
    EXPECT_TRUE(fs::exists(folder + "/Contents/Info.plist"));
    EXPECT_TRUE(fs::exists(folder + "/marker")) << "the new archive holds the marker";
}

TEST(Bundles, AZipWithEntriesOutsideItsFolderWritesNothingOutsideTheCache) {
    ScratchFolder scratch;
    const std::string app = makeBundle(scratch);
    auto entries = bundleEntries(app);
    entries.emplace_back("../../escaped.txt", "outside");
    entries.emplace_back("Probe.app/../../../escaped2.txt", "outside");
    entries.emplace_back("/tmp/qz-absolute-escape.txt", "outside");
    const std::string zip = scratch.file("evil.zip");
    writeZip(zip, entries);
    const PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + zip);
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_NE(run.output.find("outside its folder"), std::string::npos) << run.output;
    for (const auto& entry : fs::recursive_directory_iterator(scratch.path()))
        EXPECT_EQ(entry.path().filename().string().find("escaped"), std::string::npos) << entry.path();
    EXPECT_FALSE(fs::exists("/tmp/qz-absolute-escape.txt"));
    const std::string cache = scratch.file("cache") + "/quillane-player/bundles";
    EXPECT_TRUE(!fs::exists(cache) || fs::is_empty(cache)) << "a refused archive leaves nothing behind";
}

}  // namespace
