// SGStringToImageNode: the texture of a text in a font, size and alignment, optionally in a
// static frame that wraps the text at its width, with markup, an outline and a shadow.
#ifndef SG_STRING_TO_IMAGE_NODE_H
#define SG_STRING_TO_IMAGE_NODE_H

#include "SGNode.h"

class QzEngineAssetManager;
struct QzTextStyle;

class SGStringToImageNode : public SGNode {
public:
    // Registers with the manager (when there is one), which marks the image dirty when it
    // reloads all images.
    explicit SGStringToImageNode(QzEngineAssetManager* assetManager);
    // Unregisters and deletes the node's texture (the drawing thread's context must be
    // current).
    ~SGStringToImageNode() override;

    // Deletes the previous texture and makes a new one (none for an empty text or font).
    void compute() override;
    SGPort* portForID(SGPortID id) override;
    // The manager is being destroyed.
    void detachFromManager() { assetManager = nullptr; }

    SGImagePort image;  // its texture is owned by the node
    SGNumberPort width;
    SGNumberPort height;
    SGStringPort text;
    SGStringPort font;
    SGNumberPort fontSize;
    SGIntegerPort alignment;
    SGBooleanPort wrap;
    SGNumberPort wrapWidth;
    SGNumberPort wrapHeight;
    // The text's style (QzTextStyle): label markup, an outline and a shadow, none at first.
    SGBooleanPort markup;
    SGColorPort outlineColor{SGColor{0, 0, 0, 0}};
    SGNumberPort outlineWidth;
    SGColorPort shadowColor{SGColor{0, 0, 0, 0}};
    SGNumberPort shadowDx;
    SGNumberPort shadowDy;

private:
    QzTextStyle readStyle();

    QzEngineAssetManager* assetManager;  // borrowed; null when none or destroyed
};

#endif
