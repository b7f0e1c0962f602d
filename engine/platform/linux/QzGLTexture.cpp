// OpenGL texture upload shared by image files and text.
#include "QzGLTexture.h"

#include <cstdio>

#include <EGL/egl.h>
#include <GL/glu.h>
#include <GL/glx.h>

void CheckGLError(const char* where) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    std::fprintf(stderr, "OpenGL Error in %s : %s\n", where,
                 reinterpret_cast<const char*>(gluErrorString(error)));
}

void* QzCurrentGLContext() {
    const EGLContext egl = eglGetCurrentContext();
    if (egl != EGL_NO_CONTEXT) return egl;
    return glXGetCurrentContext();
}

int32_t QzMaxTextureSize() {
    if (!QzCurrentGLContext()) return 0;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

bool QzTextureSizeAllowed(int64_t width, int64_t height, const char** reason) {
    if (width <= 0 || height <= 0) {
        *reason = "it has no pixels";
        return false;
    }
    const int32_t maxSide = QzMaxTextureSize();
    if (maxSide > 0 && (width > maxSide || height > maxSide)) {
        *reason = "it is larger than the largest texture this OpenGL context accepts";
        return false;
    }
    // Divided, not multiplied: two sides a header states can overflow their product.
    if (width > kQzMaxTexturePixels / height) {
        *reason = "it has more pixels than the player accepts in one texture (64 Mi)";
        return false;
    }
    return true;
}

void QzFillRGBATexture(GLuint name, int32_t width, int32_t height, const uint8_t* rgba) {
    glBindTexture(GL_TEXTURE_2D, name);
    CheckGLError("glBindTexture");
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    CheckGLError("glTexParameteri");
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
    CheckGLError("glPixelStorei");
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    // Later uploads elsewhere assume packed rows.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    CheckGLError("glTexImage2D");
}
