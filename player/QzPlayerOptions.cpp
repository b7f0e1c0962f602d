// Command-line parsing, the help text and bundle resolution of quillane-player.
#include "QzPlayerOptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "QzShippedFiles.h"

namespace {

bool parseSize(const std::string& text, int* width, int* height) {
    char* end = nullptr;
    const long w = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != 'x') return false;
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0' || w < 1 || h < 1 || w > 16384 || h > 16384) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool parseCount(const std::string& text, long* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

bool parseSeconds(const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(*value) && *value > 0 && *value <= 10;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The first bundle folder (NAME.app) in the games folder the player ships, in name order.
std::string defaultBundle(const std::string& games) {
    std::vector<std::string> bundles;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(games, ignored))
        if (entry.is_directory(ignored) && endsWith(entry.path().filename().string(), ".app"))
            bundles.push_back(entry.path().string());
    return bundles.empty() ? "" : *std::min_element(bundles.begin(), bundles.end());
}

}  // namespace

const char* QzPlayerUsage() {
    return "usage: quillane-player [options] [BUNDLE | GAME.zip | NAME.gameproj]\n"
           "Plays a game bundle (a folder with Contents/Info.plist and Contents/Resources/engine64.luo),\n"
           "a zipped bundle, or a game project folder with the engine script the player ships. Without\n"
           "an argument it plays the first bundle of the games folder the player ships (beside it, or in\n"
           "../share/quillane-player/games).\n"
           "\n"
           "  --help               show this help and exit\n"
           "  --version            show the versions of the player and its libraries and exit\n"
           "  --debug              draw the last script error and its stack trace over the game\n"
           "  --headless           run without a window, on an off-screen OpenGL context, with a\n"
           "                       fixed time step\n"
           "  --size WxH           (headless) picture size; default: the game's intended size\n"
           "  --frames N           number of frames to run (headless default 60; in a window:\n"
           "                       quit after N frames, default: until the window closes)\n"
           "  --dt SECONDS         (headless) time step per frame, default 1/60\n"
           "  --screenshot F.png   write the last frame as a PNG file\n"
           "  --input FILE         (headless) replay an input timeline: lines \"FRAME keydown NAME\",\n"
           "                       \"FRAME keyup NAME\", \"FRAME mousedown|mouseup|mousemove X Y\"\n"
           "                       (game coordinates), \"FRAME text TEXT\" and \"FRAME wait\" (the frame\n"
           "                       waits for a line of standard input)\n"
           "  --audio FILE.wav     (headless) record the game's sound, rendered in step with the frames\n"
           "  --memory-limit MB    the most memory the game's scripts may hold, default 1024; 0 for\n"
           "                       no limit (a script needing more gets \"not enough memory\")\n"
           "  --trusted-only       refuse a game that brings its own engine script (exit status 3)\n"
           "  --timing             print launch-to-first-frame time and frame-time statistics at exit\n"
           "  --no-vsync           (benchmarks) no vertical sync, frames drawn back to back\n"
           "  --check              load the game headless, read every document, behaviour, picture and\n"
           "                       sound it names, visit each scene of game.xml for two frames and list\n"
           "                       the problems found; exit 0 clean, 1 with problems\n"
           "  --watch              reload the project's files when they change while the game plays:\n"
           "                       a picture or sound in place, a scene document, behaviour or table\n"
           "                       by restarting the scene, game.xml by restarting the game; a change\n"
           "                       that does not load is reported and the running version stays\n"
           "                       (a project folder or an unzipped bundle; headless: looked for before\n"
           "                       every frame)\n"
           "  --stats              draw what frames cost over the game (F3 in a window turns it on\n"
           "                       and off); headless, also print a line of costs on standard output\n"
           "                       each second of game time and one for the whole run at the end\n"
           "  --quiet              (window) do not show problems reported while playing as notes\n"
           "                       at the bottom of the window\n"
           "  --pack NAME.gameproj --output OUT\n"
           "                       make a complete bundle of the project instead of playing: OUT.app\n"
           "                       a bundle folder, OUT.zip or OUT.qzgame a zipped bundle\n"
           "\n"
           "Keys: F11 or Alt+Enter toggles full screen, Escape leaves it. F3 shows or hides the costs.\n"
           "Saved data lives in $XDG_DATA_HOME/<CFBundleName>/ (else ~/.local/share/<CFBundleName>/).\n"
           "Exit status: 0 done; 1 a script error or a problem of the game was reported (headless);\n"
           "2 bad command line; 3 the bundle or its save folder cannot be used; 4 no window or OpenGL\n"
           "context; 5 no sound device to record --audio with; 128 + N ended by signal N (SIGINT,\n"
           "SIGTERM; a second signal ends the player at once).\n";
}

