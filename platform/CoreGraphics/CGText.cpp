#include "CGText.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "CGBackend.h"

namespace {

// The pinned face. Fontconfig sees this one file and nothing else, so there is no fallback to
// whatever a machine happens to have, and hinting is off so metrics do not depend on sizes in
// device pixels.
constexpr const char* kFontFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr const char* kFontFamily = "WenQuanYi Micro Hei";
constexpr const char* kFontConfig = R"(<?xml version="1.0"?>
<fontconfig>
  <match target="font">
    <edit name="hinting" mode="assign"><bool>false</bool></edit>
    <edit name="autohint" mode="assign"><bool>false</bool></edit>
  </match>
  <match target="font">
    <test name="weight" compare="less_eq"><const>medium</const></test>
    <test target="pattern" name="weight" compare="more"><const>medium</const></test>
    <edit name="embolden" mode="assign"><bool>true</bool></edit>
    <edit name="weight" mode="assign"><const>bold</const></edit>
  </match>
</fontconfig>
)";

class TextEngine {
  public:
    static TextEngine& shared() {
        static TextEngine engine;
        return engine;
    }

    PangoContext* context() const { return context_; }

    PangoFontDescription* description(CGFontSpec font) const {
        PangoFontDescription* d = pango_font_description_new();
        pango_font_description_set_family_static(d, kFontFamily);
        pango_font_description_set_absolute_size(d, font.size * PANGO_SCALE);
        pango_font_description_set_weight(d, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        return d;
    }

  private:
    TextEngine() {
        FcConfig* config = FcConfigCreate();
        if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kFontConfig),
                                            FcTrue) ||
            !FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(kFontFile))) {
            std::fprintf(stderr, "text: cannot load the pinned font %s\n", kFontFile);
        }
        fontMap_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap_), config);
        FcConfigDestroy(config);
        context_ = pango_font_map_create_context(fontMap_);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context_, 72);
        pango_context_set_round_glyph_positions(context_, FALSE);
    }
    ~TextEngine() {
        for (auto& [spec, face] : ideographFaces_) g_object_unref(face.fontset);
        g_object_unref(context_);
        g_object_unref(fontMap_);
    }

  public:
    // What drawing one ideograph of a font needs besides its glyph: the font set that picks
    // its face, and the baseline and height every single line of that font has.
    struct IdeographFace {
        PangoFontset* fontset = nullptr;
        double baseline = 0;
        double height = 0;
    };
    // Null when the font cannot be loaded. The caller holds the text lock.
    const IdeographFace* ideographFace(CGFontSpec font);

  private:
    std::map<std::pair<CGFloat, bool>, IdeographFace> ideographFaces_;

    PangoFontMap* fontMap_ = nullptr;
    PangoContext* context_ = nullptr;
};

// Pango's contexts and fonts are not safe to share between threads, and labels are drawn on
// the main thread while map glyphs are drawn on engine workers: one lock serialises all text.
std::mutex& textLock() {
    static std::mutex lock;
    return lock;
}

struct GObjectDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;

std::string validUtf8(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(fixed);
    g_free(fixed);
    return out;
}

