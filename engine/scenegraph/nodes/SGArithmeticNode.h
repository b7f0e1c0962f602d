// SGArithmeticNode: one arithmetic operation on two numbers.
#ifndef SG_ARITHMETIC_NODE_H
#define SG_ARITHMETIC_NODE_H

#include "SGNode.h"

class SGArithmeticNode : public SGNode {
public:
    SGArithmeticNode();

    // output = input1 (op) input2, by the first character of the operation's own text:
    // + - * / %, c (a × cos b), s (a × sin b); anything else gives 0.
    void compute() override;
    SGPort* portForID(SGPortID id) override;

    SGNumberPort output;
    SGNumberPort input1;
    SGNumberPort input2;
    SGStringPort operation;
};

#endif
