// The EGL surfaceless pbuffer context and the host drawing state.
#include "QzOffscreenGL.h"

#include <cstdio>
#include <cstdlib>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

namespace {

std::string eglFailure(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

}  // namespace

std::unique_ptr<QzOffscreenGL> QzOffscreenGL::create(int width, int height, std::string* error) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        *error = "the off-screen size must be between 1 and 16384 pixels on each side";
        return nullptr;
    }
    // Mesa's software rasterizer draws on the calling thread instead of a pool of worker
    // threads that outlive the context: headless frames are small, and the leak checker of
    // sanitizer builds cannot stop such threads reliably at exit. A value the user set wins.
    setenv("LP_NUM_THREADS", "0", 0);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        *error = "EGL has no eglGetPlatformDisplayEXT";
        return nullptr;
    }
    std::unique_ptr<QzOffscreenGL> gl(new QzOffscreenGL);
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                            nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *error = eglFailure("opening the surfaceless EGL display");
        return nullptr;
    }
    gl->display = display;

    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                       EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) ||
        configCount < 1) {
        *error = eglFailure("finding an RGBA pbuffer configuration for desktop OpenGL");
        return nullptr;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        *error = eglFailure("creating the pbuffer");
        return nullptr;
    }
    gl->surface = surface;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = eglFailure("binding desktop OpenGL");
        return nullptr;
    }
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        *error = eglFailure("creating a compatibility-profile OpenGL context");
        return nullptr;
    }
    gl->context = context;
    gl->surfaceWidth = width;
    gl->surfaceHeight = height;
    if (!gl->makeCurrent()) {
        *error = eglFailure("making the off-screen context current");
        return nullptr;
    }
    QzApplyHostGLState(width, height);
    return gl;
}

QzOffscreenGL::~QzOffscreenGL() {
    if (!display) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context) eglDestroyContext(display, context);
    if (surface) eglDestroySurface(display, surface);
    // The display is not terminated: EGL hands every caller the same display, so
    // terminating it would pull it from under any other context of the process, and it
    // unloads the driver, whose leftovers the leak checker could then no longer attribute.
    eglReleaseThread();
}

bool QzOffscreenGL::makeCurrent() {
    return eglMakeCurrent(display, surface, surface, context) == EGL_TRUE;
}

std::vector<uint8_t> QzOffscreenGL::readPixels() const {
    std::vector<uint8_t> pixels(static_cast<size_t>(surfaceWidth) * surfaceHeight * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, surfaceWidth, surfaceHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void QzApplyHostGLState(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
