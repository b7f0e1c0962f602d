// SGAttributeNode: a free-standing node holding one script-set value on its one port.
#ifndef SG_ATTRIBUTE_NODE_H
#define SG_ATTRIBUTE_NODE_H

#include <memory>

#include "SGNode.h"

class SGAttributeNode : public SGNode {
public:
    // A value port of the type (text, asset name, number, integer or boolean). Any other
    // type prints a message and builds the node without a port.
    explicit SGAttributeNode(SGPortValueType type);

    // The value port for every ID; none when the node was built without one.
    SGPort* portForID(SGPortID id) override;
    SGPort* valuePort() const { return value.get(); }

private:
    std::unique_ptr<SGPort> value;  // owned; null for an unsupported type
};

#endif
