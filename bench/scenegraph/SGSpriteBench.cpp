// Frame time of scenes of textured sprites: clean, all dirty, and positions computed through
// arithmetic nodes from an attribute node, against the same GL calls made directly. Built a
// second time with counting stand-ins for OpenGL (SG_BENCH_GL_STUB), it measures the scene
// graph's own work without any drawing.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "SGGL.h"
#ifdef SG_BENCH_GL_STUB
#include "SGGLStub.h"
#else
#include "QzOffscreenGL.h"
#endif
#include "SGScene.h"
#include "nodes/SGArithmeticNode.h"
#include "nodes/SGAttributeNode.h"
#include "nodes/SGSpriteNode.h"

namespace {

constexpr int kSurface = 64;

#ifdef SG_BENCH_GL_STUB
void prepareGL() {}
GLuint texture() { return 1; }
void addGLCounter(benchmark::State& state) {
    state.counters["gl_calls_per_sprite"] =
        static_cast<double>(SGStubGLCalls) / static_cast<double>(state.iterations() * state.range(0));
    SGStubGLCalls = 0;
}
#else
void prepareGL() {
    static std::unique_ptr<QzOffscreenGL> gl = [] {
        std::string error;
        auto made = QzOffscreenGL::create(kSurface, kSurface, &error);
        if (!made) {
            std::fprintf(stderr, "no off-screen context: %s\n", error.c_str());
            std::exit(1);
        }
        return made;
    }();
    QzApplyHostGLState(kSurface, kSurface);
}

void addGLCounter(benchmark::State&) {}

GLuint texture() {
    static GLuint name = [] {
        const unsigned char pixels[4 * 4 * 4] = {255, 255, 255, 255};
        GLuint made = 0;
        glGenTextures(1, &made);
        glBindTexture(GL_TEXTURE_2D, made);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        return made;
    }();
    return name;
}
#endif

SGImage spriteImage() {
    SGImage image = SGImageNull;
    image.textureName = texture();
    image.textureWidth = 4;
    image.textureHeight = 4;
    image.textureRect = {0, 0, 1, 1};
    image.premultiplied = 1;
    return image;
}

float position(int i) { return static_cast<float>((i * 37) % kSurface); }

// A scene of n 2 × 2 textured sprites spread over the surface.
struct SpriteScene {
    explicit SpriteScene(int n) {
        prepareGL();
        for (int i = 0; i < n; ++i) {
            auto* sprite =
                static_cast<SGSpriteNode*>(scene.defaultSpace.createNode(SGSpriteNodeClass));
            sprite->image.setValue(spriteImage());
            sprite->x.setValue(position(i));
            sprite->y.setValue(position(i * 7));
            sprite->width.setValue(2);
            sprite->height.setValue(2);
            sprites.push_back(sprite);
        }
        frame();  // every sprite reads its ports once
    }
    void frame() {
        scene.render();
        glFinish();
    }

    SGScene scene{nullptr, nullptr};
    std::vector<SGSpriteNode*> sprites;  // borrowed from the scene's default space
};

void setSpriteCounters(benchmark::State& state) {
    state.counters["sprites"] = static_cast<double>(state.range(0));
    state.counters["per_sprite"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    addGLCounter(state);
}

// Baseline: the GL calls a clean textured sprite makes, issued directly.
void BM_DirectGL(benchmark::State& state) {
    prepareGL();
    const int n = static_cast<int>(state.range(0));
    float vertices[16] = {0, 2, 0, 1, 2, 2, 1, 1, 0, 0, 0, 0, 2, 0, 1, 0};
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) {
            glColor4f(1, 1, 1, 1);
            glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
            glBindTexture(GL_TEXTURE_2D, texture());
            glPushMatrix();
            glTranslatef(position(i), position(i * 7), 0);
            glRotatef(0, 0, 0, 1);
            glTranslatef(-1, -1, 0);
            glVertexPointer(2, GL_FLOAT, 16, vertices);
            glTexCoordPointer(2, GL_FLOAT, 16, vertices + 2);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            glPopMatrix();
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        glFinish();
    }
    setSpriteCounters(state);
}

void BM_CleanSprites(benchmark::State& state) {
    SpriteScene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) scene.frame();
    setSpriteCounters(state);
}

// Every sprite's x written with marking before each frame.
void BM_DirtySprites(benchmark::State& state) {
    SpriteScene scene(static_cast<int>(state.range(0)));
    float shift = 0;
    for (auto _ : state) {
        shift = shift > 8 ? 0 : shift + 1;
        for (size_t i = 0; i < scene.sprites.size(); ++i) {
            scene.sprites[i]->x.setValue(position(static_cast<int>(i)) + shift);
        }
        scene.frame();
    }
    setSpriteCounters(state);
}

// x of every sprite = its own offset + a shared attribute, through one arithmetic node per
// sprite; the attribute is written with marking before each frame.
void BM_ArithmeticSprites(benchmark::State& state) {
    SpriteScene scene(static_cast<int>(state.range(0)));
    auto* time = new SGAttributeNode(SGPortTypeNumber);
    auto* timePort = static_cast<SGNumberPort*>(time->valuePort());
    for (size_t i = 0; i < scene.sprites.size(); ++i) {
        auto* sum = static_cast<SGArithmeticNode*>(
            scene.scene.defaultSpace.createNode(SGArithmeticNodeClass));
        sum->input1.setValue(timePort);
        sum->input2.setValue(position(static_cast<int>(i)));
        scene.sprites[i]->x.setValue(&sum->output);
    }
    scene.frame();
    float shift = 0;
    for (auto _ : state) {
        shift = shift > 8 ? 0 : shift + 1;
        timePort->setValue(shift);
        scene.frame();
    }
    time->release();
    setSpriteCounters(state);
}

BENCHMARK(BM_DirectGL)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanSprites)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirtySprites)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArithmeticSprites)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
