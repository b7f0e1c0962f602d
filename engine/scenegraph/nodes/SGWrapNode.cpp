// Wrap-around copies of wrap spaces.
#include "nodes/SGWrapNode.h"

#include "SGGL.h"
#include "SGPortIDs.h"

namespace {

// The copy goes one extent toward the other half of the wrap area.
float wrapOffset(float extent, float position) {
    return static_cast<double>(extent) * 0.5 > static_cast<double>(position) ? extent : -extent;
}

}  // namespace

SGWrapNode::SGWrapNode(SGSpace& parent) : SGSpace(parent.soundMgr, parent.assetMgr) {
    classFlags |= SGWrapSpaceClass;
    addInputPort(&x, SGPortTypeNumber);
    addInputPort(&y, SGPortTypeNumber);
    addInputPort(&wrapX, SGPortTypeBoolean);
    addInputPort(&wrapY, SGPortTypeBoolean);
    addInputPort(&wrapWidth, SGPortTypeNumber);
    addInputPort(&wrapHeight, SGPortTypeNumber);
}

void SGWrapNode::renderShifted(float dx, float dy) {
    const SGMatrixScope scope;
    glTranslatef(dx, dy, 0.0f);
    SGSpace::render();
}

void SGWrapNode::render() {
    dirty = false;
    const bool horizontal = wrapX.boolValue();
    const bool vertical = wrapY.boolValue();
    SGSpace::render();
    float dx = 0.0f;
    float dy = 0.0f;
    if (horizontal) {
        dx = wrapOffset(wrapWidth.numberValue(), x.numberValue());
        renderShifted(dx, 0.0f);
    }
    if (vertical) {
        dy = wrapOffset(wrapHeight.numberValue(), y.numberValue());
        renderShifted(0.0f, dy);
    }
    if (horizontal && vertical) renderShifted(dx, dy);
}

SGPort* SGWrapNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortWrapX: return &wrapX;
    case SGPortWrapY: return &wrapY;
    case SGPortWrapWidth: return &wrapWidth;
    case SGPortWrapHeight: return &wrapHeight;
    default: return nullptr;
    }
}
