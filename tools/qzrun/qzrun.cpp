// qzrun: runs an engine script headless in a real engine state, for tests and debugging.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "QzEngine.h"
#include "QzNotificationCenter.h"
#include "QzOffscreenGL.h"
#include "SoundManager.h"

namespace {

struct Options {
    const char* script = nullptr;
    const char* savePath = nullptr;
    const char* projectPath = nullptr;
    long frames = 0;
    float dt = 1.0f / 60.0f;
    bool pool = false;
    int glWidth = 0;   // 0: no OpenGL context
    int glHeight = 0;
    const char* screenshot = nullptr;
};

void usage() {
    std::fprintf(stderr,
                 "usage: qzrun SCRIPT [--save PATH] [--project PATH] [--frames N] [--dt SECONDS] [--pool]\n"
                 "             [--gl WIDTHxHEIGHT] [--screenshot FILE.png]\n"
                 "  SCRIPT      engine script, Lua source or precompiled by our luac\n"
                 "  --save      save path prefix (the store file is PATH followed by persistent.save)\n"
                 "  --project   project path handed to Qz_LoadGame\n"
                 "  --frames    number of Qz_Update calls (default 0)\n"
                 "  --dt        seconds passed to each Qz_Update (default 1/60)\n"
                 "  --pool      run the interpreter on the pool allocator\n"
                 "  --gl        draw into an off-screen OpenGL context of that size, current during\n"
                 "              every engine call, with the host's drawing state; sound goes to\n"
                 "              OpenAL Soft's null output unless ALSOFT_DRIVERS says otherwise\n"
                 "  --screenshot  write the last frame as a PNG file (needs --gl)\n");
}

// A whole count from 0 up, in decimal digits only; fractions, signs and counts out of range fail.
bool parseCount(const char* text, long* value) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text, &end, 10);
    return *end == '\0' && errno == 0;
}

bool parseNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

// "WIDTHxHEIGHT" with both sides between 1 and 16384.
bool parseSize(const char* text, int* width, int* height) {
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || *end != 'x') return false;
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0' || w < 1 || h < 1 || w > 16384 || h > 16384) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool parseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0;
        if (arg == "--pool") {
            options->pool = true;
        } else if (arg == "--save" && hasValue) {
            options->savePath = argv[++i];
        } else if (arg == "--project" && hasValue) {
            options->projectPath = argv[++i];
        } else if (arg == "--frames" && hasValue && parseCount(argv[++i], &options->frames)) {
        } else if (arg == "--dt" && hasValue && parseNumber(argv[++i], &number)) {
            options->dt = static_cast<float>(number);
        } else if (arg == "--gl" && hasValue &&
                   parseSize(argv[++i], &options->glWidth, &options->glHeight)) {
        } else if (arg == "--screenshot" && hasValue) {
            options->screenshot = argv[++i];
        } else if (arg[0] != '-' && !options->script) {
            options->script = argv[i];
        } else {
            std::fprintf(stderr, "qzrun: bad argument \"%s\"\n", argv[i]);
            return false;
        }
    }
    if (options->screenshot && options->glWidth == 0) {
        std::fprintf(stderr, "qzrun: --screenshot needs --gl WIDTHxHEIGHT\n");
        return false;
    }
    return options->script != nullptr;
}

// Writes the current frame of the context as a PNG file.
bool writeScreenshot(const QzOffscreenGL& gl, const char* path) {
    std::string error;
    if (!QzWritePNG(path, gl.readPixels(), gl.width(), gl.height(), &error)) {
        std::fprintf(stderr, "qzrun: screenshot: %s\n", error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        usage();
        return 2;
    }

    // A headless run plays sound into OpenAL Soft's null output unless the environment chooses
    // an output, so scripts can make and play sounds on machines without a sound card.
    if (options.glWidth > 0) setenv("ALSOFT_DRIVERS", "null", 0);

    // Made first and destroyed last, so it is current for every engine call, shutdown
    // included (one thread: it never stops being current).
    std::unique_ptr<QzOffscreenGL> gl;
    if (options.glWidth > 0) {
        std::string error;
        gl = QzOffscreenGL::create(options.glWidth, options.glHeight, &error);
        if (!gl) {
            std::fprintf(stderr, "qzrun: no off-screen OpenGL context: %s\n", error.c_str());
            return 1;
        }
    }

    // Debug statements go to standard output, one a line.
    QzNotificationCenter::defaultCenter().addObserver(
        "QzLogDebugStatementNotification", [](const std::string&, const QzNotificationUserInfo& userInfo) {
            const auto statement = userInfo.find("debugStatement");
            if (statement != userInfo.end()) std::printf("%s\n", statement->second.c_str());
            std::fflush(stdout);
        });

    QzState* state = Qz_NewState(options.pool ? 1 : 0);
    int failures = 0;
    auto fail = [&](const std::string& what) {
        ++failures;
        const char* message = Qz_LastSilentError(state);
        std::fprintf(stderr, "qzrun: %s failed%s%s\n", what.c_str(), message ? ": " : "", message ? message : "");
        Qz_ClearLastSilentError(state);
    };

    if (Qz_Init(state, options.script, options.savePath) != 0) {
        const char* message = lua_tostring(state->L, -1);
        std::fprintf(stderr, "qzrun: initEngine failed: %s\n", message ? message : "(no message)");
        lua_settop(state->L, 0);
        ++failures;
    }
    if (options.projectPath) {
        Qz_LoadGame(state, options.projectPath);
        if (Qz_LastSilentError(state)) fail("loading the project");
    }
    for (long frame = 0; frame < options.frames; ++frame) {
        // As the player's frame loop does: the script's sound context is current for the frame.
        SoundManager_MakeCurrent(SoundManager_FromLuaState(state->L));
        if (Qz_Update(state, options.dt) != 0) fail("frame " + std::to_string(frame + 1) + ": update");
    }

    if (options.screenshot && !writeScreenshot(*gl, options.screenshot)) ++failures;

    const int reported = state->errorsReported;
    Qz_DestroyState(state);
    if (reported > 0) std::fprintf(stderr, "qzrun: %d error(s) reported\n", reported);
    if (failures > 0 || reported > 0) {
        std::fprintf(stderr, "qzrun: FAILED\n");
        return 1;
    }
    return 0;
}