// Builds the layout both measuring and drawing use.
LayoutPtr makeLayout(const std::string& text, const CGTextStyle& style, CGFloat maxWidth,
                     std::span<const CGTextBoldRange> bold = {}) {
    TextEngine& engine = TextEngine::shared();
    LayoutPtr layout(pango_layout_new(engine.context()));
    const std::string valid = validUtf8(text);
    pango_layout_set_text(layout.get(), valid.data(), static_cast<int>(valid.size()));
    if (!bold.empty()) {
        PangoAttrList* attributes = pango_attr_list_new();
        for (const CGTextBoldRange& range : bold) {
            const std::size_t end = std::min(range.end, valid.size());
            if (range.start >= end) continue;
            PangoAttribute* weight = pango_attr_weight_new(PANGO_WEIGHT_BOLD);
            weight->start_index = static_cast<guint>(range.start);
            weight->end_index = static_cast<guint>(end);
            pango_attr_list_insert(attributes, weight);
        }
        pango_layout_set_attributes(layout.get(), attributes);
        pango_attr_list_unref(attributes);
    }
    PangoFontDescription* d = engine.description(style.font);
    pango_layout_set_font_description(layout.get(), d);
    pango_font_description_free(d);

    if (maxWidth > 0) {
        pango_layout_set_width(layout.get(), static_cast<int>(maxWidth * PANGO_SCALE));
        pango_layout_set_wrap(layout.get(), style.lineBreakMode == NSLineBreakByCharWrapping
                                                ? PANGO_WRAP_CHAR
                                                : PANGO_WRAP_WORD_CHAR);
    }
    PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
    switch (style.lineBreakMode) {
        case NSLineBreakByTruncatingHead:
            ellipsize = PANGO_ELLIPSIZE_START;
            break;
        case NSLineBreakByTruncatingTail:
            ellipsize = PANGO_ELLIPSIZE_END;
            break;
        case NSLineBreakByTruncatingMiddle:
            ellipsize = PANGO_ELLIPSIZE_MIDDLE;
            break;
        default:
            break;
    }
    // Truncation applies to the last allowed line; with no line limit text just wraps.
    if (maxWidth > 0 && ellipsize != PANGO_ELLIPSIZE_NONE && style.numberOfLines > 0) {
        pango_layout_set_ellipsize(layout.get(), ellipsize);
        pango_layout_set_height(layout.get(), -style.numberOfLines);
    }
    switch (style.alignment) {
        case NSTextAlignmentCenter:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
            break;
        case NSTextAlignmentRight:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
            break;
        case NSTextAlignmentJustified:
            pango_layout_set_justify(layout.get(), TRUE);
            break;
        default:
            pango_layout_set_alignment(layout.get(), PANGO_ALIGN_LEFT);
            break;
    }
    return layout;
}

// Height of the first n lines (all when n <= 0), in points.
CGFloat linesHeight(PangoLayout* layout, int n) {
    const int count = pango_layout_get_line_count(layout);
    if (n <= 0 || n >= count) {
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        return logical.height / double(PANGO_SCALE);
    }
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    int bottom = 0;
    for (int i = 0; i < n; ++i) {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(it, nullptr, &line);
        bottom = line.y + line.height;
        if (!pango_layout_iter_next_line(it)) break;
    }
    pango_layout_iter_free(it);
    return bottom / double(PANGO_SCALE);
}

const TextEngine::IdeographFace* TextEngine::ideographFace(CGFontSpec font) {
    const auto key = std::make_pair(font.size, font.bold);
    if (auto it = ideographFaces_.find(key); it != ideographFaces_.end()) return &it->second;
    // Labels come in a handful of sizes; anything past that is drawn the long way.
    if (ideographFaces_.size() >= 16) return nullptr;
    PangoFontDescription* d = description(font);
    PangoFontset* fontset =
        pango_context_load_fontset(context_, d, pango_context_get_language(context_));
    pango_font_description_free(d);
    if (!fontset) return nullptr;
    CGTextStyle style;
    style.font = font;
    LayoutPtr line = makeLayout("\u4e00", style, 0);
    const IdeographFace face{fontset, pango_layout_get_baseline(line.get()) / double(PANGO_SCALE),
                             linesHeight(line.get(), 0)};
    return &ideographFaces_.emplace(key, face).first->second;
}

// Cairo's rounding of a device position to a whole pixel: halves go up.
int roundedPixel(double v) { return static_cast<int>(std::floor(v + 0.5)); }

// A device distance in whole pixels below (floor) or above (ceil) it, after cairo's rounding of
// it to its fixed point of 1/256 pixel.
int fixedFloor(double v) { return static_cast<int>(std::floor(std::nearbyint(v * 256) / 256)); }
int fixedCeil(double v) { return static_cast<int>(std::ceil(std::nearbyint(v * 256) / 256)); }

// A pixel rectangle, right and bottom excluded.
struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
    PixelBox operator&(const PixelBox& o) const {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
};

// A clip rectangle's edges in a bitmap's pixels, cut to the bitmap; null when an edge inside it
// is not a whole pixel (it would cover pixels in part).
std::optional<PixelBox> wholePixelClip(double left, double top, double right, double bottom,
                                       int width, int height) {
    const auto edge = [](double v, int size) -> std::optional<int> {
        if (v <= 0) return 0;
        if (v >= size) return size;
        if (v != std::floor(v)) return std::nullopt;
        return static_cast<int>(v);
    };
    const auto l = edge(left, width), t = edge(top, height);
    const auto r = edge(right, width), b = edge(bottom, height);
    if (!l || !t || !r || !b) return std::nullopt;
    return PixelBox{*l, *t, *r, *b};
}

