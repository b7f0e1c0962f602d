// SGReplicatorNode: a space that draws its content several times along a line.
#ifndef SG_REPLICATOR_NODE_H
#define SG_REPLICATOR_NODE_H

#include "SGSpace.h"

class SGReplicatorNode : public SGSpace {
public:
    // Takes the parent space's managers; starts with no nodes.
    explicit SGReplicatorNode(SGSpace& parent);

    // Draws the content copies times, each shifted by spacing in the direction of angle
    // (degrees) from the previous one; copies of 0 or less draw nothing, and so do more
    // than kMaxCopies, which would hold the frame for minutes.
    void render() override;
    static constexpr int32_t kMaxCopies = 1 << 18;
    SGPort* portForID(SGPortID id) override;

    SGNumberPort angle;
    SGNumberPort spacing;
    SGIntegerPort copies{1};
};

#endif
