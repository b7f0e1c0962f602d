// Benchmark: the engine script on the feature tour's largest scene (document read, actors
// built, first frame drawn), on a scene of 2,000 actors that each run an update behaviour, on
// a scene of 200 running tweens, on one of 50 running animations, on one of 20 joints, on one
// with all three at once and on a camera following an actor over four parallax layers, each
// against a baseline measured in the same run.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <lauxlib.h>

#include "QzEngine.h"
#include "QzMemoryLimit.h"
#include "QzScriptInterrupt.h"
#include "QzOffscreenGL.h"
#include "SGGL.h"

namespace {

const std::string kChunk = std::string(QZ_BINARY_DIR) + "/enginescript/engine64.luo";
const std::string kTour = std::string(QZ_SOURCE_DIR) + "/games/Tour.gameproj";
const std::string kCrowd = std::string(QZ_BINARY_DIR) + "/bench/crowd.gameproj";
constexpr const char* kLargestScene = "sprites";  // the tour scene with the most actors
constexpr int kCrowdSize = 2000;
const std::string kTweened = std::string(QZ_BINARY_DIR) + "/bench/tweened.gameproj";
constexpr int kTweenCount = 200;
const std::string kJointed = std::string(QZ_BINARY_DIR) + "/bench/jointed.gameproj";
const std::string kUnjointed = std::string(QZ_BINARY_DIR) + "/bench/unjointed.gameproj";
constexpr int kJointCount = 20;
const std::string kStill = std::string(QZ_BINARY_DIR) + "/bench/still.gameproj";
const std::string kAnimated = std::string(QZ_BINARY_DIR) + "/bench/animated.gameproj";
constexpr int kAnimationCount = 50;
const std::string kQuiet = std::string(QZ_BINARY_DIR) + "/bench/quiet.gameproj";
const std::string kBusy = std::string(QZ_BINARY_DIR) + "/bench/busy.gameproj";
const std::string kCameraProject = std::string(QZ_BINARY_DIR) + "/bench/camera.gameproj";

// A layer of `count` sprites of 6 × 6 in rows of `perRow`, `dx` and `dy` apart, each with the
// extra attributes and the child elements made for it.
std::string spritesLayer(int count, int perRow, int dx, int dy, const std::string& extra,
                         std::string (*children)(int index) = nullptr) {
    std::string layer = "<layer>\n";
    for (int i = 0; i < count; ++i) {
        layer += "<sprite x=\"" + std::to_string((i % perRow) * dx) + "\" y=\"" + std::to_string((i / perRow) * dy) +
                 "\" width=\"6\" height=\"6\" " + extra + (children ? ">" + children(i) + "</sprite>\n" : "/>\n");
    }
    return layer + "</layer>";
}

// A project of one scene called `name` holding one layer of sprites (see spritesLayer).
void writeSpritesProject(const std::string& project, const std::string& name, int count, int perRow, int dx, int dy,
                         const std::string& extra, std::string (*children)(int index) = nullptr) {
    for (const char* folder : {"", "/scenes", "/scripts", "/images"}) mkdir((project + folder).c_str(), 0755);
    std::ofstream(project + "/game.xml") << "<game width=\"480\" height=\"320\" startScene=\"" << name
                                         << "\"><scenes><scene name=\"" << name << "\" file=\"scenes/" << name
                                         << ".xml\"/></scenes></game>\n";
    std::ofstream(project + "/scenes/" + name + ".xml")
        << "<scene name=\"" << name << "\">" << spritesLayer(count, perRow, dx, dy, extra, children) << "</scene>\n";
}

// A project whose one scene holds kCrowdSize sprites, each moved by its own behaviour.
void writeCrowdProject() {
    writeSpritesProject(kCrowd, "crowd", kCrowdSize, 50, 9, 8, "behaviour=\"scripts/walk.lua\"");
    std::ofstream(kCrowd + "/scripts/walk.lua")
        << "local speed = 20\n"
           "function onUpdate(dt)\n"
           "  local x = self:position()\n"
           "  if x > 470 or x < 10 then speed = -speed end\n"
           "  self:move(speed * dt, 0)\n"
           "end\n";
}

// A project whose one scene holds kTweenCount sprites named "s" and no behaviour.
void writeTweenedProject() {
    writeSpritesProject(kTweened, "tweened", kTweenCount, 20, 24, 32, "name=\"s\"");
}

// A project of kJointCount pairs of falling bodies that collide with nothing, each pair
// joined (with joints) by a revolute joint with a motor, a distance joint, a prismatic joint
// with limits, a weld or a rope, in turn; without joints the pairs fall apart alike.
void writeJointProject(const std::string& project, bool withJoints, const std::string& otherLayers = "") {
    for (const char* folder : {"", "/scenes", "/images"}) mkdir((project + folder).c_str(), 0755);
    std::ofstream(project + "/game.xml") << "<game width=\"480\" height=\"320\" startScene=\"joints\"><scenes>"
                                            "<scene name=\"joints\" file=\"scenes/joints.xml\"/></scenes></game>\n";
    std::ofstream scene(project + "/scenes/joints.xml");
    scene << "<scene name=\"joints\">" << otherLayers << "<layer>\n";
    for (int i = 0; i < 2 * kJointCount; ++i) {
        scene << "<sprite name=\"b" << i << "\" x=\"" << (i / 2) * 24 << "\" y=\"" << 200 + (i % 2) * 20
              << "\" width=\"8\" height=\"8\"><body categories=\"2\" collidesWith=\"4\"/></sprite>\n";
    }
    scene << "</layer>\n";
    const char* kinds[] = {"type=\"revolute\" motorSpeed=\"90\" maxTorque=\"1000\"", "type=\"distance\"",
                           "type=\"prismatic\" axis=\"0 1\" lower=\"-5\" upper=\"5\"", "type=\"weld\"",
                           "type=\"rope\""};
    for (int k = 0; withJoints && k < kJointCount; ++k) {
        scene << "<joint " << kinds[k % 5] << " a=\"b" << 2 * k << "\" b=\"b" << 2 * k + 1 << "\"/>\n";
    }
    scene << "</scene>\n";
}

// The animation of sprite i: looping or ping-pong, at 6 to 30 frames per second.
std::string animationOf(int i) {
    return "<animation name=\"walk\" columns=\"4\" rows=\"2\" fps=\"" + std::to_string(6 + i % 25) + "\" mode=\"" +
           (i % 2 ? "pingpong" : "loop") + "\"/>";
}

// Two projects of kAnimationCount sprites showing the tour's hopper sheet: still, and each
// playing an animation of its own.
void copyHopperSheet(const std::string& project) {
    std::ifstream in(kTour + "/images/hopper.png", std::ios::binary);
    std::ofstream(project + "/images/hopper.png", std::ios::binary) << in.rdbuf();
}

void writeAnimatedProjects() {
    for (const std::string& project : {kStill, kAnimated}) {
        writeSpritesProject(project, "animated", kAnimationCount, 10, 40, 40, "image=\"hopper.png\"",
                            project == kStill ? nullptr : animationOf);
        copyHopperSheet(project);
    }
}

// Two projects of one scene with kTweenCount sprites named "s", kAnimationCount sprites on the
// hopper sheet and kJointCount pairs of bodies: quiet, and busy (the pairs joined and the sheet
// sprites animated; busy() starts a tween on each "s").
void writeBusyProjects() {
    for (const bool busy : {false, true}) {
        const std::string project = busy ? kBusy : kQuiet;
        writeJointProject(project, busy,
                          spritesLayer(kTweenCount, 20, 24, 16, "name=\"s\"") +
                              spritesLayer(kAnimationCount, 10, 40, 40, "image=\"hopper.png\"", busy ? animationOf : nullptr));
        copyHopperSheet(project);
    }
}

// A project whose one scene has a camera following the sprite "hero" and four layers of 50
// sprites, with parallax 0, 0.5, 1 and 1.5.
void writeCameraProject() {
    for (const char* folder : {"", "/scenes"}) mkdir((kCameraProject + folder).c_str(), 0755);
    std::ofstream(kCameraProject + "/game.xml") << "<game width=\"480\" height=\"320\" startScene=\"camera\"><scenes>"
                                                   "<scene name=\"camera\" file=\"scenes/camera.xml\"/></scenes></game>\n";
    std::ofstream scene(kCameraProject + "/scenes/camera.xml");
    scene << "<scene name=\"camera\"><camera follow=\"hero\" deadzone=\"40 40\" bounds=\"0 0 4000 4000\"/>\n";
    for (const char* parallax : {"0", "0.5", "1", "1.5"}) {
        scene << "<layer parallax=\"" << parallax << "\">\n";
        for (int i = 0; i < 50; ++i) scene << "<sprite x=\"" << i * 20 << "\" y=\"" << i * 6 << "\" width=\"6\" height=\"6\"/>\n";
        scene << "</layer>\n";
    }
    scene << "<layer><sprite name=\"hero\" x=\"240\" y=\"160\" width=\"6\" height=\"6\"/></layer></scene>\n";
}

// The one off-screen context of the run, made before the games and destroyed after them
// (contexts of one process share their display, which the last one closes).
QzOffscreenGL& context() {
    static std::unique_ptr<QzOffscreenGL> gl = [] {
        std::string error;
        auto made = QzOffscreenGL::create(480, 320, &error);
        if (!made) throw std::runtime_error(error);
        return made;
    }();
    return *gl;
}

// An engine state running the engine script on a project.
class Game {
public:
    explicit Game(const std::string& project) {
        context();
        state_ = Qz_NewState(0);
        Qz_Init(state_, kChunk.c_str(), nullptr);
        Qz_LoadGame(state_, project.c_str());
        Qz_Update(state_, 1.0f / 60);
    }
    ~Game() { Qz_DestroyState(state_); }