// A glyph's coverage as cairo scan-converts it: the outline as loaded with cairo's flags,
// emboldened where cairo synthesises bold, at whole pixels, with the pen at (penX, penY).
struct GlyphCoverage {
    PixelBox ink;
    int pitch = 0;
    // The emboldened outline's metrics at this size.
    FT_Glyph_Metrics metrics{};
};

std::optional<GlyphCoverage> renderGlyphCoverage(cairo_scaled_font_t* font, unsigned long glyph,
                                                 bool bold, int penX, int penY,
                                                 std::vector<unsigned char>& coverage) {
    FT_Face face = cairo_ft_scaled_font_lock_face(font);
    if (!face) return std::nullopt;
    std::optional<GlyphCoverage> out;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (bold) FT_GlyphSlot_Embolden(face->glyph);
        FT_Outline* outline = &face->glyph->outline;
        FT_BBox box;
        FT_Outline_Get_CBox(outline, &box);
        box.xMin &= -64;
        box.yMin &= -64;
        box.xMax = (box.xMax + 63) & -64;
        box.yMax = (box.yMax + 63) & -64;
        const int w = static_cast<int>((box.xMax - box.xMin) >> 6);
        const int h = static_cast<int>((box.yMax - box.yMin) >> 6);
        GlyphCoverage g;
        g.ink = {penX + static_cast<int>(box.xMin >> 6), penY - static_cast<int>(box.yMax >> 6),
                 penX + static_cast<int>(box.xMax >> 6), penY - static_cast<int>(box.yMin >> 6)};
        g.pitch = (w + 3) & -4;
        g.metrics = face->glyph->metrics;
        bool rendered = true;
        if (w > 0 && h > 0) {
            coverage.assign(static_cast<size_t>(g.pitch) * h, 0);
            FT_Bitmap bitmap{};
            bitmap.rows = static_cast<unsigned>(h);
            bitmap.width = static_cast<unsigned>(w);
            bitmap.pitch = g.pitch;
            bitmap.buffer = coverage.data();
            bitmap.num_grays = 256;
            bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
            FT_Outline_Translate(outline, -box.xMin, -box.yMin);
            rendered = FT_Outline_Get_Bitmap(face->glyph->library, outline, &bitmap) == 0;
        }
        if (rendered) out = g;
    }
    cairo_ft_scaled_font_unlock_face(font);
    return out;
}

// Where cairo's compositor lays a glyph's coverage: within the box of the glyph's metrics where
// that box reaches past the bitmap or the clip (inside both), anywhere on the bitmap otherwise.
// Cairo takes those metrics from the outline loaded and emboldened at the em size, a few
// hundredths of a pixel from the ones at this size: where that could move an edge that
// matters, they are cairo's own (its second load, seldom needed). Null when cairo has none.
std::optional<PixelBox> compositedArea(cairo_scaled_font_t* font, unsigned long glyph,
                                       const GlyphCoverage& g, int penX, int penY,
                                       const PixelBox& clip, const PixelBox& bitmap) {
    const auto area = [&](const PixelBox& box) -> PixelBox {
        const PixelBox bounded = box & clip;
        if (box.empty() || bounded.empty()) return {};
        const bool cut = box.right - box.left > bounded.right - bounded.left ||
                         box.bottom - box.top > bounded.bottom - bounded.top;
        return g.ink & (cut ? bounded : bitmap);
    };
    const auto boxOf = [&](double left, double top, double right, double bottom, double slack) {
        return PixelBox{penX + fixedFloor(left + slack), penY + fixedFloor(top + slack),
                        penX + fixedCeil(right + slack), penY + fixedCeil(bottom + slack)};
    };
    constexpr double kSlack = 1.0 / 16;
    const double left = g.metrics.horiBearingX / 64.0, top = -g.metrics.horiBearingY / 64.0;
    const double right = left + g.metrics.width / 64.0, bottom = top + g.metrics.height / 64.0;
    const PixelBox low = boxOf(left, top, right, bottom, -kSlack);
    const PixelBox high = boxOf(left, top, right, bottom, kSlack);
    const PixelBox first = area(low);
    bool certain = true;
    for (int corner = 1; corner < 16 && certain; ++corner) {
        const PixelBox a =
            area({(corner & 1 ? high : low).left, (corner & 2 ? high : low).top,
                  (corner & 4 ? high : low).right, (corner & 8 ? high : low).bottom});
        certain = a.left == first.left && a.top == first.top && a.right == first.right &&
                  a.bottom == first.bottom;
    }
    if (certain) return first;
    const cairo_glyph_t one{glyph, 0, 0};
    cairo_text_extents_t e;
    cairo_scaled_font_glyph_extents(font, &one, 1, &e);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    const PixelBox exact =
        boxOf(e.x_bearing, e.y_bearing, e.x_bearing + e.width, e.y_bearing + e.height, 0);
    if (exact.empty()) return std::nullopt;
    return area(exact);
}

