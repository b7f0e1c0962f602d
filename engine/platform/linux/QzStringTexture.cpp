// Text layout and drawing with Pango and Cairo, turned into OpenGL textures.
#include "QzStringTexture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <glib.h>
#include <pango/pangocairo.h>

#include "QzCairoCanvas.h"
#include "QzGLTexture.h"
#include "QzTextMarkup.h"

namespace {

struct GObjectDeleter {
    void operator()(void* object) const { g_object_unref(object); }
};
struct CairoDeleter {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using ContextPtr = std::unique_ptr<PangoContext, GObjectDeleter>;
struct AttrListDeleter {
    void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};

// Invalid byte sequences become U+FFFD, so any bytes can be laid out.
std::string validUTF8(const std::string& text) {
    std::unique_ptr<gchar, decltype(&g_free)> valid(
        g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())), g_free);
    return valid.get();
}

PangoAlignment pangoAlignment(QzPlatformAlignment alignment) {
    switch (alignment) {
    case QzPlatformAlignRight: return PANGO_ALIGN_RIGHT;
    case QzPlatformAlignCenter: return PANGO_ALIGN_CENTER;
    default: return PANGO_ALIGN_LEFT;
    }
}

// A layout of the text with unhinted metrics and grey antialiasing, so sizes do not depend
// on the target surface.
LayoutPtr makeLayout(const std::string& text, const std::string& family, float size,
                     QzPlatformAlignment alignment) {
    ContextPtr context(pango_font_map_create_context(pango_cairo_font_map_get_default()));
    std::unique_ptr<cairo_font_options_t, CairoDeleter> options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context.get(), options.get());
    LayoutPtr layout(pango_layout_new(context.get()));
    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> font(pango_font_description_new());
    pango_font_description_set_family(font.get(), family.c_str());
    pango_font_description_set_absolute_size(font.get(), static_cast<double>(size) * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_alignment(layout.get(), pangoAlignment(alignment));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_text(layout.get(), text.c_str(), static_cast<int>(text.size()));
    // The first paragraph's own direction orders the runs of every line, but Pango's automatic
    // direction would also swap left and right alignment for right-to-left paragraphs:
    // "left" means the box's left.
    const PangoLayoutLine* first = pango_layout_get_line_readonly(layout.get(), 0);
    const bool rightToLeft = first && first->resolved_dir == PANGO_DIRECTION_RTL;
    pango_context_set_base_dir(context.get(), rightToLeft ? PANGO_DIRECTION_RTL : PANGO_DIRECTION_LTR);
    pango_layout_set_auto_dir(layout.get(), false);
    pango_layout_context_changed(layout.get());
    return layout;
}

QzSize layoutSize(PangoLayout* layout) {
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    return {static_cast<double>(logical.width) / PANGO_SCALE,
            static_cast<double>(logical.height) / PANGO_SCALE};
}

// A frame side in whole pixels; sides that are not finite or not positive give 0.
int64_t pixelSide(double side) {
    if (!std::isfinite(side) || side <= 0) return 0;
    return side >= 1e9 ? int64_t{1000000000} : static_cast<int64_t>(std::ceil(side));
}

void setSource(cairo_t* cr, const QzRGBA& colour) {
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, colour.a);
}

guint16 level16(double channel) {
    return static_cast<guint16>(std::lround(std::clamp(channel, 0.0, 1.0) * 65535.0));
}

PangoAttribute* runAttribute(const QzTextRun& run) {
    switch (run.kind) {
    case QzTextRunKind::Bold: return pango_attr_weight_new(PANGO_WEIGHT_BOLD);
    case QzTextRunKind::Italic: return pango_attr_style_new(PANGO_STYLE_ITALIC);
    case QzTextRunKind::Underline: return pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    case QzTextRunKind::Color: return pango_attr_foreground_new(level16(run.r), level16(run.g), level16(run.b));
    case QzTextRunKind::Size: return pango_attr_size_new_absolute(static_cast<int>(run.size * PANGO_SCALE));
    }
    return nullptr;
}

// The runs as the layout's attributes; a later run of the same kind wins where runs nest.
void setRunAttributes(PangoLayout* layout, const std::vector<QzTextRun>& runs) {
    std::unique_ptr<PangoAttrList, AttrListDeleter> list(pango_attr_list_new());
    const auto insert = [&](PangoAttribute* attribute, const QzTextRun& run) {
        attribute->start_index = static_cast<guint>(run.start);
        attribute->end_index = static_cast<guint>(run.end);
        pango_attr_list_insert(list.get(), attribute);
    };
    for (const QzTextRun& run : runs) {
        insert(runAttribute(run), run);
        if (run.kind == QzTextRunKind::Color && run.a < 1) insert(pango_attr_foreground_alpha_new(level16(run.a)), run);
    }
    pango_layout_set_attributes(layout, list.get());
}

