// Frame-time statistics: mean, 99th percentile and frames missed at 60 Hz; and what each
// frame cost, kept for the costs overlay and summed over spans of frames.
#ifndef QZ_FRAME_TIMING_H
#define QZ_FRAME_TIMING_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct QzFrameStats {
    int frames = 0;
    double meanSeconds = 0;
    double p99Seconds = 0;
    // Display refreshes at 60 Hz that passed without a new frame.
    long missedFrames = 0;
};

// Statistics of the intervals between presented frames, in seconds.
QzFrameStats QzComputeFrameStats(std::vector<double> intervals);

// What one frame cost, as the game view measures it around the engine's frame call.
struct QzFrameCost {
    double intervalSeconds = 0;  // since the previous frame began; 0 for the first frame
    double scriptSeconds = 0;    // the engine's frame call, less the scene graph's drawing in it
    double drawingSeconds = 0;   // the scene graph's drawing and the wait for OpenGL to finish
    uint64_t drawCalls = 0;
    uint64_t sprites = 0;
};

// The intervals of the last kFrames frames, for the frame-time graph.
class QzFrameTimeRing {
public:
    static constexpr int kFrames = 120;

    void push(double seconds);
    int size() const { return size_; }
    // The i-th interval kept, oldest first.
    double at(int i) const { return seconds_[(next_ + kFrames - size_ + i) % kFrames]; }

private:
    std::array<double, kFrames> seconds_{};
    int next_ = 0;  // where the next interval goes
    int size_ = 0;
};

// Frame costs summed over a span of frames: a second of game time, a refresh of the overlay,
// a whole run.
struct QzFrameCostTotals {
    long frames = 0;
    long timedFrames = 0;  // frames with an interval (all but a run's first)
    double intervalSeconds = 0;
    double slowestSeconds = 0;
    double scriptSeconds = 0;
    double drawingSeconds = 0;
    uint64_t drawCalls = 0;
    uint64_t sprites = 0;

    void add(const QzFrameCost& cost);
};

// The engine's figures, read when the costs are shown rather than every frame.
struct QzEngineGauges {
    int64_t memoryBytes = 0;  // what the interpreter holds
    size_t soundsPlaying = 0;
    size_t soundPool = 0;
    int problems = 0;
};

// The costs as text, per frame where they are sums, in four groups (rate and frame time;
// script and drawing time; draw calls and sprites; memory, sounds and problems) with ", "
// inside a group and groupSeparator between groups:
// "59.9 fps, frame 16.70 ms (slowest 18.20 ms)<sep>script 0.41 ms, drawing 0.22 ms<sep>...".
std::string QzFormatFrameCosts(const QzFrameCostTotals& totals, const QzEngineGauges& gauges,
                               const char* groupSeparator);

#endif
