// The operations of arithmetic nodes.
#include "nodes/SGArithmeticNode.h"

#include <cmath>

#include "SGPortIDs.h"

SGArithmeticNode::SGArithmeticNode() {
    classFlags |= SGArithmeticNodeClass;
    addOutputPort(&output, SGPortTypeNumber);
    addInputPort(&input1, SGPortTypeNumber);
    addInputPort(&input2, SGPortTypeNumber);
    addInputPort(&operation, SGPortTypeString);
    operation.setValue(std::string("+"));
}

void SGArithmeticNode::compute() {
    // The operation's own stored text, not what a connection of that port delivers.
    const char op = operation.value.empty() ? '\0' : operation.value[0];
    const float a = input1.numberValue();
    const float b = input2.numberValue();
    float result = 0.0f;
    switch (op) {
    case '+': result = a + b; break;
    case '-': result = a - b; break;
    case '*': result = a * b; break;
    case '/': result = a / b; break;
    case '%': result = std::fmod(a, b); break;
    case 'c': result = a * std::cos(b); break;
    case 's': result = a * std::sin(b); break;
    default: break;
    }
    output.value = result;
}

SGPort* SGArithmeticNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortInput1: return &input1;
    case SGPortInput2: return &input2;
    case SGPortOperation: return &operation;
    case SGPortOutput: return &output;
    default: return nullptr;
    }
}
