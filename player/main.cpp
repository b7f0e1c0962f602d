// quillane-player: plays a game bundle in a window, or headless.
#include <cstdio>
#include <string>

#include "QzHeadless.h"
#include "QzPlayerOptions.h"
#include "QzWindowPlayer.h"

int main(int argc, char** argv) {
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
    QzBundle bundle;
    std::string savePath;
    if (!QzResolveBundle(options.bundle, &bundle, &savePath, &error)) {
        std::fprintf(stderr, "quillane-player: %s\n", error.c_str());
        return kQzExitBadBundle;
    }
    return options.headless ? QzRunHeadless(options, bundle, savePath) : QzRunWindowPlayer(options, bundle, savePath);
}
