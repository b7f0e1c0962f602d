// SGImageFlipNode: an image with its texture rectangle flipped on either axis.
#ifndef SG_IMAGE_FLIP_NODE_H
#define SG_IMAGE_FLIP_NODE_H

#include "SGNode.h"

class SGImageFlipNode : public SGNode {
public:
    SGImageFlipNode();

    // output = input with s0/s1 and t0/t1 swapped as the flags say; the texture is shared.
    void compute() override;
    SGPort* portForID(SGPortID id) override;

    SGImagePort output;
    SGImagePort input;
    SGBooleanPort flipHorizontal;
    SGBooleanPort flipVertical;
};

#endif
