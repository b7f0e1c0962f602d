// QzOffscreenGL: an off-screen OpenGL compatibility context (EGL, Mesa's surfaceless
// platform, a pbuffer) with the host's drawing state, for headless runs and drawing tests.
#ifndef QZ_OFFSCREEN_GL_H
#define QZ_OFFSCREEN_GL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QzOffscreenGL {
public:
    // Makes the context and its width × height pbuffer current on the calling thread and
    // applies the host state. Returns null and sets error when EGL or the context fails.
    static std::unique_ptr<QzOffscreenGL> create(int width, int height, std::string* error);
    ~QzOffscreenGL();
    QzOffscreenGL(const QzOffscreenGL&) = delete;
    QzOffscreenGL& operator=(const QzOffscreenGL&) = delete;

    int width() const { return surfaceWidth; }
    int height() const { return surfaceHeight; }
    bool makeCurrent();
    // The frame's pixels as RGBA bytes, rows bottom-up (as OpenGL reads them).
    std::vector<uint8_t> readPixels() const;

private:
    QzOffscreenGL() = default;

    void* display = nullptr;  // the process's surfaceless display, shared, never terminated
    void* surface = nullptr;  // owned
    void* context = nullptr;  // owned
    int surfaceWidth = 0;
    int surfaceHeight = 0;
};

// The state the scene graph relies on: viewport over the whole surface, a projection of one
// unit per pixel with the origin at the lower left, blending with
// (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA), 2D texturing, vertex and texture-coordinate
// arrays, and the model-view matrix current and identity.
void QzApplyHostGLState(int width, int height);

// Writes RGBA pixels with rows bottom-up as an 8-bit RGBA PNG (top row first in the file).
// Returns false and sets error when the file cannot be written.
bool QzWritePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
                std::string* error);

#endif
