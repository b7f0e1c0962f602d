// Benchmark program: Brickfall's start-up to the first drawn frame of its title scene, and
// 1,800 frames of play (the paddle following the ball, so the game never ends) with their
// mean and 99th percentile, against the same frames of an empty one-scene project.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include <lauxlib.h>

#include "QzEngine.h"
#include "QzOffscreenGL.h"
#include "SGGL.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kChunk = std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo";
const std::string kBrickfall =
    std::string(QZ_BINARY_DIR) + "/games/Brickfall.app/Contents/Resources/Brickfall.gameproj";
const std::string kEmpty = std::string(QZ_BINARY_DIR) + "/bench/empty.gameproj";
constexpr int kFrames = 1800;
constexpr float kStep = 1.0f / 60;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void writeEmptyProject() {
    mkdir(kEmpty.c_str(), 0755);
    mkdir((kEmpty + "/scenes").c_str(), 0755);
    std::ofstream(kEmpty + "/game.xml") << "<game width=\"480\" height=\"320\"><scenes>"
                                           "<scene name=\"empty\" file=\"scenes/empty.xml\"/></scenes></game>\n";
    std::ofstream(kEmpty + "/scenes/empty.xml") << "<scene name=\"empty\"><layer/></scene>\n";
}

// Keeps the paddle under the ball through the engine's mouse call, as a player would, a little
// to one side or the other so that the ball goes off at changing angles.
void followBall(QzState* state, int frame) {
    lua_State* L = state->L;
    luaL_dostring(L, "local ball = game.scene and game.scene:actorNamed('ball') return ball and ball.x or 240");
    const float x = static_cast<float>(lua_tonumber(L, -1));
    lua_settop(L, 0);
    Qz_MouseMoved(state, x + ((frame / 97) % 5 - 2) * 9.0f, 20);
}

struct Figures {
    double startup = 0;
    double mean = 0;
    double p99 = 0;
};

// Starts the project, then plays kFrames frames; every frame includes glFinish, so drawing
// is counted. The game is started (space, twice: the title, then the launch) when `play`.
Figures measure(const std::string& project, bool play) {
    Figures figures;
    const Clock::time_point start = Clock::now();
    QzState* state = Qz_NewState(0);
    Qz_Init(state, kChunk.c_str(), nullptr);
    Qz_LoadGame(state, project.c_str());
    Qz_Update(state, kStep);
    glFinish();
    figures.startup = millisecondsSince(start);
    if (play) {
        for (int press = 0; press < 2; ++press) {
            Qz_KeyDown(state, "space");
            Qz_Update(state, kStep);
            Qz_KeyUp(state, "space");
        }
    }
    std::vector<double> times;
    times.reserve(kFrames);
    for (int frame = 0; frame < kFrames; ++frame) {
        const Clock::time_point begin = Clock::now();
        if (play) followBall(state, frame);
        Qz_Update(state, kStep);
        glFinish();
        times.push_back(millisecondsSince(begin));
    }
    Qz_DestroyState(state);
    figures.mean = std::accumulate(times.begin(), times.end(), 0.0) / kFrames;
    std::sort(times.begin(), times.end());
    figures.p99 = times[static_cast<size_t>(kFrames * 0.99)];
    return figures;
}

}  // namespace

int main() {
    std::string error;
    auto gl = QzOffscreenGL::create(480, 320, &error);
    if (!gl) {
        std::fprintf(stderr, "brickfall_frames: no off-screen OpenGL context: %s\n", error.c_str());
        return 1;
    }
    writeEmptyProject();
    measure(kEmpty, false);  // warms up the drawing and sound drivers for both runs
    const Figures empty = measure(kEmpty, false);
    const Figures game = measure(kBrickfall, true);
    std::printf("%-10s %12s %14s %14s\n", "project", "startup ms", "frame mean ms", "frame p99 ms");
    std::printf("%-10s %12.2f %14.3f %14.3f\n", "empty", empty.startup, empty.mean, empty.p99);
    std::printf("%-10s %12.2f %14.3f %14.3f\n", "brickfall", game.startup, game.mean, game.p99);
    std::printf("ratio      %12.2f %14.2f %14.2f\n", game.startup / empty.startup, game.mean / empty.mean,
                game.p99 / empty.p99);
    return 0;
}
