// The costs overlay: what the last frames cost, drawn in the top-left corner over the game:
// a graph of the last 120 frame times against the 16.7 ms of a 60 Hz frame, and the figures
// of the last half second as text.
#ifndef QZ_COSTS_OVERLAY_H
#define QZ_COSTS_OVERLAY_H

#include <functional>
#include <string>

#include "QzFrameTiming.h"
#include "QzOverlayPainter.h"

// Game thread only. The overlay keeps its cost low: the text is laid out again only when a
// refresh (every kRefreshSeconds) finds the figures changed; the box and its text are one
// texture, kept between frames and drawn as one quad; the graph is one more draw call.
class QzCostsOverlay {
public:
    static constexpr double kRefreshSeconds = 0.5;
    // The gap between the overlay and the view's top-left corner, in view pixels.
    static constexpr int kMargin = 4;

    // Every frame, shown or not, so that the graph is full when the overlay is turned on.
    void addFrame(const QzFrameCost& cost);
    // Draws with the overlay projection set (view pixels, origin at the lower left). At the
    // first draw and kRefreshSeconds of `now` (seconds) after the last refresh, reads the
    // gauges and lays the text out again when it changed.
    void draw(int viewHeight, double now, const std::function<QzEngineGauges()>& gauges);
    // Frees the texture; the context must be current.
    void release();

private:
    void refresh(double now, const std::function<QzEngineGauges()>& gauges);
    void drawGraph(float x, float y) const;

    QzFrameTimeRing ring_;
    QzFrameCostTotals period_;  // since the last refresh
    bool refreshed_ = false;
    double lastRefresh_ = 0;
    std::string text_;
    QzOverlayTexture texture_;
};

#endif
