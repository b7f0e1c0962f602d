// The call counter of the benchmark's counting OpenGL stand-ins.
#ifndef SG_GL_STUB_H
#define SG_GL_STUB_H

// How many stand-in OpenGL calls were made.
extern long SGStubGLCalls;

#endif
