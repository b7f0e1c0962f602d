// Repeated drawing of replicator spaces.
#include "nodes/SGReplicatorNode.h"

#include <cmath>

#include "SGGL.h"
#include "SGPortIDs.h"

SGReplicatorNode::SGReplicatorNode(SGSpace& parent) : SGSpace(parent.soundMgr, parent.assetMgr) {
    classFlags |= SGReplicatorSpaceClass;
    addInputPort(&angle, SGPortTypeNumber);
    addInputPort(&spacing, SGPortTypeNumber);
    addInputPort(&copies, SGPortTypeInteger);
}

void SGReplicatorNode::render() {
    dirty = false;
    const float step = spacing.numberValue();
    const float radians = static_cast<float>(angle.numberValue() * 0.017453292519943295);
    const int32_t count = copies.intValue();
    const SGMatrixScope scope;
    if (count > 0 && count <= kMaxCopies) {
        const float dx = std::cos(radians) * step;
        const float dy = std::sin(radians) * step;
        for (int32_t i = 0; i < count; ++i) {
            SGSpace::render();
            glTranslatef(dx, dy, 0.0f);
        }
    }
}

SGPort* SGReplicatorNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortAngle: return &angle;
    case SGPortSpacing: return &spacing;
    case SGPortCopies: return &copies;
    default: return nullptr;
    }
}