// Opaque ink over an alpha bitmap's pixels: m + d (255 - m) / 255, rounded as pixman does.
void layCoverage(cairo_surface_t* target, const std::vector<unsigned char>& coverage,
                 const GlyphCoverage& g, const PixelBox& area) {
    if (area.empty()) return;
    cairo_surface_flush(target);
    unsigned char* pixels = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    for (int row = area.top; row < area.bottom; ++row) {
        unsigned char* out = pixels + static_cast<ptrdiff_t>(row) * stride;
        const unsigned char* in =
            coverage.data() + static_cast<ptrdiff_t>(row - g.ink.top) * g.pitch - g.ink.left;
        for (int col = area.left; col < area.right; ++col) {
            const unsigned m = in[col];
            if (m == 0) continue;
            const unsigned t = out[col] * (255 - m) + 0x80;
            out[col] = static_cast<unsigned char>(m + (((t >> 8) + t) >> 8));
        }
    }
    cairo_surface_mark_dirty_rectangle(target, area.left, area.top, area.right - area.left,
                                       area.bottom - area.top);
}

// The scaled font cairo would draw the label font with in this context, where it is one whose
// glyphs come unhinted, grey and upright from FreeType; null elsewhere.
cairo_scaled_font_t* unhintedGreyFont(cairo_t* cr, cairo_scaled_font_t* pangoFont) {
    cairo_set_scaled_font(cr, pangoFont);
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS ||
        cairo_scaled_font_get_type(font) != CAIRO_FONT_TYPE_FT)
        return nullptr;
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_scaled_font_get_font_options(font, options);
    const cairo_antialias_t antialias = cairo_font_options_get_antialias(options);
    const bool unhintedGrey =
        (antialias == CAIRO_ANTIALIAS_GRAY || antialias == CAIRO_ANTIALIAS_DEFAULT) &&
        cairo_font_options_get_hint_style(options) == CAIRO_HINT_STYLE_NONE &&
        cairo_font_options_get_hint_metrics(options) == CAIRO_HINT_METRICS_OFF;
    cairo_font_options_destroy(options);
    const unsigned synthesized =
        cairo_ft_font_face_get_synthesize(cairo_scaled_font_get_font_face(font));
    return unhintedGrey && !(synthesized & CAIRO_FT_SYNTHESIZE_OBLIQUE) ? font : nullptr;
}