bool QzParsePlayerOptions(int argc, char** argv, QzPlayerOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : "";
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--headless") {
            options->headless = true;
        } else if (arg == "--debug") {
            options->debug = true;
        } else if (arg == "--check") {
            options->check = true;
            options->headless = true;
        } else if (arg == "--timing") {
            options->timing = true;
        } else if (arg == "--no-vsync") {
            options->noVsync = true;
        } else if (arg == "--trusted-only") {
            options->trustedOnly = true;
        } else if (arg == "--watch") {
            options->watch = true;
        } else if (arg == "--stats") {
            options->stats = true;
        } else if (arg == "--quiet") {
            options->quiet = true;
        } else if (arg == "--size" || arg == "--frames" || arg == "--dt" || arg == "--screenshot" ||
                   arg == "--input" || arg == "--audio" || arg == "--memory-limit" || arg == "--pack" ||
                   arg == "--output") {
            ++i;
            if (!hasValue) ok = false;
            else if (arg == "--size") ok = parseSize(value, &options->width, &options->height);
            else if (arg == "--frames") ok = parseCount(value, &options->frames);
            else if (arg == "--dt") ok = parseSeconds(value, &options->dt);
            else if (arg == "--memory-limit") ok = parseCount(value, &options->memoryLimitMegabytes) &&
                                                   options->memoryLimitMegabytes <= (1L << 30);
            else if (arg == "--screenshot") options->screenshot = value;
            else if (arg == "--input") options->input = value;
            else if (arg == "--pack") options->pack = value;
            else if (arg == "--output") options->output = value;
            else options->audio = value;
            if (!ok) {
                *error = "bad value for " + arg + (hasValue ? ": \"" + value + "\"" : ": it needs one") +
                         " (see --help)";
                return false;
            }
        } else if (!arg.empty() && arg[0] != '-' && options->bundle.empty()) {
            options->bundle = arg;
        } else {
            *error = "unknown argument \"" + arg + "\" (see --help)";
            return false;
        }
    }
    if (options->pack.empty() != options->output.empty() || (!options->pack.empty() && !options->bundle.empty())) {
        *error = "--pack PROJECT and --output BUNDLE go together, without a bundle to play";
        return false;
    }
    if (options->watch && (options->check || !options->pack.empty())) {
        *error = "--watch plays the game; it does not go with --check or --pack";
        return false;
    }
    if (options->watch && !options->bundle.empty() && QzIsZippedBundlePath(options->bundle)) {
        *error = "--watch needs a project folder (NAME.gameproj) or an unzipped bundle folder; " + options->bundle +
                 " is a zipped bundle: play the project folder it was packed from, or unzip it and play that";
        return false;
    }
    if (!options->headless && (!options->input.empty() || !options->audio.empty() || options->width > 0)) {
        *error = "--size, --input and --audio work only with --headless";
        return false;
    }
    return true;
}

// A zipped bundle is a .zip or .qzgame file (the file type the desktop opens with the player);
// any other file is tried as one too, since a folder is what a bundle else is.
bool QzIsZippedBundlePath(const std::string& argument) {
    std::string lowered = argument;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    std::error_code ignored;
    return endsWith(lowered, ".zip") || endsWith(lowered, ".qzgame") || std::filesystem::is_regular_file(argument, ignored);
}

bool QzResolveBundle(const std::string& argument, QzBundle* bundle, std::string* savePath, std::string* error) {
    const std::string games = QzFindShippedFile("games");
    std::string folder = argument.empty() && !games.empty() ? defaultBundle(games) : argument;
    if (folder.empty()) {
        *error = "no bundle given and no default bundle (NAME.app) in the games folder beside the program or in " +
                 QzProgramDirectory() + "/../share/quillane-player/games; give the path of a game bundle";
        return false;
    }
    std::shared_ptr<QzCacheHold> hold;
    if (QzIsZippedBundlePath(folder)) {
        const std::string cache = QzUserCacheHome();
        if (cache.empty()) {
            *error = "cannot unpack " + folder + ": neither XDG_CACHE_HOME nor HOME is set to an absolute path; set one";
            return false;
        }
        const std::string zipPath = folder;
        if (!QzExtractZippedBundle(zipPath, cache + "/quillane-player/bundles", &folder, &hold, error)) return false;
    }
    if (QzIsProjectPath(folder) ? !QzOpenProjectFolder(folder, bundle, error)
                                : !QzOpenBundleFolder(folder, bundle, error))
        return false;
    bundle->cacheHold = hold;
    const std::string dataHome = QzUserDataHome();
    if (dataHome.empty()) {
        std::fprintf(stderr, "quillane-player: warning: neither XDG_DATA_HOME nor HOME is set to an absolute path, so "
                             "there is no folder for saved games: the game runs without saving; set one to keep them\n");
        savePath->clear();
        return true;
    }
    return QzPrepareSaveFolder(dataHome, bundle->info.bundleName, savePath, error);
}
