// SGNode and SGRenderNode: the base classes of scene-graph nodes, their class bits, port
// registration and lazy update.
#ifndef SG_NODE_H
#define SG_NODE_H

#include <cstdint>
#include <vector>

#include "SGObject.h"
#include "ports/SGPort.h"

// Class bits of SGNode::classFlags; the same numbers name node classes for createNode.
enum SGNodeClass : uint32_t {
    SGRenderBit = 1,
    SGAttributeNodeClass = 2,
    SGArithmeticNodeClass = 4,
    SGAssetLoaderNodeClass = 8,
    SGClearNodeClass = 16,
    SGColorNodeClass = 32,
    SGImageLoaderNodeClass = 64,
    SGOrtho2DSpaceClass = 128,
    SGParticleSystemNodeClass = 256,
    SGReplicatorSpaceClass = 512,
    SGSpaceClass = 1024,
    SGSpriteNodeClass = 2048,
    SGSoundListenerNodeClass = 4096,
    SGSoundLoaderNodeClass = 8192,
    SGSoundPlayerNodeClass = 16384,
    SGStringToImageNodeClass = 32768,
    SGWrapSpaceClass = 65536,
    SGImageFlipNodeClass = 131072,
    SGImageCellNodeClass = 262144,
};

// A node of the dataflow graph. Concrete nodes hold their ports as members and register
// them in their constructors: all output ports first, then the inputs, so that a change at
// any input marks every output.
class SGNode : public SGObject {
public:
    // Brings the node up to date: when dirty, clears the flag and computes.
    void update();
    // The node's work: reads inputs and writes output values without marking, or draws.
    virtual void compute();
    // The port with this ID, or none.
    virtual SGPort* portForID(SGPortID id);

    void addOutputPort(SGPort* port, SGPortValueType type);
    void addInputPort(SGPort* port, SGPortValueType type);
    // Disconnects every port of the node from its source, releasing the sources' nodes.
    void disconnectPorts();
    bool isRenderNode() const { return (classFlags & SGRenderBit) != 0; }

    bool dirty = true;
    uint32_t classFlags = 0;
    std::vector<SGPort*> outputPorts;  // borrowed: members of the concrete node
    std::vector<SGPort*> inputPorts;   // borrowed: members of the concrete node
};

// A node that draws when its space renders; layer orders the drawing within the space.
class SGRenderNode : public SGNode {
public:
    SGRenderNode() { classFlags |= SGRenderBit; }

    int32_t layer = 0;
};

// Multiplied into the alpha of every sprite colour; renderWithInitialState halves it while
// it draws the initial scene's overlays.
extern float SGAlphaScaleFactor;

#endif
