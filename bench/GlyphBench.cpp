// Label glyph bitmaps, cold: one first pass in a fresh process over the 3,000 most common Chinese
// characters at screen scale 2 (48-pixel squares, 44-pixel bold), beside FreeType rendering the
// same characters from the same face at the same pixel size, unhinted and emboldened as our text
// stack draws them, into a square of the same shape at the same pen position. The bitmaps are
// compared pixel by pixel. Target: 6,000 per second, so that a screen's 300 new characters take
// under 50 ms.

#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VAFontModelCreator.h"

namespace {

constexpr int kCharacters = 3000;
constexpr double kScale = 2;
constexpr unsigned kSide = 48;
constexpr unsigned kPixelSize = 44;  // the side less our 4-pixel inset
constexpr int kInset = 4;            // the line box starts this far above the square
constexpr const char* kFontFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// The first 3,000 characters of GB2312's first level, the set of the most common ones.
std::vector<uint16_t> commonCharacters() {
    std::vector<uint16_t> codes;
    iconv_t convert = iconv_open("UTF-16LE", "GB2312");
    if (convert == reinterpret_cast<iconv_t>(-1)) return codes;
    for (int row = 0xB0; row <= 0xD7 && codes.size() < kCharacters; ++row) {
        for (int cell = 0xA1; cell <= 0xFE && codes.size() < kCharacters; ++cell) {
            char in[2] = {static_cast<char>(row), static_cast<char>(cell)};
            char out[4] = {};
            char* inp = in;
            char* outp = out;
            size_t inLeft = 2, outLeft = 4;
            if (iconv(convert, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) continue;
            if (outLeft != 2) continue;
            codes.push_back(static_cast<uint16_t>(static_cast<unsigned char>(out[0]) |
                                                  static_cast<unsigned char>(out[1]) << 8));
        }
    }
    iconv_close(convert);
    return codes;
}

const std::vector<uint16_t>& characters() {
    static const std::vector<uint16_t> codes = commonCharacters();
    return codes;
}

// FreeType's side: renders into a zeroed kSide square, row 0 at the top, the glyph at the pen of
// a line laid out as ours is: the left edge, and the baseline the face's ascent below the line
// box's top, whole pixels as cairo places glyphs.
class FreeTypeGlyphs {
  public:
    FreeTypeGlyphs() {
        if (FT_Init_FreeType(&library_) != 0 || FT_New_Face(library_, kFontFile, 0, &face_) != 0)
            return;
        FT_Set_Pixel_Sizes(face_, 0, kPixelSize);
        const double ascent = FT_MulFix(face_->ascender, face_->size->metrics.y_scale) / 64.0;
        baseline_ = static_cast<int>(std::lround(ascent - kInset));
        buffer_.resize(kSide * kSide);
    }
    ~FreeTypeGlyphs() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    bool ready() const { return face_ != nullptr; }
    const uint8_t* render(uint16_t code) {
        std::fill(buffer_.begin(), buffer_.end(), 0);
        if (FT_Load_Char(face_, code, FT_LOAD_NO_HINTING) != 0) return buffer_.data();
        FT_GlyphSlot_Embolden(face_->glyph);
        if (FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL) != 0) return buffer_.data();
        const FT_GlyphSlot glyph = face_->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const int top = baseline_ - glyph->bitmap_top;
        const int left = std::max(glyph->bitmap_left, 0);
        const int right =
            std::min(glyph->bitmap_left + static_cast<int>(bitmap.width), static_cast<int>(kSide));
        for (int r = std::max(-top, 0); r < static_cast<int>(bitmap.rows); ++r) {
            if (top + r >= static_cast<int>(kSide) || left >= right) break;
            std::memcpy(&buffer_[(top + r) * kSide + left],
                        bitmap.buffer + r * bitmap.pitch + (left - glyph->bitmap_left),
                        right - left);
        }
        return buffer_.data();
    }

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    int baseline_ = 0;
    std::vector<uint8_t> buffer_;
};

// How far two bitmaps of one glyph are apart: pixels off by more than a sixteenth of full
// coverage, the largest difference, and all differences over the ink.
struct GlyphDifference {
    int pixelsOff = 0;
    int largest = 0;
    double ofInk = 0;
};

GlyphDifference difference(const uint8_t* ours, const uint8_t* reference) {
    GlyphDifference d;
    double sum = 0, ink = 0;
    for (unsigned i = 0; i < kSide * kSide; ++i) {
        const int off = std::abs(int(ours[i]) - int(reference[i]));
        d.pixelsOff += off > 16;
        d.largest = std::max(d.largest, off);
        sum += off;
        ink += reference[i];
    }
    d.ofInk = ink > 0 ? sum / ink : (sum > 0 ? 1 : 0);
    return d;
}

// Empty when every glyph of ours is FreeType's bitmap, pixel by pixel: the same face, size,
// weight, anti-aliasing and place. Our bitmaps lack a little faint ink that FreeType's have, most
// of it on the row under a glyph's foot (at most 4 pixels a glyph, at most 101 of 255 apart,
// 0.1 % of the ink), so a glyph may have 8 pixels off by more than a sixteenth, none by half, and
// 1 % of its ink in all; a glyph moved by one pixel, or drawn at another weight or size, has
// hundreds.
std::string bitmapFault(VAFontModelCreator& creator, int& identical) {
    FreeTypeGlyphs reference;
    if (!reference.ready()) return "FreeType cannot open the face";
    identical = 0;
    for (const uint16_t code : characters()) {
        const uint8_t* ours = creator.fontModelForChar(code);
        if (!ours) return "no drawing context";
        const GlyphDifference d = difference(ours, reference.render(code));
        identical += d.largest == 0;
        if (d.pixelsOff > 8 || d.largest >= 128 || d.ofInk > 0.01) {
            return "glyph " + std::to_string(code) +
                   " differs from FreeType's: " + std::to_string(d.pixelsOff) +
                   " pixels off, by up to " + std::to_string(d.largest);
        }
    }
    return {};
}

// Iterations(1) and a fresh process per run: the text stack's glyph cache starts empty.
void BM_PlatformGlyphs(benchmark::State& state) {
    auto creator = VAFontModelCreator::create(kScale);
    const auto& codes = characters();
    if (codes.size() != kCharacters || creator->side() != kSide) {
        state.SkipWithError("GB2312 conversion is missing or the glyph side changed");
        return;
    }
    for (auto _ : state) {
        for (const uint16_t code : codes) benchmark::DoNotOptimize(creator->fontModelForChar(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
    int identical = 0;
    const auto fault = bitmapFault(*creator, identical);
    if (!fault.empty()) state.SkipWithError(fault.c_str());
    state.counters["work_identical_bitmaps"] = identical;
}
BENCHMARK(BM_PlatformGlyphs)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FreeTypeGlyphs(benchmark::State& state) {
    FreeTypeGlyphs glyphs;
    if (!glyphs.ready()) {
        state.SkipWithError("FreeType cannot open the face");
        return;
    }
    const auto& codes = characters();
    for (auto _ : state) {
        for (const uint16_t code : codes) benchmark::DoNotOptimize(glyphs.render(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}
BENCHMARK(BM_FreeTypeGlyphs)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
