// OpenGL texture upload shared by image files and text: parameters, pixel store, limits and
// error logging.
#ifndef QZ_GL_TEXTURE_H
#define QZ_GL_TEXTURE_H

#include <cstdint>

#include <GL/gl.h>

// Logs "OpenGL Error in WHERE : TEXT" when glGetError reports an error.
void CheckGLError(const char* where);

// The OpenGL context current on the calling thread (EGL or GLX), or null when there is none.
void* QzCurrentGLContext();

// The largest texture side the current context accepts; 0 without a context.
int32_t QzMaxTextureSize();

// The most RGBA pixels one picture or text texture may have, whatever the context allows:
// 64 Mi pixels (256 MiB of RGBA), so a file cannot make the player allocate without bound.
inline constexpr int64_t kQzMaxTexturePixels = int64_t{64} * 1024 * 1024;

// Whether a width × height picture may be made into a texture: both sides positive, within
// the current context's maximum texture size (when a context is current) and the pixel
// bound. Sets *reason when it may not.
bool QzTextureSizeAllowed(int64_t width, int64_t height, const char** reason);

// Binds the new texture `name` and fills it with width × height pixels of 8-bit RGBA (rows
// packed, first row at t = 0), clamped and linearly filtered. OpenGL errors are logged and
// the upload carries on. The unpack row length is put back to 0 afterwards.
void QzFillRGBATexture(GLuint name, int32_t width, int32_t height, const uint8_t* rgba);

#endif