    void run(const std::string& code) {
        if (luaL_dostring(state_->L, code.c_str()) != 0) {
            std::fprintf(stderr, "%s\n", lua_tostring(state_->L, -1));
            lua_settop(state_->L, 0);
        }
    }
    QzState* state() { return state_; }

private:
    QzState* state_ = nullptr;
};

Game& tour() {
    static Game game(kTour);
    return game;
}

Game& crowd() {
    static Game game((writeCrowdProject(), kCrowd));
    return game;
}

// Starts a tween on each sprite named "s": a move, a turn and growth, or a fade, each with an
// easing of its own, none ending within a run.
void startTweens(Game& game) {
    game.run("local tween, easings = Engine.Behaviours.api.tween, {'quadInOut', 'sineOut', 'elasticOut', 'bounceIn'}\n"
             "for i, actor in ipairs(Engine.game.scene:actorsNamed('s')) do\n"
             "  local easing = easings[i % 4 + 1]\n"
             "  if i % 3 == 0 then tween(actor, {x = actor.x + 50, y = actor.y + 20}, 1e9, easing)\n"
             "  elseif i % 3 == 1 then tween(actor, {angle = 360, scale = 2}, 1e9, easing)\n"
             "  else tween(actor, {alpha = 0, color = {1, 0, 0}}, 1e9, easing) end\n"
             "end\n"
             "if #Engine.game.scene.running ~= " + std::to_string(kTweenCount) + " then error('tweens missing') end");
}

Game& untweened() {
    static Game game((writeTweenedProject(), kTweened));
    return game;
}

// The same scene in a second state, each sprite with a tween that runs for the whole
// benchmark: a third move, a third turn and grow, a third fade, with easings of each kind.
Game& tweened() {
    static Game game((untweened(), kTweened));
    static const bool started = (startTweens(game), true);
    (void)started;
    return game;
}

Game& quiet() {
    static Game game((writeBusyProjects(), kQuiet));
    return game;
}

Game& busy() {
    static Game game((quiet(), kBusy));
    static const bool started = [] {
        startTweens(game);
        game.run("if #(Engine.game.scene.joints or {}) ~= " + std::to_string(kJointCount) + " or #Engine.game.scene.animated ~= " +
                 std::to_string(kAnimationCount) + " then error('joints or animations missing') end");
        return true;
    }();
    (void)started;
    return game;
}

Game& unjointed() {
    static Game game((writeJointProject(kUnjointed, false), kUnjointed));
    return game;
}

Game& jointed() {
    static Game game((writeJointProject(kJointed, true), kJointed));
    static const bool checked = [] {
        game.run("local joints = Engine.game.scene.joints or {}\n"
                 "for _, joint in ipairs(joints) do if not joint:isAlive() then error('a joint failed') end end\n"
                 "if #joints ~= " + std::to_string(kJointCount) + " then error('joints missing') end");
        return true;
    }();
    (void)checked;
    return game;
}

Game& still() {
    static Game game((writeAnimatedProjects(), kStill));
    return game;
}

Game& animated() {
    static Game game((still(), kAnimated));
    static const bool checked = [] {
        game.run("if #Engine.game.scene.animated ~= " + std::to_string(kAnimationCount) +
                 " then error('animations missing') end");
        return true;
    }();
    (void)checked;
    return game;
}

// The camera scene, with a function that moves the hero out of the dead zone and back, so that
// the camera has to move at every call.
Game& cameraScene() {
    static Game game((writeCameraProject(), kCameraProject));
    static const bool prepared = [] {
        game.run("local hero, step = Engine.game.scene:actorNamed('hero'), 60\n"
                 "function moveHero() step = -step hero:move(step, step) end\n"
                 "if Engine.game.scene.camera.target ~= hero then error('the camera follows nothing') end");
        return true;
    }();
    (void)prepared;
    return game;
}

// The same crowd in a second state under the player's limits: the interrupt's count hook with
// its time-limited behaviour calls, and the memory limit. Both outlive the state.
Game& limitedCrowd() {
    static QzScriptInterrupt interrupt;
    static QzMemoryLimit memory;
    static Game game((crowd(), kCrowd));
    static const bool attached = [] {
        interrupt.attach(game.state()->L);
        memory.attach(game.state()->L, QzMemoryLimit::kDefaultMegabytes << 20);
        return true;
    }();
    (void)attached;
    return game;
}

// Baseline: reading the scene's document alone.
void BM_LargestScene_DocumentOnly(benchmark::State& state) {
    Game& game = tour();
    const std::string code = "pgf.loadFile('" + kTour + "/scenes/" + kLargestScene + ".xml')";
    for (auto _ : state) game.run(code);
}

// Document read and actors built, nothing drawn.
void BM_LargestScene_Build(benchmark::State& state) {
    Game& game = tour();
    const std::string code = std::string("game:switchToScene('") + kLargestScene + "')";
    for (auto _ : state) game.run(code);
}

// Document read, actors built, pictures loaded and the first frame drawn and finished.
void BM_LargestScene_LoadAndFirstFrame(benchmark::State& state) {
    Game& game = tour();
    const std::string code = std::string("AssetManager:freeGLAssets() game:switchToScene('") +
                             kLargestScene + "') render()";
    for (auto _ : state) {
        game.run(code);
        glFinish();
    }
}

// Baseline: 2,000 protected calls of an empty Lua function, the least a per-actor update costs.
void BM_Crowd_EmptyCalls(benchmark::State& state) {
    Game& game = crowd();
    game.run("local f = function() end local n = " + std::to_string(kCrowdSize) +
             " function emptyCalls() for i = 1, n do pcall(f, 1 / 60) end end");
    for (auto _ : state) game.run("emptyCalls()");
}

// The engine script's share of a frame: 2,000 behaviours moving their actors (no drawing).
void BM_Crowd_ScriptUpdate(benchmark::State& state) {
    Game& game = crowd();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// The same under the player's limits; its ratio to BM_Crowd_ScriptUpdate is their cost.
void BM_Crowd_ScriptUpdateLimited(benchmark::State& state) {
    Game& game = limitedCrowd();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// Baseline: the script update of the scene of sprites without tweens.
void BM_Tweens_SceneWithout(benchmark::State& state) {
    Game& game = untweened();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// The same scene with 200 running tweens; the difference is what the tweens cost a frame.
void BM_Tweens_Scene200(benchmark::State& state) {
    Game& game = tweened();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// Baseline: the script update (with the physics step) of the scene of pairs without joints.
void BM_Joints_SceneWithout(benchmark::State& state) {
    Game& game = unjointed();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// The same scene with 20 joints; the difference is what the joints cost a frame.
void BM_Joints_Scene20(benchmark::State& state) {
    Game& game = jointed();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// Baseline: the script update of the scene of still sprites.
void BM_Animations_SceneWithout(benchmark::State& state) {
    Game& game = still();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// The same sprites each playing an animation; the difference is what the animations cost a frame.
void BM_Animations_Scene50(benchmark::State& state) {
    Game& game = animated();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// Baseline: the hero moved, the camera left alone.
void BM_Camera_HeroMoves(benchmark::State& state) {
    Game& game = cameraScene();
    for (auto _ : state) game.run("moveHero()");
}

// The hero moved and the camera following it: the difference is the camera's cost a frame
// (following, bounds, and every moving layer's view written).
void BM_Camera_HeroMovesAndCameraFollows(benchmark::State& state) {
    Game& game = cameraScene();
    for (auto _ : state) game.run("moveHero() Engine.game.scene.camera:update()");
}

// Baseline: the script update (with the physics step) of a scene of 200 sprites, 50 sheet
// sprites and 20 pairs of bodies, all still and unjoined.
void BM_AllAtOnce_SceneWithout(benchmark::State& state) {
    Game& game = quiet();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// The same scene with 200 tweens, 50 animations and 20 joints running together: the
// difference is what the three cost a frame between them.
void BM_AllAtOnce_Scene(benchmark::State& state) {
    Game& game = busy();
    for (auto _ : state) game.run("Engine.game.scene:update(1 / 60)");
}

// A whole frame through the engine host: script update and drawing, finished.
void BM_Crowd_WholeFrame(benchmark::State& state) {
    Game& game = crowd();
    for (auto _ : state) {
        Qz_Update(game.state(), 1.0f / 60);
        glFinish();
    }
}

BENCHMARK(BM_LargestScene_DocumentOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargestScene_Build)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargestScene_LoadAndFirstFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crowd_EmptyCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crowd_ScriptUpdate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crowd_ScriptUpdateLimited)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crowd_WholeFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tweens_SceneWithout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tweens_Scene200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Joints_SceneWithout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Joints_Scene20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Animations_SceneWithout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Animations_Scene50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllAtOnce_SceneWithout)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllAtOnce_Scene)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Camera_HeroMoves)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Camera_HeroMovesAndCameraFollows)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
