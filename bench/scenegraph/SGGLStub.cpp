// Counting stand-ins for the OpenGL functions the scene graph calls, linked into the
// benchmark's no-GL variant so it measures the scene graph's own work alone.
#include <GL/gl.h>

#include "SGGLStub.h"

long SGStubGLCalls = 0;

extern "C" {
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) { ++SGStubGLCalls; }
void glBlendFunc(GLenum, GLenum) { ++SGStubGLCalls; }
void glBindTexture(GLenum, GLuint) { ++SGStubGLCalls; }
void glPushMatrix() { ++SGStubGLCalls; }
void glPopMatrix() { ++SGStubGLCalls; }
void glTranslatef(GLfloat, GLfloat, GLfloat) { ++SGStubGLCalls; }
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) { ++SGStubGLCalls; }
void glVertexPointer(GLint, GLenum, GLsizei, const GLvoid*) { ++SGStubGLCalls; }
void glTexCoordPointer(GLint, GLenum, GLsizei, const GLvoid*) { ++SGStubGLCalls; }
void glDrawArrays(GLenum, GLint, GLsizei) { ++SGStubGLCalls; }
void glDrawElements(GLenum, GLsizei, GLenum, const GLvoid*) { ++SGStubGLCalls; }
void glColorPointer(GLint, GLenum, GLsizei, const GLvoid*) { ++SGStubGLCalls; }
void glEnable(GLenum) { ++SGStubGLCalls; }
void glDisable(GLenum) { ++SGStubGLCalls; }
void glEnableClientState(GLenum) { ++SGStubGLCalls; }
void glDisableClientState(GLenum) { ++SGStubGLCalls; }
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) { ++SGStubGLCalls; }
void glClear(GLbitfield) { ++SGStubGLCalls; }
void glMatrixMode(GLenum) { ++SGStubGLCalls; }
void glLoadIdentity() { ++SGStubGLCalls; }
void glOrtho(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) { ++SGStubGLCalls; }
void glDeleteTextures(GLsizei, const GLuint*) { ++SGStubGLCalls; }
void glFinish() { ++SGStubGLCalls; }
}
