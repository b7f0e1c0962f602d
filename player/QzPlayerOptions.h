// The command line of quillane-player and how a bundle argument becomes an opened bundle.
#ifndef QZ_PLAYER_OPTIONS_H
#define QZ_PLAYER_OPTIONS_H

#include <string>

#include "QzBundle.h"

// Exit statuses.
constexpr int kQzExitOK = 0;
constexpr int kQzExitScriptError = 1;  // headless: a script error or a problem of the game was reported
constexpr int kQzExitUsage = 2;
constexpr int kQzExitBadBundle = 3;    // the bundle or its save folder cannot be used
constexpr int kQzExitNoDisplay = 4;    // no window or OpenGL context could be made
constexpr int kQzExitNoRecorder = 5;   // --audio: no loopback sound device to record with
// Ended by a quit signal: 128 + the signal's number, as a shell reports it.

struct QzPlayerOptions {
    std::string bundle;  // folder or .zip; empty: the default bundle
    bool help = false;
    bool version = false;
    bool headless = false;
    bool debug = false;
    bool timing = false;
    bool noVsync = false;  // benchmarks: no vertical sync, frames back to back
    bool trustedOnly = false;  // refuse a bundle whose engine script is not the one shipped
    bool stats = false;  // the costs overlay; headless, a line of costs each second of game time
    bool quiet = false;  // no notes of problems over the game in a window
    int width = 0;  // 0: the game's intended size
    int height = 0;
    long frames = -1;  // -1: headless 60, window unlimited
    double dt = 1.0 / 60.0;
    std::string screenshot;
    std::string input;
    std::string audio;
    // The most memory the game's interpreter may hold; a script that needs more is stopped
    // with "not enough memory". 0: no limit.
    long memoryLimitMegabytes = 1024;
    bool check = false;  // --check: visit every scene once headless and report the game's problems
    std::string pack;    // --pack: the project folder to pack instead of playing
    std::string output;  // --output: the bundle folder or archive --pack makes
    bool watch = false;  // --watch: reload the project's files when they change while playing
};

// False with error set for an unknown option or a malformed value.
bool QzParsePlayerOptions(int argc, char** argv, QzPlayerOptions* options, std::string* error);
const char* QzPlayerUsage();

// Whether the bundle argument names a zipped bundle: a .zip or .qzgame file, or any other file
// (a bundle is otherwise a folder).
bool QzIsZippedBundlePath(const std::string& argument);

// The folder or zip named by options.bundle (or the default bundle) opened and checked, its
// save folder made. Without any folder for saved games, warns and leaves savePath empty (the
// game runs without the database). False with error set to the message for the user.
bool QzResolveBundle(const std::string& argument, QzBundle* bundle, std::string* savePath, std::string* error);

#endif