// An opaque ideograph drawn into an alpha-only bitmap, as the map's glyph pictures are, is
// scan-converted straight from the face into the bitmap: what cairo does with a glyph it has
// not drawn before, without the per-glyph cache surface and the composite around it. False,
// with nothing drawn, wherever that would not give cairo's pixels (another target, a scaled or
// turned transform, another operator or font options, a clip that is not whole pixels): the
// caller then draws through cairo. `clip` is the only clip, in user space.
bool drawIdeographIntoAlphaBitmap(cairo_t* cr, cairo_scaled_font_t* pangoFont, unsigned long glyph,
                                  double x, double y, CGRect clip, CGColor color) {
    if (color.a < 1 || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER) return false;
    cairo_surface_t* target = cairo_get_target(cr);
    if (cairo_get_group_target(cr) != target ||
        cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_A8)
        return false;
    double offsetX = 0, offsetY = 0;
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    // Unscaled, so that the glyph's extents in user space are its extents in pixels.
    if (offsetX != 0 || offsetY != 0 || ctm.xx != 1 || ctm.yy != 1 || ctm.xy != 0 || ctm.yx != 0)
        return false;
    const PixelBox bitmap{0, 0, cairo_image_surface_get_width(target),
                          cairo_image_surface_get_height(target)};
    const double clipX = clip.origin.x + ctm.x0, clipY = clip.origin.y + ctm.y0;
    const auto clipBox = wholePixelClip(clipX, clipY, clipX + clip.size.width,
                                        clipY + clip.size.height, bitmap.right, bitmap.bottom);
    if (!clipBox) return false;
    cairo_scaled_font_t* font = unhintedGreyFont(cr, pangoFont);
    if (!font) return false;
    const bool bold = cairo_ft_font_face_get_synthesize(cairo_scaled_font_get_font_face(font)) &
                      CAIRO_FT_SYNTHESIZE_BOLD;
    const int penX = roundedPixel(x + ctm.x0), penY = roundedPixel(y + ctm.y0);
    thread_local std::vector<unsigned char> coverage;
    const auto g = renderGlyphCoverage(font, glyph, bold, penX, penY, coverage);
    if (!g) return false;
    const auto area = compositedArea(font, glyph, *g, penX, penY, *clipBox, bitmap);
    if (!area) return false;
    layCoverage(target, coverage, *g, *area);
    return true;
}

// Map labels draw their glyphs one ideograph at a time, hundreds per screen, and laying one
// out costs more than drawing it. An ideograph needs no shaping, breaking or fallback from the
// one pinned face, so it is drawn straight from that face's glyph at the baseline every line of
// its font has, as the layout would place it. False when the text is anything else.
// `unclipped`: the context has no clip of its own.
bool drawIdeograph(cairo_t* cr, const std::string& text, CGRect rect, const CGTextStyle& style,
                   CGColor color, bool unclipped) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return false;
    const gunichar c = g_utf8_get_char(text.data());
    if (g_utf8_next_char(text.data()) != text.data() + text.size()) return false;
    if (!((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF))) return false;
    if (style.alignment != NSTextAlignmentLeft && style.alignment != NSTextAlignmentNatural)
        return false;
    // A truncated line could turn the one character into an ellipsis.
    if (style.numberOfLines > 0 && style.lineBreakMode >= NSLineBreakByTruncatingHead) return false;
    const TextEngine::IdeographFace* face = TextEngine::shared().ideographFace(style.font);
    if (!face) return false;
    PangoFont* font = pango_fontset_get_font(face->fontset, c);
    if (!font) return false;
    hb_codepoint_t glyph = 0;
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    const bool found = scaled && hb_font_get_nominal_glyph(pango_font_get_hb_font(font), c, &glyph);
    if (found) {
        cairo_save(cr);
        const CGRect clip =
            CGRectMake(rect.origin.x - 2, rect.origin.y - 2, rect.size.width + 4, face->height + 4);
        const cairo_glyph_t one{glyph, rect.origin.x, rect.origin.y + face->baseline};
        if (!unclipped ||
            !drawIdeographIntoAlphaBitmap(cr, scaled, glyph, one.x, one.y, clip, color)) {
            cairo_rectangle(cr, clip.origin.x, clip.origin.y, clip.size.width, clip.size.height);
            cairo_clip(cr);
            cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
            cairo_set_scaled_font(cr, scaled);
            cairo_show_glyphs(cr, &one, 1);
        }
        cairo_restore(cr);
    }
    g_object_unref(font);
    return found;
}

CGFloat linesWidth(PangoLayout* layout, int n) {
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    int widest = 0;
    int i = 0;
    do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(it, nullptr, &line);
        widest = std::max(widest, line.width);
    } while (++i != n && pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    return widest / double(PANGO_SCALE);
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig links the parts of its character sets by self-relative offsets, which the leak
// checker cannot follow, so it reports them as lost; every program that draws text gets this.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
#if defined(__SANITIZE_THREAD__)
// Pango hands fontconfig's results over from its loader thread under glib's futex-based locks,
// which the race detector cannot see; the reports name those libraries' own memory.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libpangoft2-1.0.so\nrace:libglib-2.0.so\n";
}
#endif

const std::string& CGTextFontFamily() {
    static const std::string family = kFontFamily;
    return family;
}

