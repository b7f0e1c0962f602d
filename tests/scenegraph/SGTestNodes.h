// Small nodes for scene-graph tests: a doubling node that counts its compute steps.
#ifndef SG_TEST_NODES_H
#define SG_TEST_NODES_H

#include "SGNode.h"

// output = input × 2; computeCount counts every compute step.
class SGDoublingNode : public SGNode {
public:
    SGDoublingNode() {
        addOutputPort(&output, SGPortTypeNumber);
        addInputPort(&input, SGPortTypeNumber);
    }
    void compute() override {
        ++computeCount;
        output.value = input.numberValue() * 2.0f;
    }

    SGNumberPort output;
    SGNumberPort input;
    int computeCount = 0;
};

#endif
