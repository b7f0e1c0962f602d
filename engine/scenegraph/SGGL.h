// The fixed-function OpenGL and its types, as the scene graph draws with them.
#ifndef SG_GL_H
#define SG_GL_H

#include <GL/gl.h>

#endif
