// Tests of port conversions, connections, reference counts and dirty marking.
#include <cmath>

#include <gtest/gtest.h>

#include "SGNode.h"
#include "SGTestNodes.h"

namespace {

// A port registered on a node, so that reads and marks have an owner.
template <typename Port>
struct Owned {
    SGNode* node = new SGNode;
    Port port;
    explicit Owned(SGPortValueType type) { node->addOutputPort(&port, type); node->dirty = false; }
    ~Owned() { port.disconnect(); node->release(); }
};

TEST(SGPortConversions, TextReadsAsNumbersAndBooleans) {
    struct Case {
        const char* text;
        bool flag;
        int32_t integer;
        float number;
    };
    const Case cases[] = {{"1", true, 1, 1},  {"  1", true, 1, 1},     {"true", false, 0, 0},
                          {"0", false, 0, 0}, {"2", false, 2, 2},       {"", false, 0, 0},
                          {"12abc", false, 12, 12}, {"2.75", false, 2, 2.75f}, {"abc", false, 0, 0}};
    for (const Case& c : cases) {
        SGStringPort text;
        text.value = c.text;
        EXPECT_TRUE(text.boolValue() == c.flag && text.intValue() == c.integer && text.numberValue() == c.number)
            << c.text;
    }
}

TEST(SGPortConversions, NumbersPrintWithTwoSignificantDigitsAndSaturateAsIntegers) {
    SGNumberPort number;
    const std::pair<float, const char*> cases[] = {
        {3.14159f, "3.1"}, {12.5f, "12"}, {100.0f, "1e+02"}, {0.5f, "0.5"}, {1.0f, "1"},
        {123.456f, "1.2e+02"}};
    for (const auto& [value, text] : cases) {
        number.value = value;
        EXPECT_EQ(number.stringValue(), text);
    }
    const std::pair<float, int32_t> integers[] = {{-2.7f, -2}, {1e20f, INT32_MAX}, {-1e20f, INT32_MIN}, {std::nanf(""), 0}};
    for (const auto& [value, integer] : integers) {
        number.value = value;
        EXPECT_EQ(number.intValue(), integer) << value;
    }
    EXPECT_TRUE(number.boolValue());
}

TEST(SGPortConversions, IntegersBooleansAndOtherTypes) {
    SGIntegerPort integer;
    integer.value = -42;
    EXPECT_EQ(integer.stringValue(), "-42");
    EXPECT_FLOAT_EQ(integer.numberValue(), -42.0f);
    SGBooleanPort flag;
    flag.value = true;
    EXPECT_EQ(flag.stringValue(), "true");
    EXPECT_EQ(flag.intValue(), 1);
    SGColorPort color({0.1f, 0.2f, 0.3f, 0.4f});
    EXPECT_FLOAT_EQ(color.numberValue(), 0.0f);
    EXPECT_EQ(color.stringValue(), "");
    EXPECT_FLOAT_EQ(color.colorValue().b, 0.3f);
    SGStringPort text;
    EXPECT_FLOAT_EQ(text.colorValue().r, 1.0f);
    EXPECT_EQ(text.imageValue().textureName, 0u);
    EXPECT_EQ(text.soundValue().count, 0);
}

TEST(SGPortConnections, ConnectedPortConvertsThroughTheSourcesText) {
    Owned<SGNumberPort> number(SGPortTypeNumber);
    Owned<SGStringPort> text(SGPortTypeString);
    number.port.value = 123.456f;
    ASSERT_TRUE(text.port.setValue(&number.port));
    EXPECT_FLOAT_EQ(text.port.numberValue(), 120.0f);
    EXPECT_EQ(text.port.stringValue(), "1.2e+02");
}

TEST(SGPortConnections, ReconnectingMovesTheReference) {
    Owned<SGNumberPort> a(SGPortTypeNumber), b(SGPortTypeNumber), c(SGPortTypeNumber);
    ASSERT_TRUE(b.port.setValue(&a.port));
    EXPECT_EQ(a.node->retainCount(), 2u);
    ASSERT_TRUE(b.port.setValue(&c.port));
    EXPECT_EQ(a.node->retainCount(), 1u);
    EXPECT_EQ(c.node->retainCount(), 2u);
    EXPECT_TRUE(a.port.destPorts.empty());
    ASSERT_EQ(c.port.destPorts.size(), 1u);
    EXPECT_EQ(c.port.destPorts[0], &b.port);
    b.port.setValue(nullptr);
    EXPECT_EQ(c.node->retainCount(), 1u);
    EXPECT_EQ(b.port.sourcePort, nullptr);
}

TEST(SGPortConnections, DisconnectingTheLastReaderDestroysADroppedNode) {
    auto* upstream = new SGDoublingNode;
    const uint64_t serial = upstream->serial();
    Owned<SGNumberPort> reader(SGPortTypeNumber);
    reader.port.setValue(&upstream->output);
    upstream->release();  // its space dropped it; the connection keeps it alive
    ASSERT_TRUE(SGObject::isAlive(upstream, serial));
    upstream->input.value = 4.0f;
    EXPECT_FLOAT_EQ(reader.port.numberValue(), 8.0f);
    reader.port.disconnect();
    EXPECT_FALSE(SGObject::isAlive(upstream, serial));
}

TEST(SGPortConnections, CyclesAreRefused) {
    auto* a = new SGDoublingNode;
    auto* b = new SGDoublingNode;
    EXPECT_FALSE(a->input.setValue(&a->output));
    EXPECT_FALSE(a->input.setValue(&a->input));
    ASSERT_TRUE(b->input.setValue(&a->output));
    EXPECT_FALSE(a->input.setValue(&b->output));
    EXPECT_EQ(a->input.sourcePort, nullptr);
    EXPECT_EQ(b->retainCount(), 1u);
    b->release();
    a->release();
}

TEST(SGPortDirty, ReadsComputeOnlyAfterAnInputChanged) {
    auto* source = new SGDoublingNode;
    auto* sink = new SGDoublingNode;
    sink->input.setValue(&source->output);
    source->input.setValue(1.0f);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 4.0f);
    EXPECT_EQ(source->computeCount, 1);
    EXPECT_EQ(sink->computeCount, 1);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 4.0f);
    EXPECT_EQ(sink->computeCount, 1);
    source->input.setValue(3.0f);
    EXPECT_TRUE(sink->dirty);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 12.0f);
    EXPECT_EQ(source->computeCount, 2);
    EXPECT_EQ(sink->computeCount, 2);
    // A write without marking leaves the computed result alone.
    source->input.value = 5.0f;
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 12.0f);
    EXPECT_EQ(sink->computeCount, 2);
    sink->release();
    source->release();
}

