// Colour assembly of colour nodes.
#include "nodes/SGColorNode.h"

#include "SGPortIDs.h"

SGColorNode::SGColorNode() {
    classFlags |= SGColorNodeClass;
    addOutputPort(&output, SGPortTypeColor);
    for (SGNumberPort* port : {&r, &g, &b, &a}) addInputPort(port, SGPortTypeNumber);
}

void SGColorNode::compute() {
    const float red = r.numberValue();
    const float green = g.numberValue();
    const float blue = b.numberValue();
    const float alpha = a.numberValue();
    output.value = {red, green, blue, alpha};
}

SGPort* SGColorNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortOutput: return &output;
    case SGPortR: return &r;
    case SGPortG: return &g;
    case SGPortB: return &b;
    case SGPortA: return &a;
    default: return nullptr;
    }
}
