// quillane-player: plays a game bundle in a window, or headless.
#include <cstdio>
#include <string>

#include "QzHeadless.h"
#include "QzPlayerOptions.h"
#include "QzPlayerVersion.h"
#include "QzQuitSignals.h"
#include "QzWindowPlayer.h"

int main(int argc, char** argv) {
    // From the start: unpacking a large archive or loading a game may take a while.
    QzHandleQuitSignals();
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
    QzBundle bundle;
    std::string savePath;
    if (!QzResolveBundle(options.bundle, &bundle, &savePath, &error)) {
        std::fprintf(stderr, "quillane-player: %s\n", error.c_str());
        return kQzExitBadBundle;
    }
    return options.headless ? QzRunHeadless(options, bundle, savePath) : QzRunWindowPlayer(options, bundle, savePath);
}
