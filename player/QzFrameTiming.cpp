// Frame-time statistics over the intervals between presented frames, and the sums and text of
// what frames cost.
#include "QzFrameTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

void QzFrameTimeRing::push(double seconds) {
    seconds_[next_] = seconds;
    next_ = (next_ + 1) % kFrames;
    size_ = std::min(size_ + 1, kFrames);
}

void QzFrameCostTotals::add(const QzFrameCost& cost) {
    ++frames;
    if (cost.intervalSeconds > 0) {
        ++timedFrames;
        intervalSeconds += cost.intervalSeconds;
        slowestSeconds = std::max(slowestSeconds, cost.intervalSeconds);
    }
    scriptSeconds += cost.scriptSeconds;
    drawingSeconds += cost.drawingSeconds;
    drawCalls += cost.drawCalls;
    sprites += cost.sprites;
}

namespace {

// A count per frame: whole when it is whole (a steady scene), else with one decimal.
std::string perFrame(double count) {
    char text[32];
    std::snprintf(text, sizeof text, count == std::floor(count) ? "%.0f" : "%.1f", count);
    return text;
}

std::string memory(int64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>((bytes + 1023) / 1024));
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

}  // namespace

std::string QzFormatFrameCosts(const QzFrameCostTotals& totals, const QzEngineGauges& gauges,
                               const char* groupSeparator) {
    const double frames = std::max<long>(1, totals.frames);
    const double meanInterval = totals.timedFrames > 0 ? totals.intervalSeconds / totals.timedFrames : 0;
    char rate[96], times[96], counts[64];
    std::snprintf(rate, sizeof rate, "%.1f fps, frame %.2f ms (slowest %.2f ms)",
                  meanInterval > 0 ? 1 / meanInterval : 0.0, meanInterval * 1000, totals.slowestSeconds * 1000);
    std::snprintf(times, sizeof times, "script %.2f ms, drawing %.2f ms", totals.scriptSeconds / frames * 1000,
                  totals.drawingSeconds / frames * 1000);
    std::snprintf(counts, sizeof counts, "sounds %zu/%zu, problems %d", gauges.soundsPlaying, gauges.soundPool,
                  gauges.problems);
    return std::string(rate) + groupSeparator + times + groupSeparator + perFrame(totals.drawCalls / frames) +
           " draw calls, " + perFrame(totals.sprites / frames) + " sprites" + groupSeparator + "memory " +
           memory(gauges.memoryBytes) + ", " + counts;
}