TEST(SGPortDirty, ConnectingMakesTheReaderPullItsNewSource) {
    auto* source = new SGDoublingNode;  // dirty: never read yet
    auto* sink = new SGDoublingNode;
    sink->input.setValue(1.0f);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 2.0f);
    source->input.value = 5.0f;
    sink->input.setValue(&source->output);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 20.0f);
    source->input.setValue(6.0f);
    EXPECT_FLOAT_EQ(sink->output.numberValue(), 24.0f) << "later changes reach the reader";
    sink->release();
    source->release();
}

TEST(SGPortDirty, MarkingReachesEveryBranchDownstream) {
    SGDoublingNode* nodes[5];
    for (auto*& node : nodes) node = new SGDoublingNode;
    // 0 feeds 1 and 2, 1 feeds 3, 3 feeds a port of another node, 2 feeds 4.
    nodes[1]->input.setValue(&nodes[0]->output);
    nodes[2]->input.setValue(&nodes[0]->output);
    nodes[3]->input.setValue(&nodes[1]->output);
    Owned<SGNumberPort> extra(SGPortTypeNumber);
    extra.port.setValue(&nodes[3]->output);
    nodes[4]->input.setValue(&nodes[2]->output);
    for (auto* node : nodes) node->dirty = false;
    extra.node->dirty = false;
    nodes[0]->input.setValue(1.0f);
    for (auto* node : nodes) EXPECT_TRUE(node->dirty);
    EXPECT_TRUE(extra.node->dirty);
    for (auto* node : nodes) node->release();
}

TEST(SGPortDirty, MarkingADirtyNodeOnlyStoresTheValue) {
    auto* source = new SGDoublingNode;
    auto* sink = new SGDoublingNode;
    sink->input.setValue(&source->output);
    sink->output.numberValue();
    source->input.setValue(2.0f);
    sink->dirty = false;  // a downstream node that is clean while its source is dirty
    source->input.setValue(2.0f);
    EXPECT_FALSE(sink->dirty) << "the walk stops at the already dirty source";
    sink->release();
    source->release();
}

}  // namespace
