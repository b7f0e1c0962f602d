// Node ownership, creation by class and drawing order of spaces.
#include "SGSpace.h"

#include <algorithm>

#include "nodes/SGNodeFactory.h"
#include "nodes/spriteRenderers/SGSpriteBatcher.h"

namespace {

// Drops one reference on a node leaving its space. A space leaving is emptied first, while
// the reference still keeps it alive: a node inside it may read from one of its ports, and
// that connection's reference would otherwise keep the space, and so the node, alive
// forever.
void dropNode(SGNode* node) {
    if (node->classFlags & SGSpaceClass) static_cast<SGSpace*>(node)->removeAllNodes();
    node->release();
}

}  // namespace

SGSpace::SGSpace(SoundManager* sound, QzEngineAssetManager* assets)
    : assetMgr(assets), soundMgr(sound) {
    classFlags |= SGSpaceClass;
}

SGSpace::~SGSpace() { removeAllNodes(); }

bool SGSpace::isSpaceClass(uint32_t nodeClass) {
    return nodeClass == SGSpaceClass || nodeClass == SGReplicatorSpaceClass ||
           nodeClass == SGWrapSpaceClass;
}

SGNode* SGSpace::createNode(uint32_t nodeClass) {
    const bool space = isSpaceClass(nodeClass);
    if (space && nestingDepth >= kMaxNestingDepth) return nullptr;
    SGNode* node = SGNodeFactoryCreate(*this, nodeClass);
    if (!node) return nullptr;
    if (space) static_cast<SGSpace*>(node)->nestingDepth = nestingDepth + 1;
    addNode(node);
    return node;
}

void SGSpace::addNode(SGNode* node) {
    nodes.push_back(node);
    if (node->isRenderNode()) addRenderNode(static_cast<SGRenderNode*>(node));
}

void SGSpace::removeNode(SGNode* node) {
    const auto found = std::find(nodes.begin(), nodes.end(), node);
    if (found == nodes.end()) return;
    if (node->isRenderNode()) {
        const auto render = std::find(renderNodes.begin(), renderNodes.end(), node);
        if (render != renderNodes.end()) renderNodes.erase(render);
    }
    nodes.erase(found);
    dropNode(node);
}

void SGSpace::removeAllNodes() {
    // Emptied before the releases so that nothing a destructor does can see a half-released
    // list.
    std::vector<SGNode*> dropped;
    dropped.swap(nodes);
    renderNodes.clear();
    for (SGNode* node : dropped) dropNode(node);
}

void SGSpace::disconnectContents() {
    for (SGNode* node : nodes) {
        node->disconnectPorts();
        if (node->classFlags & SGSpaceClass) static_cast<SGSpace*>(node)->disconnectContents();
    }
}

void SGSpace::addRenderNode(SGRenderNode* node) { renderNodes.push_back(node); }

void SGSpace::sortRenderNodes() {
    std::sort(renderNodes.begin(), renderNodes.end(),
              [](const SGRenderNode* a, const SGRenderNode* b) { return a->layer < b->layer; });
}

bool SGSpace::containsNode(const SGNode* node) const {
    return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
}

void SGSpace::compute() {
    dirty = false;
    willRender();
    // didRender also runs when a read nested too deep unwinds through render(), so that an
    // orthographic space's matrices are popped.
    struct DidRender {
        SGSpace* space;
        ~DidRender() { space->didRender(); }
    } after{this};
    render();
}

void SGSpace::render() {
    // Sprites and particles hand their quads to the batcher; any other render node may
    // draw by itself or move the matrices, so what is pending is drawn before it.
    SGSpriteBatcher& batcher = SGSpriteBatcher::shared();
    const SGSpriteBatcher::Scope batching;
    for (size_t i = 0; i < renderNodes.size(); ++i) {
        SGRenderNode* node = renderNodes[i];
        if (!(node->classFlags & (SGSpriteNodeClass | SGParticleSystemNodeClass))) batcher.flush();
        node->compute();
    }
}

void SGSpace::willRender() {}

void SGSpace::didRender() {}
