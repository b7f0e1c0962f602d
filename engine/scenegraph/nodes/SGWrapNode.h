// SGWrapNode: a space that draws wrap-around copies of its content at a playfield's edges.
#ifndef SG_WRAP_NODE_H
#define SG_WRAP_NODE_H

#include "SGSpace.h"

class SGWrapNode : public SGSpace {
public:
    // Takes the parent space's managers; starts with no nodes.
    explicit SGWrapNode(SGSpace& parent);

    // Draws the content, then a copy one wrap width (height) toward the far half for each
    // wrapping axis, and the corner copy when both wrap.
    void render() override;
    SGPort* portForID(SGPortID id) override;

    SGNumberPort x;
    SGNumberPort y;
    SGBooleanPort wrapX;
    SGBooleanPort wrapY;
    SGNumberPort wrapWidth;
    SGNumberPort wrapHeight;

private:
    void renderShifted(float dx, float dy);
};

#endif
