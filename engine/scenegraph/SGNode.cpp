// Port registration and lazy update of scene-graph nodes.
#include "SGNode.h"

float SGAlphaScaleFactor = 1.0f;

void SGNode::update() {
    if (!dirty) return;
    dirty = false;
    // A compute step cut short by an exception (a read nested too deep) leaves the node
    // dirty, so that it is not taken for up to date.
    struct StaysDirtyUnlessDone {
        SGNode* node;
        bool done = false;
        ~StaysDirtyUnlessDone() {
            if (!done) node->dirty = true;
        }
    } guard{this};
    compute();
    guard.done = true;
}

void SGNode::compute() {}

SGPort* SGNode::portForID(SGPortID) { return nullptr; }

void SGNode::addOutputPort(SGPort* port, SGPortValueType type) {
    port->type = type;
    port->node = this;
    outputPorts.push_back(port);
}

void SGNode::addInputPort(SGPort* port, SGPortValueType type) {
    port->type = type;
    port->node = this;
    inputPorts.push_back(port);
    for (SGPort* output : outputPorts) port->addDestPort(output);
}

void SGNode::disconnectPorts() {
    for (SGPort* port : outputPorts) port->disconnect();
    for (SGPort* port : inputPorts) port->disconnect();
}
