// Small nodes for scene-graph tests: a doubling node that counts its compute steps.
#ifndef SG_TEST_NODES_H
#define SG_TEST_NODES_H

#include <stdexcept>

#include "SGNode.h"

// output = input × 2; computeCount counts every compute step. With failNext set, the next
// compute step throws instead, as a read nested too deep does.
class SGDoublingNode : public SGNode {
public:
    SGDoublingNode() {
        addOutputPort(&output, SGPortTypeNumber);
        addInputPort(&input, SGPortTypeNumber);
    }
    void compute() override {
        if (failNext) {
            failNext = false;
            throw std::runtime_error("injected read failure");
        }
        ++computeCount;
        output.value = input.numberValue() * 2.0f;
    }

    SGNumberPort output;
    SGNumberPort input;
    int computeCount = 0;
    bool failNext = false;
};

#endif
