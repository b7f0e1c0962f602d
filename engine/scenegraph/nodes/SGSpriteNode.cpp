// Port reading, caching, renderer choice and drawing of sprite nodes.
#include "nodes/SGSpriteNode.h"

#include <stdexcept>

#include "SGPortIDs.h"
#include "nodes/spriteRenderers/SGColoredSpriteRenderer.h"
#include "nodes/spriteRenderers/SGTexturedSpriteRenderer.h"
#include "nodes/spriteRenderers/SGTiledSpriteRenderer.h"

SGSpriteNode::SGSpriteNode() {
    classFlags |= SGSpriteNodeClass;
    addInputPort(&color, SGPortTypeColor);
    addInputPort(&image, SGPortTypeImage);
    for (SGNumberPort* port : {&x, &y, &width, &height, &angle}) {
        addInputPort(port, SGPortTypeNumber);
    }
    for (SGIntegerPort* port : {&blendingMode, &horizontalWrapping, &verticalWrapping,
                                &horizontalAnchor, &verticalAnchor, &tileHeight, &tileWidth}) {
        addInputPort(port, SGPortTypeInteger);
    }
    cached.image = SGImageNull;
}

SGPort* SGSpriteNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortColor: return &color;
    case SGPortImage: return &image;
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortWidth: return &width;
    case SGPortHeight: return &height;
    case SGPortAngle: return &angle;
    case SGPortBlendingMode: return &blendingMode;
    case SGPortHorizontalWrapping: return &horizontalWrapping;
    case SGPortVerticalWrapping: return &verticalWrapping;
    case SGPortHorizontalAnchor: return &horizontalAnchor;
    case SGPortVerticalAnchor: return &verticalAnchor;
    case SGPortTileHeight: return &tileHeight;
    case SGPortTileWidth: return &tileWidth;
    default: return nullptr;
    }
}

void SGSpriteNode::readPorts() {
    cachedColor = color.colorValue();
    SGImage newImage = image.imageValue();
    cached.x = x.numberValue();
    cached.y = y.numberValue();
    cached.halfWidth = width.numberValue() * 0.5f;
    cached.halfHeight = height.numberValue() * 0.5f;
    cached.angle = angle.numberValue();
    cachedBlendingMode = blendingMode.intValue();
    cached.horizontalWrapping = horizontalWrapping.intValue();
    cached.verticalWrapping = verticalWrapping.intValue();
    cached.horizontalAnchor = horizontalAnchor.intValue();
    cached.verticalAnchor = verticalAnchor.intValue();
    const int32_t tileW = tileWidth.intValue();
    const int32_t tileH = tileHeight.intValue();
    newImage.width = static_cast<uint32_t>(tileW);
    newImage.height = static_cast<uint32_t>(tileH);

    const bool hadTexture = cached.image.hasTexture();
    const bool hasTexture = newImage.hasTexture();
    cached.image = newImage;
    if (!spriteRenderer || hadTexture != hasTexture) createRenderer();

    premultiplied = hasTexture && newImage.premultiplied != 0;
    cachedBlend = SGBlendFactorsForMode(cachedBlendingMode, premultiplied ? 1 : 0);
    if (premultiplied) {
        cachedColor.r *= cachedColor.a;
        cachedColor.g *= cachedColor.a;
        cachedColor.b *= cachedColor.a;
    }
}

void SGSpriteNode::compute() {
    // A sprite is dirty from its construction, so the renderer exists after the first read;
    // the second test only guards against a flag cleared from outside.
    if (dirty || !spriteRenderer) {
        dirty = false;
        try {
            readPorts();
        } catch (const std::runtime_error&) {
            dirty = true;  // a read nested too deep: the cache is incomplete, read it all again
            throw;
        }
    }
    const float s = SGAlphaScaleFactor;
    const SGColor& c = cachedColor;
    SGSpritePaint paint{premultiplied ? SGColor{c.r * s, c.g * s, c.b * s, c.a * s}
                                      : SGColor{c.r, c.g, c.b, c.a * s},
                        cachedBlend};
    SGSpriteBatcher::shared().countSprite();
    spriteRenderer->drawSprite(cached, paint);
}

void SGSpriteNode::createRenderer() {
    spriteRenderer.reset();
    const int32_t h = cached.horizontalWrapping;
    const int32_t v = cached.verticalWrapping;
    if (!cached.image.hasTexture()) {
        spriteRenderer = std::make_unique<SGColoredSpriteRenderer>();
    } else if (h == SGWrapTile) {
        if (v == SGWrapTile) {
            spriteRenderer = std::make_unique<SGTiledSpriteRenderer>();
        } else {
            spriteRenderer = std::make_unique<SGHorizontalTiledSpriteRenderer>();
        }
    } else if (h == SGWrapStretch && v == SGWrapStretch) {
        spriteRenderer = std::make_unique<SGTexturedSpriteRenderer>();
    } else if (v == SGWrapTile) {
        spriteRenderer = std::make_unique<SGVerticalTiledSpriteRenderer>();
    } else {
        spriteRenderer = std::make_unique<SGFixedTexturedSpriteRenderer>();
    }
}
