// SGSpace: a render node that owns the nodes created in it and draws its render nodes in
// layer order.
#ifndef SG_SPACE_H
#define SG_SPACE_H

#include <vector>

#include "SGNode.h"

class QzEngineAssetManager;
class SoundManager;

class SGSpace : public SGRenderNode {
public:
    SGSpace(SoundManager* soundMgr, QzEngineAssetManager* assetMgr);
    // Releases every node of the space (nested spaces emptied first).
    ~SGSpace() override;

    // Builds a node of the class, adds it and returns it (the space holds its one
    // reference); none for a class the space cannot build, and none for a space nested
    // deeper than kMaxNestingDepth.
    SGNode* createNode(uint32_t nodeClass);
    static bool isSpaceClass(uint32_t nodeClass);
    // Takes over the caller's reference.
    void addNode(SGNode* node);
    // Drops the space's reference; a node not in the space is ignored. A space that leaves
    // is emptied first (its nodes are no longer drawn by anyone).
    void removeNode(SGNode* node);
    void removeAllNodes();
    // Disconnects every port of every node in the space and in the spaces nested in it
    // (not the space's own ports). Connections that loop, through nodes that have no
    // outputs, say, are not refused as cycles, and would keep their nodes alive for good.
    void disconnectContents();
    void addRenderNode(SGRenderNode* node);
    // Orders the render nodes by ascending layer (not a stable sort).
    void sortRenderNodes();
    int32_t countRenderNodes() const { return static_cast<int32_t>(renderNodes.size()); }
    bool containsNode(const SGNode* node) const;

    // willRender, render and didRender, with the dirty flag cleared first.
    void compute() override;
    // Draws every render node, in sequence order.
    virtual void render();
    virtual void willRender();
    virtual void didRender();

    std::vector<SGNode*> nodes;              // retained, one reference each
    std::vector<SGRenderNode*> renderNodes;  // borrowed: the render nodes of nodes
    QzEngineAssetManager* assetMgr;          // borrowed; may be null
    SoundManager* soundMgr;                  // borrowed; may be null

    // How many spaces contain this one. Drawing and emptying nest once per level, so the
    // depth is bounded to keep the call stack bounded.
    static constexpr int32_t kMaxNestingDepth = 1000;
    int32_t nestingDepth = 0;
};

#endif
