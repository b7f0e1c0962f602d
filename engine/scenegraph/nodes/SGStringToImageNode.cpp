// Text nodes: text into textures through the platform text service.
#include "nodes/SGStringToImageNode.h"

#include "QzEngineAssetManager.h"
#include "QzStringTexture.h"
#include "SGPortIDs.h"

SGStringToImageNode::SGStringToImageNode(QzEngineAssetManager* assetManager) : assetManager(assetManager) {
    classFlags |= SGStringToImageNodeClass;
    addOutputPort(&image, SGPortTypeImage);
    addOutputPort(&width, SGPortTypeNumber);
    addOutputPort(&height, SGPortTypeNumber);
    addInputPort(&text, SGPortTypeString);
    addInputPort(&font, SGPortTypeString);
    addInputPort(&fontSize, SGPortTypeNumber);
    addInputPort(&alignment, SGPortTypeInteger);
    addInputPort(&wrap, SGPortTypeBoolean);
    addInputPort(&wrapWidth, SGPortTypeNumber);
    addInputPort(&wrapHeight, SGPortTypeNumber);
    addInputPort(&markup, SGPortTypeBoolean);
    addInputPort(&outlineColor, SGPortTypeColor);
    addInputPort(&outlineWidth, SGPortTypeNumber);
    addInputPort(&shadowColor, SGPortTypeColor);
    addInputPort(&shadowDx, SGPortTypeNumber);
    addInputPort(&shadowDy, SGPortTypeNumber);
    font.value = "LucidaGrande";
    fontSize.value = 12;
    alignment.value = 1;
    wrap.value = false;
    wrapWidth.value = 100;
    wrapHeight.value = 100;
    if (assetManager) assetManager->addTextImageNode(this);
}

SGStringToImageNode::~SGStringToImageNode() {
    if (assetManager) assetManager->removeTextImageNode(this);
    if (image.value.hasTexture()) image.value.freeImage();
}

void SGStringToImageNode::compute() {
    const std::string textValue = text.stringValue();
    const float size = fontSize.numberValue();
    const int32_t alignmentValue = alignment.intValue();
    const std::string fontName = font.stringValue();
    if (image.value.hasTexture()) image.value.freeImage();
    image.value = SGImageNull;
    width.value = 0;
    height.value = 0;
    if (textValue.empty() || fontName.empty()) return;
    const bool wrapValue = wrap.boolValue();
    const float frameWidth = wrapWidth.numberValue();
    const float frameHeight = wrapHeight.numberValue();
    const SGImage made = QzImageFromString(textValue.c_str(), fontName.c_str(), size,
                                           static_cast<QzTextAlignment>(alignmentValue), wrapValue,
                                           frameWidth, frameHeight, readStyle());
    if (!made.hasTexture()) return;
    image.value = made;
    width.value = static_cast<float>(made.getWidth());
    height.value = static_cast<float>(made.getHeight());
}

QzTextStyle SGStringToImageNode::readStyle() {
    const auto rgba = [](const SGColor& color) { return QzRGBA{color.r, color.g, color.b, color.a}; };
    QzTextStyle style;
    style.markup = markup.boolValue();
    style.outlineColor = rgba(outlineColor.colorValue());
    style.outlineWidth = outlineWidth.numberValue();
    style.shadowColor = rgba(shadowColor.colorValue());
    style.shadowDx = shadowDx.numberValue();
    style.shadowDy = shadowDy.numberValue();
    return style;
}

SGPort* SGStringToImageNode::portForID(SGPortID id) {
    switch (id) {
    case SGPortImage: return &image;
    case SGPortWidth: return &width;
    case SGPortHeight: return &height;
    case SGPortText: return &text;
    case SGPortFont: return &font;
    case SGPortFontSize: return &fontSize;
    case SGPortAlignment: return &alignment;
    case SGPortWrap: return &wrap;
    case SGPortWrapWidth: return &wrapWidth;
    case SGPortWrapHeight: return &wrapHeight;
    case SGPortMarkup: return &markup;
    case SGPortOutlineColor: return &outlineColor;
    case SGPortOutlineWidth: return &outlineWidth;
    case SGPortShadowColor: return &shadowColor;
    case SGPortShadowDx: return &shadowDx;
    case SGPortShadowDy: return &shadowDy;
    default: return nullptr;
    }
}