// How far the outline and the shadow reach beyond the glyphs, in whole pixels, each side.
struct EffectReach {
    double outline = 0;
    double shadowDx = 0;
    double shadowDy = 0;
    double x() const { return outline + std::abs(shadowDx); }
    double y() const { return outline + std::abs(shadowDy); }
};

double boundedEffect(double amount) {
    return std::isfinite(amount) ? std::round(std::clamp(amount, -kQzTextEffectLimit, kQzTextEffectLimit)) : 0;
}

EffectReach effectReach(const QzTextStyle& style) {
    EffectReach reach;
    if (style.outlineColor.a > 0) reach.outline = std::max(0.0, std::ceil(boundedEffect(style.outlineWidth)));
    if (style.shadowColor.a > 0) {
        reach.shadowDx = boundedEffect(style.shadowDx);
        reach.shadowDy = boundedEffect(style.shadowDy);
    }
    return reach;
}

struct PatternDeleter {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};

// The coverage of the glyphs laid out from (x, y), grown by the outline width when there is
// one: stroked once, it serves as the mask of both the outline and the shadow, so neither is
// darker where strokes overlap.
std::unique_ptr<cairo_pattern_t, PatternDeleter> effectShape(cairo_t* cr, PangoLayout* layout, double x, double y,
                                                             double outline) {
    cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
    cairo_move_to(cr, x, y);
    pango_cairo_layout_path(cr, layout);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    if (outline > 0) {
        cairo_set_line_width(cr, 2 * outline);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
    }
    cairo_fill(cr);
    return std::unique_ptr<cairo_pattern_t, PatternDeleter>(cairo_pop_group(cr));
}

// The shadow, then the outline, under the text drawn at (x, y).
void drawEffects(cairo_t* cr, PangoLayout* layout, double x, double y, const QzTextStyle& style,
                 const EffectReach& reach) {
    const bool shadow = style.shadowColor.a > 0;
    if (!shadow && reach.outline == 0) return;
    const auto shape = effectShape(cr, layout, x, y, reach.outline);
    if (shadow) {
        cairo_save(cr);
        cairo_translate(cr, reach.shadowDx, -reach.shadowDy);
        setSource(cr, style.shadowColor);
        cairo_mask(cr, shape.get());
        cairo_restore(cr);
    }
    if (reach.outline > 0) {
        setSource(cr, style.outlineColor);
        cairo_mask(cr, shape.get());
    }
}

}  // namespace

std::optional<std::string> StringTexture::fontNameForDisplayName(const std::string& displayName) {
    static const std::map<std::string, std::string> kFonts = {
        {"Arial", "ArialMT"},
        {"Courier New", "CourierNewPSMT"},
        {"Georgia", "Georgia"},
        {"Times New Roman", "TimesNewRomanPSMT"},
        {"Trebuchet MS", "TrebuchetMS"},
        {"Verdana", "Verdana"},
        {"Zapfino", "Zapfino"},
        {"Helvetica", "Helvetica"},
        {"Helvetica Neue", "Helvetica Neue"},
        {"American Typewriter", "American Typewriter"},
        {"Baskerville", "Baskerville"},
        {"Cochin", "Cochin"},
        {"Futura", "Futura"},
        {"Gill Sans", "Gill Sans"},
    };
    const auto found = kFonts.find(displayName);
    if (found == kFonts.end()) return std::nullopt;
    return found->second;
}

std::string StringTexture::familyNameForFontName(const std::string& fontName) {
    static const std::map<std::string, std::string> kFamilies = {
        {"ArialMT", "Arial"},
        {"TimesNewRomanPSMT", "Times New Roman"},
        {"CourierNewPSMT", "Courier New"},
        {"TrebuchetMS", "Trebuchet MS"},
    };
    const auto found = kFamilies.find(fontName);
    return found == kFamilies.end() ? fontName : found->second;
}

StringTexture::StringTexture(std::string text, std::string fontName, float size,
                             QzPlatformAlignment alignment)
    : text_(validUTF8(text)),
      fontFamily_(familyNameForFontName(fontName)),
      fontSize_(size),
      alignment_(alignment) {}

void StringTexture::useStaticFrame(QzSize size) {
    deleteTexture();
    frameSize_ = size;
    staticFrame_ = true;
}

void StringTexture::useDynamicFrame() {
    if (!staticFrame_) return;
    deleteTexture();
    staticFrame_ = false;
    frameSize_ = {};
}

void StringTexture::setStyle(const QzTextStyle& style) {
    deleteTexture();
    style_ = style;
}

void StringTexture::deleteTexture() {
    if (texName_ != 0 && cglCtx_) {
        if (QzCurrentGLContext() == cglCtx_) glDeleteTextures(1, &texName_);
        texName_ = 0;
        cglCtx_ = nullptr;
    }
}

