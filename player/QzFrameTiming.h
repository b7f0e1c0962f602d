// Frame-time statistics: mean, 99th percentile and frames missed at 60 Hz.
#ifndef QZ_FRAME_TIMING_H
#define QZ_FRAME_TIMING_H

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

#endif
