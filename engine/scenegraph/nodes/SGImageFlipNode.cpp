// Texture-rectangle flipping of image flip nodes.
#include "nodes/SGImageFlipNode.h"

#include "SGPortIDs.h"

SGImageFlipNode::SGImageFlipNode() {
    classFlags |= SGImageFlipNodeClass;
    addOutputPort(&output, SGPortTypeImage);
    addInputPort(&input, SGPortTypeImage);
    addInputPort(&flipHorizontal, SGPortTypeBoolean);
    addInputPort(&flipVertical, SGPortTypeBoolean);
}

void SGImageFlipNode::compute() {
    SGImage image = input.imageValue();
    if (flipHorizontal.boolValue()) image.textureRect.flipHorizontally();
    if (flipVertical.boolValue()) image.textureRect.flipVertically();
    output.value = image;
}

SGPort* SGImageFlipNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortOutput: return &output;
    case SGPortFlipHorizontal: return &flipHorizontal;
    case SGPortFlipVertical: return &flipVertical;
    case SGPortInput: return &input;
    default: return nullptr;
    }
}
