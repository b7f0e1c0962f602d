// SGColorNode: a colour assembled from four numbers.
#ifndef SG_COLOR_NODE_H
#define SG_COLOR_NODE_H

#include "SGNode.h"

class SGColorNode : public SGNode {
public:
    SGColorNode();

    // output = (r, g, b, a), not clamped.
    void compute() override;
    SGPort* portForID(SGPortID id) override;

    SGColorPort output{SGWhiteColor};
    SGNumberPort r{1.0f};
    SGNumberPort g{1.0f};
    SGNumberPort b{1.0f};
    SGNumberPort a{1.0f};
};

#endif
