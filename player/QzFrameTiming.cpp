// Frame-time statistics over the intervals between presented frames.
#include "QzFrameTiming.h"

#include <algorithm>
#include <cmath>
#include <numeric>

QzFrameStats QzComputeFrameStats(std::vector<double> intervals) {
    QzFrameStats stats;
    if (intervals.empty()) return stats;
    stats.frames = static_cast<int>(intervals.size());
    stats.meanSeconds = std::accumulate(intervals.begin(), intervals.end(), 0.0) / intervals.size();
    std::sort(intervals.begin(), intervals.end());
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * intervals.size())) - 1;
    stats.p99Seconds = intervals[std::min(rank, intervals.size() - 1)];
    for (double interval : intervals) {
        // An interval of n refreshes (rounded) shows one frame where n were possible.
        const long refreshes = std::lround(interval * 60.0);
        if (refreshes > 1) stats.missedFrames += refreshes - 1;
    }
    return stats;
}
