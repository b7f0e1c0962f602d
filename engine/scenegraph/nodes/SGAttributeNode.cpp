// Construction of attribute nodes by value type.
#include "nodes/SGAttributeNode.h"

#include <cstdio>

namespace {

std::unique_ptr<SGPort> makeValuePort(SGPortValueType type) {
    switch (type) {
    case SGPortTypeString:
    case SGPortTypeAssetName: return std::make_unique<SGStringPort>();
    case SGPortTypeNumber: return std::make_unique<SGNumberPort>();
    case SGPortTypeInteger: return std::make_unique<SGIntegerPort>();
    case SGPortTypeBoolean: return std::make_unique<SGBooleanPort>();
    default: return nullptr;
    }
}

}  // namespace

SGAttributeNode::SGAttributeNode(SGPortValueType type) : value(makeValuePort(type)) {
    classFlags |= SGAttributeNodeClass;
    if (value) {
        addOutputPort(value.get(), type);
    } else {
        std::printf("SGAttributeNode creation failed - unsupported type\n");
    }
}

SGPort* SGAttributeNode::portForID(SGPortID) { return value.get(); }
