// Buffer clearing of clear nodes.
#include "nodes/SGClearNode.h"

#include "SGGL.h"

SGClearNode::SGClearNode() {
    classFlags |= SGClearNodeClass;
    addInputPort(&color, SGPortTypeColor);
}

void SGClearNode::compute() {
    dirty = false;
    const SGColor c = color.colorValue();
    glClearColor(c.r, c.g, c.b, c.a);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

SGPort* SGClearNode::portForID(SGPortID) { return &color; }
