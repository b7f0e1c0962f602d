// SGClearNode: a render node that clears the colour and depth buffers.
#ifndef SG_CLEAR_NODE_H
#define SG_CLEAR_NODE_H

#include "SGNode.h"

class SGClearNode : public SGRenderNode {
public:
    SGClearNode();

    // Clears to the colour; its place in the layer order decides what it wipes.
    void compute() override;
    // The colour port for every ID.
    SGPort* portForID(SGPortID id) override;

    SGColorPort color{{0.0f, 0.0f, 0.0f, 1.0f}};
};

#endif
