// Text into OpenGL textures: StringTexture lays text out and draws it with Pango and Cairo,
// and QzImageFromString makes the texture of a text node.
#ifndef QZ_STRING_TEXTURE_H
#define QZ_STRING_TEXTURE_H

#include <cstdint>
#include <optional>
#include <string>

#include <GL/gl.h>

#include "SGImage.h"

enum QzTextAlignment : int32_t {
    QzTextAlignLeft = 0,
    QzTextAlignCenter = 1,
    QzTextAlignRight = 2,
};

struct QzSize {
    double width = 0;
    double height = 0;
};

struct QzRGBA {
    double r = 0, g = 0, b = 0, a = 0;
};

// The farthest an outline or a shadow reaches beyond the glyphs, in pixels. The padding they
// add to a texture stays small beside the texture size cap, and an outline stroke stays cheap.
inline constexpr double kQzTextEffectLimit = 16;

// How a text is drawn beyond its font: markup read for styled runs, an outline of the glyphs
// and a shadow under them. A colour with alpha 0 draws no outline or shadow; widths and
// offsets are clamped to kQzTextEffectLimit.
struct QzTextStyle {
    bool markup = false;  // the text is label markup (QzTextMarkup.h); malformed markup shows as typed
    QzRGBA outlineColor;
    double outlineWidth = 0;  // pixels beyond the glyph edges
    QzRGBA shadowColor;
    double shadowDx = 0;  // pixels to the right
    double shadowDy = 0;  // pixels up
};

// Layout alignment in the text layer's own numbering: 0 left, 1 right, 2 centre.
enum QzPlatformAlignment : int32_t {
    QzPlatformAlignLeft = 0,
    QzPlatformAlignRight = 1,
    QzPlatformAlignCenter = 2,
};

// One text drawn into one texture. The texture made by genTexture belongs to whoever takes
// texName(): destroying the StringTexture does not delete it.
class StringTexture {
public:
    // The font name for a display name ("Arial" gives "ArialMT"), or none for a name the
    // font table does not hold.
    static std::optional<std::string> fontNameForDisplayName(const std::string& displayName);
    // The family name fontconfig knows for a font name ("ArialMT" gives "Arial").
    static std::string familyNameForFontName(const std::string& fontName);

    // White text in the font (a font name) at size points (one point per pixel), box and
    // border clear.
    StringTexture(std::string text, std::string fontName, float size, QzPlatformAlignment alignment);

    // The texture has exactly this size and the text wraps at its width.
    void useStaticFrame(QzSize size);
    void useDynamicFrame();
    // Markup, outline and shadow; a dynamic frame grows by what the outline and shadow reach,
    // a static frame keeps its size and narrows the text box instead.
    void setStyle(const QzTextStyle& style);
    // Lays out, draws and uploads; needs a current OpenGL context for the upload.
    void genTexture();
    // Deletes the texture when this object's context is current.
    void deleteTexture();

    GLuint texName() const { return texName_; }
    QzSize texSize() const { return texSize_; }
    float texWidth() const { return static_cast<float>(texSize_.width); }
    float texHeight() const { return static_cast<float>(texSize_.height); }
    QzRGBA textColor() const { return textColor_; }
    QzRGBA boxColor() const { return boxColor_; }
    QzRGBA borderColor() const { return borderColor_; }
    QzSize frameSize() const { return frameSize_; }
    QzSize marginSize() const { return marginSize_; }
    bool staticFrame() const { return staticFrame_; }

private:
    void* cglCtx_ = nullptr;  // borrowed: the context the texture was made in
    GLuint texName_ = 0;
    QzSize texSize_;
    std::string text_;  // valid UTF-8
    std::string fontFamily_;
    float fontSize_;
    QzPlatformAlignment alignment_;
    QzTextStyle style_;
    QzRGBA textColor_{1, 1, 1, 1};
    QzRGBA boxColor_;
    QzRGBA borderColor_;
    bool staticFrame_ = false;
    QzSize marginSize_{4.0, 2.0};
    QzSize frameSize_;
};

// The texture of the text in the font of the display name (unknown names draw in
// "ArialMT") at size, aligned, and with a static frame of frameWidth × frameHeight when
// staticFrame is set, in the style given. Straight (not premultiplied) RGBA, rows bottom-up. SGImageNull when
// nothing can be drawn (no context, a size that is not allowed).
SGImage QzImageFromString(const char* text, const char* font, float size, QzTextAlignment alignment,
                          bool staticFrame, float frameWidth, float frameHeight, const QzTextStyle& style = {});

#endif