CGFontMetrics CGFontGetMetrics(CGFontSpec font) {
    const std::lock_guard<std::mutex> hold(textLock());
    TextEngine& engine = TextEngine::shared();
    PangoFontDescription* d = engine.description(font);
    PangoFontMetrics* m = pango_context_get_metrics(engine.context(), d, nullptr);
    pango_font_description_free(d);
    CGFontMetrics out;
    out.ascender = pango_font_metrics_get_ascent(m) / double(PANGO_SCALE);
    out.descender = -pango_font_metrics_get_descent(m) / double(PANGO_SCALE);
    int h = pango_font_metrics_get_height(m);
    if (h == 0) h = pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m);
    out.lineHeight = h / double(PANGO_SCALE);
    pango_font_metrics_unref(m);
    return out;
}

CGSize CGTextBoundingSize(const std::string& text, const CGTextStyle& style, CGFloat maxWidth) {
    return CGTextBoundingSizeWithBold(text, {}, style, maxWidth);
}

CGSize CGTextBoundingSizeWithBold(const std::string& text, std::span<const CGTextBoldRange> bold,
                                  const CGTextStyle& style, CGFloat maxWidth) {
    const std::lock_guard<std::mutex> hold(textLock());
    if (text.empty()) return CGSizeZero;
    LayoutPtr layout = makeLayout(text, style, maxWidth, bold);
    const CGFloat w = linesWidth(layout.get(), style.numberOfLines);
    const CGFloat h = linesHeight(layout.get(), style.numberOfLines);
    CGFloat width = std::ceil(w - 1e-9);
    if (maxWidth > 0) width = std::min(width, std::ceil(maxWidth));
    return {width, std::ceil(h - 1e-9)};
}

int CGTextLineCount(const std::string& text, const CGTextStyle& style, CGFloat maxWidth) {
    const std::lock_guard<std::mutex> hold(textLock());
    if (text.empty()) return 0;
    LayoutPtr layout = makeLayout(text, style, maxWidth);
    const int n = pango_layout_get_line_count(layout.get());
    return style.numberOfLines > 0 ? std::min(n, style.numberOfLines) : n;
}

void CGTextDrawInRect(CGContextRef c, const std::string& text, CGRect rect,
                      const CGTextStyle& style, CGColor color) {
    CGTextDrawInRectWithBold(c, text, {}, rect, style, color);
}

void CGTextDrawInRectWithBold(CGContextRef c, const std::string& text,
                              std::span<const CGTextBoldRange> bold, CGRect rect,
                              const CGTextStyle& style, CGColor color) {
    if (!c || text.empty()) return;
    cairo_t* cr = CGContextGetCairo(c);
    const CGContext::State& state = c->state();
    color.a *= state.alpha;
    CGColor outline = state.stroke;
    outline.a *= state.alpha;
    const CGFloat outlineWidth = state.textMode == kCGTextFill ? 0 : cairo_get_line_width(cr);
    if (state.textMode == kCGTextStroke) color = CGColor{};
    {
        const std::lock_guard<std::mutex> hold(textLock());
        if (bold.empty() && outlineWidth == 0 && !color.isClear() &&
            drawIdeograph(cr, text, rect, style, color, !state.clipped)) {
            c->didDraw();
            return;
        }
        LayoutPtr layout = makeLayout(text, style, rect.size.width, bold);
        cairo_save(cr);
        // Lines past numberOfLines are not drawn; the rect does not clip a line in half.
        const CGFloat h = linesHeight(layout.get(), style.numberOfLines);
        const CGFloat pad = 2 + outlineWidth;
        cairo_rectangle(cr, rect.origin.x - pad, rect.origin.y - pad, rect.size.width + 2 * pad,
                        h + 2 * pad);
        cairo_clip(cr);
        if (outlineWidth > 0 && !outline.isClear()) {
            cairo_new_path(cr);
            cairo_move_to(cr, rect.origin.x, rect.origin.y);
            pango_cairo_layout_path(cr, layout.get());
            cairo_set_line_width(cr, outlineWidth);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_source_rgba(cr, outline.r, outline.g, outline.b, outline.a);
            cairo_stroke(cr);
        }
        if (!color.isClear()) {
            cairo_move_to(cr, rect.origin.x, rect.origin.y);
            cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
            pango_cairo_show_layout(cr, layout.get());
        }
        cairo_restore(cr);
    }
    c->didDraw();
}
