// The costs overlay's own cost per frame. Frames of an off-screen 480 x 320 context (clear, 300
// quads, glFinish) are drawn in pairs, one without the overlay and one with it, so that both
// see the same load on the machine; the overlay is fed a frame cost every frame and refreshes
// its figures, read from a real engine, on a clock of 60 frames a second, its text changing at
// every refresh (its dearest case). The counters give the frame times and the overlay's cost
// (with less without), elapsed and in processor time of all threads, as the mean over all
// pairs, refreshes included, and as the median (target: at most 0.3 ms a frame).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <vector>

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "QzCostsOverlay.h"
#include "QzOffscreenGL.h"
#include "QzPlayerEngine.h"

namespace {

constexpr int kWidth = 480, kHeight = 320;

// The one off-screen context of the run, made before anything draws.
QzOffscreenGL& context() {
    static std::unique_ptr<QzOffscreenGL> gl = [] {
        std::string error;
        auto made = QzOffscreenGL::create(kWidth, kHeight, &error);
        if (!made) throw std::runtime_error(error);
        return made;
    }();
    return *gl;
}

// The engine script the player ships, started without a game: its figures are the ones the
// overlay reads (its memory, its sound manager, its problem count).
QzPlayerEngine& engine() {
    static QzPlayerEngine made(QZ_BINARY_DIR "/enginescript/engine64.luo", "");
    return made;
}

// A game's frame: the screen cleared and 300 small quads in one draw.
void drawGameFrame() {
    static const std::vector<GLfloat> quads = [] {
        std::vector<GLfloat> corners;
        for (int i = 0; i < 300; ++i) {
            const auto x = static_cast<GLfloat>(i * 37 % (kWidth - 8)), y = static_cast<GLfloat>(i * 53 % (kHeight - 8));
            for (GLfloat corner : {x, y, x + 8, y, x, y + 8, x + 8, y, x + 8, y + 8, x, y + 8}) corners.push_back(corner);
        }
        return corners;
    }();
    glClearColor(0, 0, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(1, 0, 0, 1);
    glVertexPointer(2, GL_FLOAT, 0, quads.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(quads.size() / 2));
    glColor4f(1, 1, 1, 1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

double mean(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

// Milliseconds now, elapsed and of processor time in all the process's threads (the software
// renderer's too); the processor time is what a loaded machine disturbs least.
struct Reading {
    double elapsed, processor;
    static Reading now() {
        timespec cpu{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return {std::chrono::duration<double, std::milli>(since).count(), cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6};
    }
};

void BM_FramesWithAndWithoutCostsOverlay(benchmark::State& state) {
    context().makeCurrent();
    QzCostsOverlay overlay;
    std::vector<double> without, with, withoutProcessor, withProcessor;
    long frame = 0;
    for (auto _ : state) {
        const Reading start = Reading::now();
        drawGameFrame();
        glFinish();
        const Reading plain = Reading::now();
        drawGameFrame();
        ++frame;
        overlay.addFrame({(16 + frame % 7) / 1000.0, 0.0004 * (frame % 5), 0.0003, 1, 300});
        overlay.draw(kHeight, frame / 60.0, [] { return engine().gauges(); });
        glFinish();
        const Reading end = Reading::now();
        without.push_back(plain.elapsed - start.elapsed);
        with.push_back(end.elapsed - plain.elapsed);
        withoutProcessor.push_back(plain.processor - start.processor);
        withProcessor.push_back(end.processor - plain.processor);
    }
    overlay.release();
    state.counters["without_ms"] = median(without);
    state.counters["with_ms"] = median(with);
    state.counters["overlay_median_ms"] = median(with) - median(without);
    state.counters["overlay_mean_ms"] = mean(with) - mean(without);
    state.counters["overlay_cpu_median_ms"] = median(withProcessor) - median(withoutProcessor);
    state.counters["overlay_cpu_mean_ms"] = mean(withProcessor) - mean(withoutProcessor);
}

BENCHMARK(BM_FramesWithAndWithoutCostsOverlay)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

int main(int argc, char** argv) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    context();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
