// The fixed-function OpenGL and its types, as the scene graph draws with them.
#ifndef SG_GL_H
#define SG_GL_H

#include <GL/gl.h>

// Pushes the current matrix and pops it when it goes, also when a read nested too deep
// unwinds through a drawing step.
class SGMatrixScope {
public:
    SGMatrixScope() { glPushMatrix(); }
    ~SGMatrixScope() { glPopMatrix(); }
    SGMatrixScope(const SGMatrixScope&) = delete;
    SGMatrixScope& operator=(const SGMatrixScope&) = delete;
};

#endif
