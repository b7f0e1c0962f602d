// Counts the draw calls and presented frames of a program it is preloaded into
// (LD_PRELOAD), passing every call on, and prints the count per frame when the program ends.
#include <dlfcn.h>

#include <GL/gl.h>

#include <cstdio>

struct SDL_Window;

namespace {

unsigned long drawCalls = 0;
unsigned long frames = 0;

// The next definition of the function after this library's, looked up once.
template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void report() {
    if (frames == 0) return;
    std::fprintf(stderr, "draw calls: %lu in %lu frames, %.1f per frame\n", drawCalls, frames,
                 static_cast<double>(drawCalls) / static_cast<double>(frames));
}

}  // namespace

extern "C" {

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    static const auto real = next<void (*)(GLenum, GLint, GLsizei)>("glDrawArrays");
    ++drawCalls;
    real(mode, first, count);
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
    static const auto real = next<void (*)(GLenum, GLsizei, GLenum, const GLvoid*)>("glDrawElements");
    ++drawCalls;
    real(mode, count, type, indices);
}

void SDL_GL_SwapWindow(SDL_Window* window) {
    static const auto real = next<void (*)(SDL_Window*)>("SDL_GL_SwapWindow");
    ++frames;
    real(window);
}

}
