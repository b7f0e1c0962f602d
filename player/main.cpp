// quillane-player: plays a game bundle in a window, or headless.
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "QzGamePacker.h"
#include "QzHeadless.h"
#include "QzImageLoader.h"
#include "QzMainQueue.h"
#include "QzPlayerOptions.h"
#include "QzPlayerVersion.h"
#include "QzQuitSignals.h"
#include "QzWindowPlayer.h"

namespace {

// Adds the player's font rules (beside the program) to this process's font configuration,
// before any text is drawn: the font table's families then fall back to faces of their kind.
void usePlayerFontRules() {
    const std::string path = QzResourcePath("quillane-fonts.conf");
    std::error_code failure;
    FcConfig* config = FcConfigGetCurrent();
    if (!std::filesystem::is_regular_file(path, failure) || !config ||
        !FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(path.c_str()), FcTrue)) {
        std::fprintf(stderr, "quillane-player: warning: cannot read the font rules '%s': text in fonts such as "
                             "Baskerville is drawn in the default face\n", path.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // From the start: unpacking a large archive or loading a game may take a while.
    QzHandleQuitSignals();
    // Key-value reports from scripts and proxy releases are queued for this thread, which
    // runs them in its loop.
    QzMainQueueBecomeMainThread();
    // The game's log lines reach a file or a pipe as they are written, as on a terminal, so
    // that whoever watches the output sees what the game is doing while it plays.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QzPlayerOptions options;
    std::string error;
    if (!QzParsePlayerOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "quillane-player: %s\n", error.c_str());
        return kQzExitUsage;
    }
    if (options.help) {
        std::fputs(QzPlayerUsage(), stdout);
        return kQzExitOK;
    }
    if (options.version) {
        std::fputs(QzPlayerVersionText().c_str(), stdout);
        return kQzExitOK;
    }
    usePlayerFontRules();
    if (!options.pack.empty()) {
        // The project is checked first: a game with problems is not packed.
        QzBundle project;
        if (!QzOpenProjectFolder(options.pack, &project, &error)) {
            std::fprintf(stderr, "quillane-player: cannot pack: %s\n", error.c_str());
            return kQzExitBadBundle;
        }
        QzPlayerOptions check;
        check.check = check.headless = true;
        if (const int status = QzRunHeadless(check, project, ""); status != kQzExitOK) {
            std::fprintf(stderr, "quillane-player: not packed: mend the problems listed above first\n");
            return status;
        }
        if (!QzPackGame(options.pack, options.output, &error)) {
            std::fprintf(stderr, "quillane-player: cannot pack: %s\n", error.c_str());
            return kQzExitBadBundle;
        }
        std::printf("quillane-player: packed %s into %s\n", options.pack.c_str(), options.output.c_str());
        return kQzExitOK;
    }
    QzBundle bundle;
    std::string savePath;
    if (!QzResolveBundle(options.bundle, &bundle, &savePath, &error)) {
        std::fprintf(stderr, "quillane-player: %s\n", error.c_str());
        return kQzExitBadBundle;
    }
    // The engine script the player ships is trusted; another one runs with the user's rights
    // (precompiled chunks can reach native memory), so the user is told, or it is refused.
    if (QzEngineScriptHash(bundle) != kQzShippedEngineHash) {
        if (options.trustedOnly) {
            std::fprintf(stderr,
                         "quillane-player: %s brings its own engine script, not the one this player ships; "
                         "refused (--trusted-only)\n",
                         bundle.folder.c_str());
            return kQzExitBadBundle;
        }
        std::fprintf(stderr,
                     "quillane-player: warning: %s brings its own engine script, not the one this player ships: "
                     "it runs with your rights and can read and change your files; play it only if you trust "
                     "where it came from\n",
                     bundle.folder.c_str());
    }
    // A check leaves the player's saved data alone: the game runs without its database.
    if (options.check) savePath.clear();
    return options.headless ? QzRunHeadless(options, bundle, savePath) : QzRunWindowPlayer(options, bundle, savePath);
}