void StringTexture::genTexture() {
    deleteTexture();
    if (!std::isfinite(fontSize_) || fontSize_ <= 0) return;
    // Malformed markup is drawn as typed: the script reports it where it was written.
    const QzTextMarkup markup = style_.markup ? QzParseTextMarkup(text_) : QzTextMarkup{};
    const bool styled = style_.markup && markup.problem.empty();
    LayoutPtr layout = makeLayout(styled ? markup.text : text_, fontFamily_, fontSize_, alignment_);
    if (styled) setRunAttributes(layout.get(), markup.runs);
    const EffectReach reach = effectReach(style_);
    if (!staticFrame_ && frameSize_.width == 0 && frameSize_.height == 0) {
        const QzSize text = layoutSize(layout.get());
        frameSize_ = {text.width + 2 * (marginSize_.width + reach.x()),
                      text.height + 2 * (marginSize_.height + reach.y())};
    }
    const int64_t width = pixelSide(frameSize_.width);
    const int64_t height = pixelSide(frameSize_.height);
    const char* reason = nullptr;
    if (!QzTextureSizeAllowed(width, height, &reason)) {
        std::fprintf(stderr, "StringTexture -genTexture: a text texture of %lldx%lld pixels is refused: %s\n",
                     static_cast<long long>(width), static_cast<long long>(height), reason);
        return;
    }
    std::string error;
    const std::unique_ptr<QzCairoCanvas> canvas = QzCairoCanvas::create(width, height, &error);
    if (!canvas) {
        std::fprintf(stderr, "StringTexture -genTexture: a text texture of %lldx%lld pixels is refused: %s\n",
                     static_cast<long long>(width), static_cast<long long>(height), error.c_str());
        return;
    }
    texSize_ = {static_cast<double>(width), static_cast<double>(height)};
    cglCtx_ = QzCurrentGLContext();
    if (!cglCtx_) {
        std::fprintf(stderr, "StringTexture -genTexture: Failure to get current OpenGL context\n");
        return;
    }

    cairo_t* cr = canvas->cairo();
    const int32_t w = canvas->width();
    const int32_t h = canvas->height();
    if (boxColor_.a != 0) {
        setSource(cr, boxColor_);
        cairo_paint(cr);
    }
    if (borderColor_.a != 0) {
        setSource(cr, borderColor_);
        cairo_set_line_width(cr, 1.0);
        cairo_rectangle(cr, 0.5, 0.5, w - 1.0, h - 1.0);
        cairo_stroke(cr);
    }
    // The drawing area runs from the margins to the far edges. The text box inside it leaves
    // room for the outline and the shadow on each side; the text breaks lines at its width.
    const double boxWidth = frameSize_.width - marginSize_.width - 2 * reach.x();
    pango_layout_set_width(layout.get(), static_cast<int>(std::clamp(boxWidth, 0.0, 1e6) * PANGO_SCALE));
    cairo_rectangle(cr, marginSize_.width, marginSize_.height, frameSize_.width - marginSize_.width,
                    frameSize_.height - marginSize_.height);
    cairo_clip(cr);
    const double x = marginSize_.width + reach.x();
    const double y = marginSize_.height + reach.y();
    pango_cairo_update_layout(cr, layout.get());
    drawEffects(cr, layout.get(), x, y, style_, reach);
    setSource(cr, textColor_);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());

    const std::vector<uint8_t> rgba = canvas->straightRGBABottomUp();
    glGenTextures(1, &texName_);
    QzFillRGBATexture(texName_, w, h, rgba.data());
}

SGImage QzImageFromString(const char* text, const char* font, float size, QzTextAlignment alignment,
                          bool staticFrame, float frameWidth, float frameHeight, const QzTextStyle& style) {
    const QzPlatformAlignment platformAlignment =
        alignment == QzTextAlignLeft ? QzPlatformAlignLeft
        : alignment == QzTextAlignRight ? QzPlatformAlignRight : QzPlatformAlignCenter;
    const std::string fontName = StringTexture::fontNameForDisplayName(font ? font : "").value_or("ArialMT");
    StringTexture texture(text ? text : "", fontName, size, platformAlignment);
    if (staticFrame) texture.useStaticFrame({frameWidth, frameHeight});
    texture.setStyle(style);
    texture.genTexture();
    SGImage image = SGImageNull;
    image.textureName = texture.texName();
    image.textureWidth = SGTruncateToInt(texture.texWidth());
    image.textureHeight = SGTruncateToInt(texture.texHeight());
    image.textureRect = {0, 0, 1, 1};
    image.width = static_cast<uint32_t>(image.getWidth());
    image.height = static_cast<uint32_t>(image.getHeight());
    return image;
}
