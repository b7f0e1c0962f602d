// SGSpriteNode: the render node that draws a coloured or textured rectangle.
#ifndef SG_SPRITE_NODE_H
#define SG_SPRITE_NODE_H

#include <memory>

#include "SGNode.h"
#include "nodes/spriteRenderers/SGSpriteRenderer.h"

// Reads its ports only when dirty and caches what it draws; every frame it hands the cached
// record, colour and blend function to its renderer, which passes the quads to the sprite
// batcher.
class SGSpriteNode : public SGRenderNode {
public:
    SGSpriteNode();

    void compute() override;
    SGPort* portForID(SGPortID id) override;
    // Replaces the renderer by the one the cached image and wrapping modes call for.
    void createRenderer();
    const SGSpriteRenderer* renderer() const { return spriteRenderer.get(); }

    SGColorPort color{SGWhiteColor};
    SGImagePort image;
    SGNumberPort x;
    SGNumberPort y;
    SGNumberPort width;
    SGNumberPort height;
    SGNumberPort angle;
    SGIntegerPort blendingMode;
    SGIntegerPort horizontalWrapping;
    SGIntegerPort verticalWrapping;
    SGIntegerPort horizontalAnchor;
    SGIntegerPort verticalAnchor;
    SGIntegerPort tileHeight;
    SGIntegerPort tileWidth;

private:
    // Reads every port into the cache; replaces the renderer when the texture comes or goes.
    void readPorts();

    std::unique_ptr<SGSpriteRenderer> spriteRenderer;  // owned
    bool premultiplied = false;
    SGColor cachedColor = SGWhiteColor;
    int32_t cachedBlendingMode = 0;
    SGBlendFactors cachedBlend{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    SGSpriteDrawParams cached{};  // image holds the tile size in width and height
};

#endif
