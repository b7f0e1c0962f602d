// The game view's display geometry: where the game's viewport lies in the view (window or
// full screen, letterboxed or cropped) and how view positions map back to game positions.
#ifndef QZ_GAME_GEOMETRY_H
#define QZ_GAME_GEOMETRY_H

struct QzViewGeometry {
    double invertedCropScaleFactorX = 1;  // view size / game viewport size
    double invertedCropScaleFactorY = 1;
    double gameViewOffsetX = 0;  // lower-left corner of the game viewport, backing pixels
    double gameViewOffsetY = 0;
    int viewportX = 0;
    int viewportY = 0;
    int viewportWidth = 0;
    int viewportHeight = 0;
    float currentAspectRatio = 0;  // W / H at the last full-screen reshape
    bool clip = false;             // the full-screen geometry was used
};

// The geometry for a view of width × height backing pixels. In a window the game fills the
// view; in full screen it keeps originalAspectRatio (width / height), cropped to fill the
// view when cropToFit holds, letterboxed otherwise.
QzViewGeometry QzComputeViewGeometry(int width, int height, bool fullScreen, bool cropToFit,
                                     float originalAspectRatio);

// Maps a view position (backing pixels, origin at the lower left) to game coordinates:
// the game viewport's corners map to the view's corners; positions over bars fall outside.
void QzMapViewPoint(const QzViewGeometry& geometry, double x, double y, float* gameX, float* gameY);

#endif
