// Reading, converting, connecting and dirty marking of scene-graph ports.
#include "ports/SGPort.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <unordered_set>

#include "SGNode.h"

float SGParseFloat(const std::string& text) {
    std::istringstream stream(text);
    float number = 0.0f;
    stream >> number;
    return number;
}

int32_t SGParseInt(const std::string& text) {
    std::istringstream stream(text);
    int32_t number = 0;
    stream >> number;
    return number;
}

std::string SGFormatNumber(float number) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", static_cast<double>(number));
    return text;
}

// --- SGPort ---

SGPort::~SGPort() { disconnect(); }

std::string SGPort::stringValue() { return std::string(); }
float SGPort::numberValue() { return 0.0f; }
int32_t SGPort::intValue() { return 0; }
bool SGPort::boolValue() { return false; }
SGColor SGPort::colorValue() { return SGWhiteColor; }
SGSound SGPort::soundValue() { return SGSoundNull; }
SGImage SGPort::imageValue() { return SGImageNull; }

void SGPort::updateOwner() {
    if (!node || !node->dirty) return;
    const ReadDepth depth;
    node->update();
}

namespace {

int readDepth = 0;  // reads under way, nested; the scene graph runs on one thread

}  // namespace

SGPort::ReadDepth::ReadDepth() {
    if (readDepth >= kMaxReadDepth) {
        throw std::runtime_error("scene graph: a read nests through more than " +
                                 std::to_string(kMaxReadDepth) +
                                 " ports (a chain of connected nodes too long)");
    }
    ++readDepth;
}

SGPort::ReadDepth::~ReadDepth() { --readDepth; }

bool SGPort::wouldCloseCycle(const SGPort* source) const {
    std::vector<const SGPort*> pending{this};
    std::unordered_set<const SGPort*> visited{this};
    while (!pending.empty()) {
        const SGPort* port = pending.back();
        pending.pop_back();
        if (port == source) return true;
        for (const SGPort* dest : port->destPorts) {
            if (visited.insert(dest).second) pending.push_back(dest);
        }
    }
    return false;
}

bool SGPort::setValue(SGPort* source) {
    if (!source) {
        disconnect();
        return true;
    }
    if (wouldCloseCycle(source)) return false;
    disconnect();
    // Retain before anything else so the source's node cannot go while we connect.
    if (source->node) source->node->retain();
    sourcePort = source;
    source->addDestPort(this);
    // The reader's node must pull the new source at its next read. Left clean, it would keep
    // its old result, and since marking stops at a dirty node (a new source is dirty until
    // first read), later changes upstream would never reach it either.
    markAsDirty();
    return true;
}

void SGPort::disconnect() {
    SGPort* source = sourcePort;
    if (!source) return;
    source->removeDestPort(this);
    sourcePort = nullptr;
    if (source->node) source->node->release();
}

void SGPort::addDestPort(SGPort* port) {
    assert(port && "destPort");
    destPorts.push_back(port);
}

void SGPort::removeDestPort(SGPort* port) {
    const auto found = std::find(destPorts.begin(), destPorts.end(), port);
    if (found != destPorts.end()) destPorts.erase(found);
}

namespace {

bool ownerIsDirty(const SGPort* port) { return port->node && port->node->dirty; }

}  // namespace

void SGPort::markAsDirty() {
    if (ownerIsDirty(this)) return;
    if (destPorts.empty()) {
        if (node) node->dirty = true;
        return;
    }
    // Depth first through destPorts, each port's node flagged after everything downstream
    // of the port was visited and the walk stopping at dirty nodes: the order of a recursive
    // walk, kept on an explicit stack so a long chain of nodes cannot overflow the call
    // stack. The length of a sequence is re-read at every step.
    struct Step {
        SGPort* port;
        size_t next;
    };
    std::vector<Step> pending{{this, 0}};
    while (!pending.empty()) {
        Step& step = pending.back();
        if (step.next < step.port->destPorts.size()) {
            SGPort* dest = step.port->destPorts[step.next++];
            if (!ownerIsDirty(dest)) pending.push_back({dest, 0});
            continue;
        }
        if (step.port->node) step.port->node->dirty = true;
        pending.pop_back();
    }
}

// --- SGStringPort ---

std::string SGStringPort::stringValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->stringValue();
    }
    updateOwner();
    return value;
}

float SGStringPort::numberValue() { return SGParseFloat(stringValue()); }
int32_t SGStringPort::intValue() { return SGParseInt(stringValue()); }
bool SGStringPort::boolValue() { return SGParseInt(stringValue()) == 1; }

void SGStringPort::setValue(const std::string& text) {
    value = text;
    markAsDirty();
}

// --- SGNumberPort ---

std::string SGNumberPort::stringValue() { return SGFormatNumber(numberValue()); }

float SGNumberPort::numberValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->numberValue();
    }
    updateOwner();
    return value;
}

int32_t SGNumberPort::intValue() { return SGTruncateToInt(numberValue()); }
bool SGNumberPort::boolValue() { return numberValue() != 0.0f; }

void SGNumberPort::setValue(float number) {
    value = number;
    markAsDirty();
}

// --- SGIntegerPort ---

std::string SGIntegerPort::stringValue() { return std::to_string(intValue()); }
float SGIntegerPort::numberValue() { return static_cast<float>(intValue()); }

int32_t SGIntegerPort::intValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->intValue();
    }
    updateOwner();
    return value;
}

bool SGIntegerPort::boolValue() { return intValue() != 0; }

void SGIntegerPort::setValue(int32_t number) {
    value = number;
    markAsDirty();
}

// --- SGBooleanPort ---

std::string SGBooleanPort::stringValue() { return boolValue() ? "true" : "false"; }
float SGBooleanPort::numberValue() { return boolValue() ? 1.0f : 0.0f; }
int32_t SGBooleanPort::intValue() { return boolValue() ? 1 : 0; }

bool SGBooleanPort::boolValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->boolValue();
    }
    updateOwner();
    return value;
}

void SGBooleanPort::setValue(bool flag) {
    value = flag;
    markAsDirty();
}

// --- SGColorPort, SGImagePort, SGSoundPort ---

SGColor SGColorPort::colorValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->colorValue();
    }
    updateOwner();
    return value;
}

void SGColorPort::setValue(const SGColor& color) {
    value = color;
    markAsDirty();
}

SGImage SGImagePort::imageValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->imageValue();
    }
    updateOwner();
    return value;
}

void SGImagePort::setValue(const SGImage& image) {
    value = image;
    markAsDirty();
}

SGSound SGSoundPort::soundValue() {
    if (sourcePort) {
        const ReadDepth depth;
        return sourcePort->soundValue();
    }
    updateOwner();
    return value;
}

void SGSoundPort::setValue(const SGSound& sound) {
    value = sound;
    markAsDirty();
}
