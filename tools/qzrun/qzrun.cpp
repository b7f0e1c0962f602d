// qzrun: runs an engine script headless in a real engine state, for tests and debugging.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <lauxlib.h>

#include "QzEngine.h"
#include "QzInputEvent.h"
#include "QzNotificationCenter.h"
#include "QzOffscreenGL.h"
#include "SoundManager.h"

namespace {

struct Options {
    const char* script = nullptr;
    std::string savePath;  // empty: no store
    const char* projectPath = nullptr;
    long frames = 0;
    float dt = 1.0f / 60.0f;
    bool pool = false;
    int glWidth = 0;   // 0: no OpenGL context
    int glHeight = 0;
    const char* screenshot = nullptr;
    const char* input = nullptr;
};

void usage() {
    std::fprintf(stderr,
                 "usage: qzrun SCRIPT [--save PATH] [--project PATH] [--frames N] [--dt SECONDS] [--pool]\n"
                 "             [--gl WIDTHxHEIGHT] [--screenshot FILE.png] [--input FILE]\n"
                 "  SCRIPT      engine script, Lua source or precompiled by our luac\n"
                 "  --save      save path prefix (the store file is PATH followed by persistent.save)\n"
                 "  --project   project path handed to Qz_LoadGame\n"
                 "  --frames    number of Qz_Update calls (default 0)\n"
                 "  --dt        seconds passed to each Qz_Update (default 1/60)\n"
                 "  --pool      run the interpreter on the pool allocator\n"
                 "  --gl        draw into an off-screen OpenGL context of that size, current during\n"
                 "              every engine call, with the host's drawing state; sound goes to\n"
                 "              OpenAL Soft's null output unless ALSOFT_DRIVERS says otherwise\n"
                 "  --screenshot  write the last frame as a PNG file (needs --gl)\n"
                 "  --input     a timeline, one event a line: FRAME keyDown|keyUp NAME,\n"
                 "              FRAME mouseDown|mouseUp|mouseMoved X Y, FRAME text WORDS (typed into\n"
                 "              the text panel the script asked for, and finished), FRAME pause|play\n"
                 "              (the window lost or got the focus), FRAME wait (for a line on standard\n"
                 "              input) or FRAME screenshot FILE.png; gamepad lines are\n"
                 "              ignored with a message (quillane-player plays them);\n"
                 "              events come before that frame's update, screenshots after it;\n"
                 "              external function calls are printed\n");
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
            // An existing folder holds the store: its path gets the separator the prefix needs.
            std::error_code error;
            if (!options->savePath.empty() && options->savePath.back() != '/' && std::filesystem::is_directory(options->savePath, error))
                options->savePath += '/';
        } else if (arg == "--project" && hasValue) {
            options->projectPath = argv[++i];
        } else if (arg == "--frames" && hasValue && parseCount(argv[++i], &options->frames)) {
        } else if (arg == "--dt" && hasValue && parseNumber(argv[++i], &number)) {
            options->dt = static_cast<float>(number);
        } else if (arg == "--gl" && hasValue &&
                   parseSize(argv[++i], &options->glWidth, &options->glHeight)) {
        } else if (arg == "--screenshot" && hasValue) {
            options->screenshot = argv[++i];
        } else if (arg == "--input" && hasValue) {
            options->input = argv[++i];
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

// Reads an --input timeline; a line that does not parse is reported with its number.
bool readTimeline(const char* path, bool haveGL, std::vector<QzTimedInputEvent>* events) {
    std::ifstream file(path);
    std::string error;
    if (!file) error = "cannot be read";
    if (file && QzReadInputTimeline(file, events, &error)) {
        const bool screenshots = std::any_of(events->begin(), events->end(), [](const QzTimedInputEvent& event) {
            return event.action == QzTimedInputEvent::Action::Screenshot;
        });
        if (!screenshots || haveGL) return true;
        error = "screenshot lines need --gl";
    }
    std::fprintf(stderr, "qzrun: input timeline \"%s\": %s\n", path, error.c_str());
    return false;
}

// Whether the script has asked for text (KeyboardInput) and not had its answer yet.
bool textRequested = false;

// Delivers one timeline event through the engine host before the frame's update; returns the
// call's status. Typed text answers the script's text request, as the player's panel does.
int deliver(QzState* state, const QzTimedInputEvent& timed) {
    const QzInputEvent& event = timed.event;
    switch (timed.action) {
    case QzTimedInputEvent::Action::Pause: Qz_SystemInitiatedPause(state); return 0;
    case QzTimedInputEvent::Action::Play: Qz_Play(state); return 0;
    case QzTimedInputEvent::Action::Screenshot: return 0;
    case QzTimedInputEvent::Action::Wait: QzWaitForInputLine(timed.frame); return 0;
    case QzTimedInputEvent::Action::Input: break;
    }
    switch (event.kind) {
    case QzInputEvent::Kind::KeyDown: return Qz_KeyDown(state, event.text.c_str());
    case QzInputEvent::Kind::KeyUp: return Qz_KeyUp(state, event.text.c_str());
    case QzInputEvent::Kind::MouseDown: return Qz_MouseDown(state, event.x, event.y);
    case QzInputEvent::Kind::MouseUp: return Qz_MouseUp(state, event.x, event.y);
    case QzInputEvent::Kind::MouseMoved: return Qz_MouseMoved(state, event.x, event.y);
    case QzInputEvent::Kind::Text: break;
    case QzInputEvent::Kind::GamepadDown:
    case QzInputEvent::Kind::GamepadUp:
    case QzInputEvent::Kind::GamepadAxis:
    case QzInputEvent::Kind::GamepadAdded:
    case QzInputEvent::Kind::GamepadRemoved:
        std::fprintf(stderr, "qzrun: frame %ld: %s ignored: game controllers are played by quillane-player\n",
                     timed.frame, QzInputFunctionName(event.kind));
        return 0;
    }
    if (!textRequested) {
        std::fprintf(stderr, "qzrun: frame %ld: text \"%s\" ignored: the script has not asked for text\n", timed.frame,
                     event.text.c_str());
        return 0;
    }
    textRequested = false;
    const char* const arguments[] = {event.text.c_str()};
    return Qz_RaiseExternalEvent(state, "keyboardInputEntered", arguments, 1);
}

// Stands in for the player's external functions (the text panel, the browser): prints the
// call on standard output, "qzrun: external NAME ARGUMENTS...", and returns nothing.
int32_t printExternalCall(void*, lua_State* L) {
    std::string line = "qzrun: external";
    for (int index = 1; index <= lua_gettop(L); ++index) {
        const char* text = lua_type(L, index) == LUA_TBOOLEAN ? (lua_toboolean(L, index) ? "true" : "false")
                                                               : lua_tostring(L, index);
        line += " ";
        line += text ? text : luaL_typename(L, index);
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    const char* name = lua_tostring(L, 1);
    if (name && std::strcmp(name, "KeyboardInput") == 0) textRequested = true;
    return 0;
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

    std::vector<QzTimedInputEvent> timeline;
    if (options.input && !readTimeline(options.input, gl != nullptr, &timeline)) return 2;

    // Debug statements go to standard output, one a line.
    QzNotificationCenter::defaultCenter().addObserver(
        "QzLogDebugStatementNotification", [](const std::string&, const QzNotificationUserInfo& userInfo) {
            const auto statement = userInfo.find("debugStatement");
            if (statement != userInfo.end()) std::printf("%s\n", statement->second.c_str());
            std::fflush(stdout);
        });

    QzState* state = Qz_NewState(options.pool ? 1 : 0);
    state->callExternalFunction = printExternalCall;
    int failures = 0;
    auto fail = [&](const std::string& what) {
        ++failures;
        const char* message = Qz_LastSilentError(state);
        std::fprintf(stderr, "qzrun: %s failed%s%s\n", what.c_str(), message ? ": " : "", message ? message : "");
        Qz_ClearLastSilentError(state);
    };

    if (Qz_Init(state, options.script, options.savePath.empty() ? nullptr : options.savePath.c_str()) != 0) {
        const char* message = lua_tostring(state->L, -1);
        std::fprintf(stderr, "qzrun: initEngine failed: %s\n", message ? message : "(no message)");
        lua_settop(state->L, 0);
        ++failures;
    }
    if (options.projectPath) {
        Qz_LoadGame(state, options.projectPath);
        if (Qz_LastSilentError(state)) fail("loading the project");
    }
    for (long frame = 1; frame <= options.frames; ++frame) {
        const std::string name = "frame " + std::to_string(frame);
        // As the player's frame loop does: the script's sound context is current for the frame.
        SoundManager_MakeCurrent(SoundManager_FromLuaState(state->L));
        for (const QzTimedInputEvent& event : timeline) {
            if (event.frame == frame && deliver(state, event) != 0) fail(name + ": input");
        }
        // As the player's frame loop does: the script's sound context is current for the frame.
        SoundManager_MakeCurrent(SoundManager_FromLuaState(state->L));
        if (Qz_Update(state, options.dt) != 0) fail(name + ": update");
        for (const QzTimedInputEvent& event : timeline) {
            if (event.frame == frame && event.action == QzTimedInputEvent::Action::Screenshot &&
                !writeScreenshot(*gl, event.event.text.c_str())) {
                ++failures;
            }
        }
    }

    if (options.screenshot && !writeScreenshot(*gl, options.screenshot)) ++failures;

    // The engine script may count the problems of the game that it reported itself.
    int reported = state->errorsReported;
    if (luaL_dostring(state->L, "return type(problemsReported) == 'function' and problemsReported() or 0") == 0)
        reported += static_cast<int>(lua_tointeger(state->L, -1));
    else
        ++reported;
    lua_settop(state->L, 0);
    Qz_DestroyState(state);
    if (reported > 0) std::fprintf(stderr, "qzrun: %d error(s) reported\n", reported);
    if (failures > 0 || reported > 0) {
        std::fprintf(stderr, "qzrun: FAILED\n");
        return 1;
    }
    return 0;
}
