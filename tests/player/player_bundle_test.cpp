// Tests of bundle opening through the player: every wrong bundle gives its message and
// exit status 3, zipped bundles are extracted safely and re-used while unchanged.
#include <zip.h>

#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "QzBundle.h"
#include "QzGameArchive.h"
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

// Only the engine script the player ships is trusted: another is played with one warning,
// or refused with --trusted-only.
TEST(Bundles, AGameBringingItsOwnEngineScriptIsSaidOrRefused) {
    const struct {
        bool shipped;
        const char* options;
        int status;
        int warnings;
        int refusals;
    } cases[] = {
        {true, "", 0, 0, 0},
        {true, "--trusted-only", 0, 0, 0},
        {false, "", 0, 1, 0},
        {false, "--trusted-only", 3, 0, 1},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const std::string app = c.shipped ? makeBundle(scratch, {}, "saves") : makeBundle(scratch);
        const PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + std::string(c.options) + " " + app);
        SCOPED_TRACE(std::string(c.shipped ? "shipped " : "own ") + c.options + "\n" + run.output);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(countOf(run.output, "warning: " + app + " brings its own engine script"), c.warnings);
        EXPECT_EQ(countOf(run.output, "its own engine script, not the one this player ships; refused"), c.refusals);
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
    ProbeBundle probe;
    probe.plist = "<key>CFBundleName</key><string>Space Game</string>"
                 "<key>QzStartFullscreen</key><true/><key>QzOverscan</key><integer>1</integer>";
    const std::string app = makeBundle(scratch, probe);
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

// An installed player (PREFIX/bin) plays the first bundle of PREFIX/share/quillane-player/games.
TEST(Bundles, TheDefaultBundleIsFoundFromTheProgramsOwnPlace) {
    ScratchFolder scratch;
    fs::create_directories(scratch.file("prefix/bin"));
    fs::copy_file(kPlayer, scratch.file("prefix/bin/quillane-player"));
    const std::string shell = "env XDG_DATA_HOME=" + scratch.file("data") + " " + scratch.file("prefix/bin/quillane-player") +
                              " --headless --frames 1 > " + scratch.file("out.txt") + " 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(shell.c_str())), 3);
    EXPECT_NE(readFile(scratch.file("out.txt")).find("no default bundle"), std::string::npos) << readFile(scratch.file("out.txt"));
    const std::string games = scratch.file("prefix/share/quillane-player/games");
    fs::create_directories(games);
    fs::rename(makeBundle(scratch, {.game = "log('installed game')"}), games + "/A.app");
    EXPECT_EQ(WEXITSTATUS(std::system(shell.c_str())), 0) << readFile(scratch.file("out.txt"));
    EXPECT_NE(readFile(scratch.file("out.txt")).find("probe: installed game"), std::string::npos);
}

const std::string kBrickfall = std::string(QZ_BINARY_DIR) + "/games/Brickfall.app";
const std::string kBrickfallProject = kBrickfall + "/Contents/Resources/Brickfall.gameproj";

// A project folder plays with the engine script the player ships, found from the program's place
// (beside it in the build folder, in PREFIX/share/quillane-player when installed), and saves
// in a folder named after the game's title, or after the folder when game.xml has none.
TEST(Bundles, AProjectFolderPlaysWithTheShippedEngineScriptLikeItsBundle) {
    ScratchFolder scratch;
    const PlayerRun bundle = runPlayer(scratch, "--headless --frames 90 --screenshot " + scratch.file("b.png") + " " +
                                                    kBrickfall);
    const PlayerRun project = runPlayer(scratch, "--headless --frames 90 --screenshot " + scratch.file("p.png") + " " +
                                                     kBrickfallProject + "/", "XDG_DATA_HOME=" + scratch.file("project-data"));
    ASSERT_EQ(bundle.status, 0) << bundle.output;
    ASSERT_EQ(project.status, 0) << project.output;
    EXPECT_GT(readFile(scratch.file("p.png")).size(), 1000u);
    EXPECT_TRUE(readFile(scratch.file("p.png")) == readFile(scratch.file("b.png"))) << "the project plays as its bundle";
    EXPECT_TRUE(fs::is_directory(scratch.file("project-data/Brickfall")));

    fs::create_directories(scratch.file("prefix/bin"));
    fs::copy_file(kPlayer, scratch.file("prefix/bin/quillane-player"));
    fs::create_directories(scratch.file("Tiny.gameproj"));
    writeFile(scratch.file("Tiny.gameproj/game.xml"), "<game width='40' height='30' startFullscreen='true' "
                                                      "overscan='false'><scenes><scene name='s' file='s.xml'/></scenes></game>");
    writeFile(scratch.file("Tiny.gameproj/s.xml"), "<scene name='s'/>");
    const std::string shell = "env XDG_DATA_HOME=" + scratch.file("data") + " ALSOFT_DRIVERS=null " +
                              scratch.file("prefix/bin/quillane-player") + " --headless --frames 2 " +
                              scratch.file("Tiny.gameproj") + " > " + scratch.file("out.txt") + " 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(shell.c_str())), 3);
    EXPECT_NE(readFile(scratch.file("out.txt")).find("engine script engine64.luo is neither"), std::string::npos);
    fs::create_directories(scratch.file("prefix/share/quillane-player"));
    fs::copy_file(std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo",
                  scratch.file("prefix/share/quillane-player/engine64.luo"));
    EXPECT_EQ(WEXITSTATUS(std::system(shell.c_str())), 0) << readFile(scratch.file("out.txt"));
    EXPECT_TRUE(fs::is_directory(scratch.file("data/Tiny")));
}

// A packed bundle, folder or zip, is complete: it plays like the original, its Info.plist carries
// game.xml's settings, the project's Default.png becomes the loading picture, and a pack that
// cannot be made leaves nothing and replaces nothing.
TEST(Bundles, APackedProjectPlaysLikeTheOriginalBundle) {
    ScratchFolder scratch;
    const PlayerRun original = runPlayer(scratch, "--headless --frames 90 --screenshot " + scratch.file("o.png") + " " + kBrickfall);
    ASSERT_EQ(original.status, 0) << original.output;
    for (const char* output : {"out/B.app", "out/B.zip", "out/B.qzgame"}) {
        const PlayerRun pack = runPlayer(scratch, "--pack " + kBrickfallProject + " --output " + scratch.file(output));
        ASSERT_EQ(pack.status, 0) << output << pack.output;
        EXPECT_EQ(runPlayer(scratch, "--pack " + kBrickfallProject + " --output " + scratch.file(output)).status, 3);
        const PlayerRun play = runPlayer(scratch, "--headless --frames 90 --screenshot " + scratch.file("p.png") + " " +
                                                      scratch.file(output));
        ASSERT_EQ(play.status, 0) << output << play.output;
        EXPECT_TRUE(readFile(scratch.file("p.png")) == readFile(scratch.file("o.png"))) << output;
    }
    fs::create_directories(scratch.file("Tiny.gameproj"));
    writeFile(scratch.file("Tiny.gameproj/game.xml"), "<game title='Tiny &amp; Co' startFullscreen='true' overscan='true'>"
                                                      "<scenes><scene name='s' file='s.xml'/></scenes></game>");
    writeFile(scratch.file("Tiny.gameproj/s.xml"), "<scene name='s'/>");
    writeFile(scratch.file("Tiny.gameproj/Default.png"), "picture");
    writeFile(scratch.file("Tiny.gameproj/.notes"), "left out");
    const PlayerRun tiny = runPlayer(scratch, "--pack " + scratch.file("Tiny.gameproj") + " --output " + scratch.file("T.app"));
    ASSERT_EQ(tiny.status, 0) << tiny.output;
    QzBundle bundle;
    std::string error;
    ASSERT_TRUE(QzOpenBundleFolder(scratch.file("T.app"), &bundle, &error)) << error;
    EXPECT_EQ(bundle.info.bundleName, "Tiny & Co");
    EXPECT_TRUE(bundle.info.startFullscreen && bundle.info.startFullscreenSet && bundle.info.overscan);
    EXPECT_EQ(readFile(bundle.defaultImagePath), "picture");
    EXPECT_FALSE(fs::exists(bundle.projectPath + "/.notes"));
    writeFile(scratch.file("Tiny.gameproj/game.xml"), "<game title='Tiny'");
    const PlayerRun broken = runPlayer(scratch, "--pack " + scratch.file("Tiny.gameproj") + " --output " + scratch.file("U.zip"));
    EXPECT_EQ(broken.status, 3);
    EXPECT_NE(broken.output.find("game.xml"), std::string::npos) << broken.output;
    EXPECT_FALSE(fs::exists(scratch.file("U.zip")));
}

// Changes a file of the project in place: the first `from` becomes `to`.
std::function<void(const std::string&)> editing(const std::string& file, const std::string& from, const std::string& to) {
    return [=](const std::string& project) {
        std::string text = readFile(project + "/" + file);
        ASSERT_NE(text.find(from), std::string::npos) << file << ": " << from;
        text.replace(text.find(from), from.size(), to);
        writeFile(project + "/" + file, text);
    };
}

// Cuts a file of the project to its first `bytes` bytes: a picture or sound that no longer decodes.
std::function<void(const std::string&)> truncating(const std::string& file, uintmax_t bytes) {
    return [=](const std::string& project) { fs::resize_file(project + "/" + file, bytes); };
}

// --check reads the whole project and visits every scene: every sample game the build packed is clean, and
// each kind of mistake in a copy of Brickfall's project is listed once, with its file (and line
// where the engine knows it), gives status 1, and stops --pack.
TEST(Bundles, CheckListsEachProblemOfEveryScene) {
    ScratchFolder scratch;
    int games = 0;
    for (const auto& entry : fs::directory_iterator(std::string(QZ_BINARY_DIR) + "/games")) {
        if (entry.path().extension() != ".app") continue;
        ++games;
        const PlayerRun clean = runPlayer(scratch, "--check " + entry.path().string());
        EXPECT_EQ(clean.status, 0) << entry.path() << clean.output;
        EXPECT_NE(clean.output.find(": 0 problem(s)"), std::string::npos) << clean.output;
    }
    EXPECT_GE(games, 2) << "Brickfall and the tour";
    const std::string project = scratch.file("Bad.gameproj");
    const struct {
        std::function<void(const std::string& project)> spoil;
        const char* message;
    } cases[] = {
        {editing("scripts/drift.lua", "function", "function ("), "game: behaviour scripts/drift.lua:"},
        {editing("scenes/scores.xml", "<scene", "<scene <"), "game: scenes/scores.xml: not a well-formed XML document"},
        {editing("scenes/play.xml", "ball.png", "nothere.png"), "game: scenes/play.xml:25: actor 'ball': image 'nothere.png' not found"},
        {editing("game.xml", "scenes/gameover.xml", "scenes/missing.xml"), "game: scenes/missing.xml: cannot open the file"},
        {editing("scenes/play.xml", "  <layer name=\"backdrop\">", "  <camera follow=\"padle\"/>\n  <layer name=\"backdrop\">"),
         "game: scenes/play.xml:6: <camera follow=\"padle\">: no actor named 'padle' when the scene starts"},
        {editing("scenes/play.xml", "lifetime=\"0.35\"", "lifetime=\"short\""),
         "game: scenes/play.xml:30: <particles lifetime=\"short\">: expected a number"},
        {editing("scenes/play.xml", "behaviour=\"scripts/burst.lua\"", "behaviour=\"scripts/bust.lua\""),
         "game: behaviour scripts/bust.lua: cannot open the file"},
        {editing("tables/level2.xml", "<columns>", "<columns"), "game: tables/level2.xml: not a well-formed XML document"},
        {editing("scripts/play.lua", "readTable(\"levels\")", "readTable(\"levls\")"),
         "game: behaviour scripts/play.lua:14: no table named 'levls' in game.xml"},
        {editing("scripts/play.lua", "levels:get(level, \"speed\")", "levels:get(level, \"sped\")"),
         "game: behaviour scripts/play.lua:64: table 'levels' has no column 'sped'"},
        {editing("scripts/play.lua", "spawn(\"brick\"", "spawn(\"brik\""),
         "game: behaviour scripts/play.lua:54: no template actor named 'brik' in scenes/play.xml"},
        {editing("scripts/play.lua", "playSound(\"lose.ogg\"", "playSound(\"loose.ogg\""),
         "game: scripts/play.lua:113: playSound: sound 'loose.ogg' not found in sounds/"},
        {editing("scripts/title.lua", "changeScene(\"scores\")", "changeScene(\"score\")"),
         "game: behaviour scripts/title.lua:21: changeScene: no scene named 'score' in game.xml"},
        {editing("scripts/play.lua", "function onCollision", "local function later() return require \"rules\" end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: require \"rules\": scripts/rules.lua not found; create it or fix the name"},
        {editing("scripts/play.lua", "function onCollision", "local function menu() pushScene(\"paused\") end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: pushScene: no scene named 'paused' in game.xml"},
        {editing("scripts/play.lua", "function onCollision",
                 "local function out() changeScene(\"title\", {transition = \"wipe\"}) end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: changeScene: unknown transition 'wipe'; use \"fade\" or \"slide\""},
        {editing("scripts/play.lua", "function onCollision", "local function look() camera:follow(\"padle\") end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: camera:follow: no actor named 'padle' in scenes/play.xml"},
        {editing("scripts/play.lua", "function onCollision", "function onmessage() end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: unknown callback 'onmessage'; did you mean 'onMessage'?"},
        {editing("scripts/play.lua", "function onCollision", "function onGamepadDown() end\nfunction ongamepaddown() end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:226: unknown callback 'ongamepaddown'; did you mean 'onGamepadDown'?"},
        {editing("scripts/play.lua", "function onCollision", "local function later() return gamepadAxis(\"leftX\") end\nfunction onCollision"),
         "game: behaviour scripts/play.lua:225: gamepadAxis: unknown gamepad axis 'leftX'; the axes are leftx"},
        {editing("scripts/play.lua", "function onCollision", "function onColision"),
         "game: behaviour scripts/play.lua:225: unknown callback 'onColision'; did you mean 'onCollision'?"},
        {editing("scenes/play.xml", "</scene>", "<joint a=\"paddle\" b=\"nobody\"/>\n</scene>"),
         "game: scenes/play.xml:54: <joint>: no actor named 'nobody' in the scene"},
        {truncating("images/brick.png", 300), "game: scenes/title.xml:8: actor 'brick': image 'brick.png' cannot be decoded"},
        {truncating("sounds/lose.ogg", 300), "game: scripts/play.lua:113: playSound: sound 'lose.ogg' cannot be decoded"},
        {truncating("sounds/music.ogg", 10), "game: game.xml:16: music 'music.ogg' cannot be decoded"},
        {editing("game.xml", "  <music ", "  <playlist name=\"p\"><track file=\"gone.ogg\"/></playlist><music "),
         "game: game.xml:16: music 'gone.ogg' not found in sounds/"},
        {editing("scenes/title.xml", "  <layer name=\"backdrop\">", "  <playlist name=\"p\">\n<track file=\"../game.xml\"/></playlist>\n  <layer name=\"backdrop\">"),
         "game: scenes/title.xml:5: music '../game.xml' cannot be decoded"},
        {editing("scripts/title.lua", "changeScene(\"scores\")", "playPlaylist(\"nope\") changeScene(\"scores\")"),
         "game: behaviour scripts/title.lua:21: playPlaylist: no playlist named 'nope' in scenes/title.xml or game.xml"},
    };
    for (const auto& c : cases) {
        fs::remove_all(project);
        fs::copy(kBrickfallProject, project, fs::copy_options::recursive);
        c.spoil(project);
        const PlayerRun check = runPlayer(scratch, "--check " + project);
        EXPECT_EQ(check.status, 1) << c.message << check.output;
        EXPECT_NE(check.output.find(c.message), std::string::npos) << check.output;
        EXPECT_EQ(countOf(check.output, "game: "), 1) << "each problem once\n" << check.output;
    }
    const PlayerRun pack = runPlayer(scratch, "--pack " + project + " --output " + scratch.file("Bad.zip"));
    EXPECT_EQ(pack.status, 1) << pack.output;
    EXPECT_FALSE(fs::exists(scratch.file("Bad.zip")));
}

// The "Making a game" section of README.md: its files (a line naming `PATH` and the fenced
// block after it) and its commands (the lines of fenced blocks without a language).
struct Walkthrough {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> commands;
};

Walkthrough readmeWalkthrough() {
    const std::string readme = readFile(std::string(QZ_SOURCE_DIR) + "/README.md");
    const size_t start = readme.find("\n## Making a game\n");
    const std::string section = readme.substr(start, readme.find("\n## ", start + 1) - start);
    Walkthrough walk;
    std::istringstream lines(section);
    std::string line, named, block, fence;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line.rfind("```", 0) == 0) {
            if (inside && fence.empty()) {
                std::istringstream commands(block);
                for (std::string command; std::getline(commands, command);) walk.commands.push_back(command);
            } else if (inside && !named.empty()) {
                walk.files.emplace_back(named, block);
            }
            if (inside) named.clear();
            inside = !inside;
            fence = line.substr(3);
            block.clear();
        } else if (inside) {
            block += line + "\n";
        } else if (const size_t open = line.find("File `"); open != std::string::npos) {
            named = line.substr(open + 6, line.find('`', open + 6) - open - 6);
        }
    }
    return walk;
}

// The README's walk from an empty folder to a packed game works as written: its files are
// clean, it plays, packs and plays packed. Commands that open a window play headless here.
TEST(Bundles, ReadmeWalkthroughMakesAPackedGame) {
    ScratchFolder scratch;
    const Walkthrough walk = readmeWalkthrough();
    ASSERT_EQ(walk.files.size(), 3u) << "game.xml, a scene and a behaviour";
    ASSERT_EQ(walk.commands.at(0).rfind("mkdir -p ", 0), 0u) << "the folders come first";
    ASSERT_EQ(std::system(("cd '" + scratch.path().string() + "' && " + walk.commands[0]).c_str()), 0);
    for (const auto& [path, contents] : walk.files) writeFile(scratch.file(path), contents);
    int playerCommands = 0;
    for (const std::string& command : std::vector(walk.commands.begin() + 1, walk.commands.end())) {
        ASSERT_EQ(command.rfind("quillane-player ", 0), 0u) << command;
        ++playerCommands;
        std::string arguments = command.substr(std::string("quillane-player ").size());
        if (arguments.find("--") != 0) arguments = "--headless --frames 120 " + arguments;
        const PlayerRun run = runPlayer(scratch, arguments, "", scratch.path().string());
        EXPECT_EQ(run.status, 0) << command << "\n" << run.output;
        EXPECT_EQ(countOf(run.output, "game: "), 0) << command << "\n" << run.output;
        if (arguments.find("--check") == 0) {
            EXPECT_NE(run.output.find("checked 1 scene(s) of Hello.gameproj: 0 problem(s)"), std::string::npos) << run.output;
        }
    }
    EXPECT_EQ(playerCommands, 4) << "play, check, pack, play the pack";
    EXPECT_TRUE(fs::is_regular_file(scratch.file("Hello.zip")));
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

// Writes the probe bundle with the given game as a zip archive and removes the folder.
std::string zipBundle(const ScratchFolder& scratch, const std::string& name, const std::string& game) {
    const std::string app = makeBundle(scratch, {.game = game});
    writeZip(scratch.file(name), bundleEntries(app));
    fs::remove_all(app);
    return scratch.file(name);
}

TEST(Bundles, AZippedBundlePlaysAndIsReusedWhileUnchangedWhateverItsNameSays) {
    ScratchFolder scratch;
    const std::string zip = zipBundle(scratch, "game.zip", "log('zipped game')");
    PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + zip);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("probe: zipped game"), std::string::npos) << run.output;
    // A rebuilt archive of the same size and time is another game (cp -p, rsync -t).
    const auto time = fs::last_write_time(zip);
    zipBundle(scratch, "game.zip", "log('zapped game')");
    fs::last_write_time(zip, time);
    run = runPlayer(scratch, "--headless --frames 1 " + zip);
    EXPECT_NE(run.output.find("probe: zapped game"), std::string::npos) << run.output;
    fs::copy_file(zip, scratch.file("GAME.ZIP"));
    run = runPlayer(scratch, "--headless --frames 1 " + scratch.file("GAME.ZIP"));
    EXPECT_NE(run.output.find("probe: zapped game"), std::string::npos) << "capitals are a zip too\n" << run.output;
    for (const char* name : {"Game.qzgame", "game-download"}) {
        fs::copy_file(zip, scratch.file(name));
        run = runPlayer(scratch, "--headless --frames 1 " + scratch.file(name));
        EXPECT_NE(run.output.find("probe: zapped game"), std::string::npos) << name << "\n" << run.output;
    }

    const std::string cache = scratch.file("cache") + "/quillane-player/bundles";
    std::string folder, error;
    std::shared_ptr<QzCacheHold> hold;
    ASSERT_TRUE(QzExtractZippedBundle(zip, cache, &folder, &hold, &error)) << error;
    writeFile(folder + "/marker", "kept while the archive is unchanged");
    ASSERT_TRUE(QzExtractZippedBundle(zip, cache, &folder, &hold, &error));
    EXPECT_TRUE(fs::exists(folder + "/marker"));
    zipBundle(scratch, "game.zip", "log('third game')");
    run = runPlayer(scratch, "--headless --frames 1 " + zip);
    EXPECT_NE(run.output.find("probe: third game"), std::string::npos) << run.output;
    EXPECT_TRUE(fs::exists(folder + "/marker")) << "the copy a player holds stays";
}

TEST(Bundles, PlayersStartedTogetherOnOneZipAllPlay) {
    ScratchFolder scratch;
    // Each frame, the game checks that its own files are still there; a large file makes
    // unpacking take a while.
    const std::string app = makeBundle(scratch, {.game = "log('zipped game')\n"
                                                         "local source = debug.getinfo(1, 'S').source:sub(2)\n"
                                                         "function onUpdate() assert(io.open(source)):close() end"});
    std::string noise(16 << 20, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    writeFile(app + "/Contents/Resources/noise.bin", noise);
    const std::string zip = scratch.file("game.zip");
    writeZip(zip, bundleEntries(app));
    setenv("XDG_DATA_HOME", scratch.file("data").c_str(), 1);
    setenv("XDG_CACHE_HOME", scratch.file("cache").c_str(), 1);
    std::vector<pid_t> players;
    for (int i = 0; i < 8; ++i) {
        players.push_back(spawn({kPlayer, "--headless", "--frames", "60", zip}, scratch.file("out" + std::to_string(i))));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 2 * 30));
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(waitForExit(players[i], std::chrono::seconds(60)), 0) << readFile(scratch.file("out" + std::to_string(i)));
        EXPECT_NE(readFile(scratch.file("out" + std::to_string(i))).find("probe: zipped game"), std::string::npos);
    }
}

TEST(Bundles, OldCacheSlotsArePrunedButNeverOneBeingPlayed) {
    ScratchFolder scratch;
    const std::string cache = scratch.file("cache");
    std::string first, folder, error;
    std::shared_ptr<QzCacheHold> held, passing;
    ASSERT_TRUE(QzExtractZippedBundle(zipBundle(scratch, "0.zip", "n = 0"), cache, &first, &held, &error)) << error;
    for (int i = 1; i <= 8; ++i) {
        ASSERT_TRUE(QzExtractZippedBundle(zipBundle(scratch, std::to_string(i) + ".zip", "n = " + std::to_string(i)),
                                          cache, &folder, &passing, &error)) << error;
        passing.reset();
    }
    EXPECT_TRUE(fs::exists(first + "/Contents/Info.plist")) << "held by a player";
    int slots = 0;
    for (const auto& entry : fs::directory_iterator(cache)) slots += entry.is_directory();
    EXPECT_LE(slots, 6) << "four kept, the one held and the newest";
}

TEST(Bundles, AnArchiveThatCannotBeUnpackedSaysWhyAndLeavesNothing) {
    ScratchFolder scratch;
    const std::string app = makeBundle(scratch);
    const auto entries = bundleEntries(app);
    std::vector<std::pair<std::string, std::string>> many(20001, {"", ""});
    for (size_t i = 0; i < many.size(); ++i) many[i].first = "f" + std::to_string(i);
    const struct {
        const char* name;
        std::function<void(const std::string& zip)> make;
        const char* message;
    } cases[] = {
        {"outside", [&](const std::string& zip) {
             auto evil = entries;
             evil.emplace_back("../../escaped.txt", "outside");
             evil.emplace_back("/tmp/qz-absolute-escape.txt", "outside");
             writeZip(zip, evil);
         }, "would be written outside the game folder (an absolute path or '..')"},
        {"cut short", [&](const std::string& zip) {
             writeZip(zip, entries);
             fs::resize_file(zip, fs::file_size(zip) / 2);
         }, "it is not a zip archive, or it is damaged or cut short"},
        {"too many entries", [&](const std::string& zip) { writeZip(zip, many); },
         "holds 20001 entries, more than the 20000 a game may hold"},
    };
    for (const auto& c : cases) {
        c.make(scratch.file("bad.zip"));
        const PlayerRun run = runPlayer(scratch, "--headless --frames 1 " + scratch.file("bad.zip"));
        EXPECT_EQ(run.status, 3) << c.name << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.name << "\n" << run.output;
        for (const auto& entry : fs::recursive_directory_iterator(scratch.path()))
            EXPECT_EQ(entry.path().filename().string().find("escaped"), std::string::npos) << entry.path();
        EXPECT_FALSE(fs::exists("/tmp/qz-absolute-escape.txt"));
        const std::string cache = scratch.file("cache") + "/quillane-player/bundles";
        for (const auto& entry : fs::directory_iterator(cache))
            EXPECT_FALSE(entry.is_directory()) << c.name << ": a refused archive leaves nothing behind: " << entry.path();
    }
}

// The bound counts the bytes actually unpacked, whatever the entries' headers claim.
TEST(Bundles, UnpackingStopsAtTheByteBound) {
    ScratchFolder scratch;
    writeZip(scratch.file("big.zip"), {{"small", std::string(3000, 'a')}, {"large", std::string(5000, 'b')}});
    fs::create_directories(scratch.file("out"));
    std::string error;
    EXPECT_FALSE(QzExtractArchive(scratch.file("big.zip"), scratch.file("out"), {6000, 10}, &error));
    EXPECT_NE(error.find("unpacks to more than 6000 bytes"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(scratch.file("out/large"))) << "no part of the entry that passed the bound";
    EXPECT_TRUE(QzExtractArchive(scratch.file("big.zip"), scratch.file("out"), {8000, 10}, &error)) << error;
}

}  // namespace
