// The costs overlay: what the last frames cost, drawn in the top-left corner over the game:
// the figures of the last half second as text, and a graph of the last 120 frame times against
// the 16.7 ms of a 60 Hz frame.
#ifndef QZ_COSTS_OVERLAY_H
#define QZ_COSTS_OVERLAY_H

#include <functional>
#include <string>

#include "QzFrameTiming.h"
#include "QzOverlayPainter.h"

// Game thread only. The overlay keeps its cost low: a frame draws one textured quad. The box,
// its text and the graph are painted into that texture on the processor: the graph every
// kGraphSeconds, the text every kRefreshSeconds, its layout only when the figures changed.
class QzCostsOverlay {
public:
    static constexpr double kRefreshSeconds = 0.5;
    static constexpr double kGraphSeconds = 0.1;
    // The gap between the overlay and the view's top-left corner, in view pixels.
    static constexpr int kMargin = 4;

    // Every frame, shown or not, so that the graph is full when the overlay is turned on.
    void addFrame(const QzFrameCost& cost);
    // Draws with the overlay projection set (view pixels, origin at the lower left). `now` is
    // in seconds; the gauges are read at each refresh of the text.
    void draw(int viewHeight, double now, const std::function<QzEngineGauges()>& gauges);
    // Frees the texture; the context must be current.
    void release();

private:
    void refreshText(const std::function<QzEngineGauges()>& gauges);
    QzOverlayImage paintBox() const;

    QzFrameTimeRing ring_;
    QzFrameCostTotals period_;  // since the last refresh of the text
    bool painted_ = false;
    double lastRefresh_ = 0;
    double lastPaint_ = 0;
    std::string text_;
    QzOverlayImage textImage_;
    QzOverlayTexture texture_;
};

#endif
