// Label glyph bitmaps, cold: one first pass in a fresh process over the 3,000 most common Chinese
// characters at screen scale 2 (48-pixel squares, 44-pixel bold), beside FreeType rendering the
// same characters from the same face at the same pixel size, emboldened, into a buffer of the
// same shape. Our bitmaps are checked against FreeType's ink. Target: 6,000 per second, so that a
// screen's 300 new characters take under 50 ms.

#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "VAFontModelCreator.h"

namespace {

constexpr int kCharacters = 3000;
constexpr double kScale = 2;
constexpr unsigned kSide = 48;
constexpr unsigned kPixelSize = 44;  // the side less our 4-pixel inset
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

// FreeType's side: renders into a zeroed kSide square, row 0 at the top.
class FreeTypeGlyphs {
  public:
    FreeTypeGlyphs() {
        if (FT_Init_FreeType(&library_) != 0 || FT_New_Face(library_, kFontFile, 0, &face_) != 0)
            return;
        FT_Set_Pixel_Sizes(face_, 0, kPixelSize);
        buffer_.resize(kSide * kSide);
    }
    ~FreeTypeGlyphs() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }
    bool ready() const { return face_ != nullptr; }
    const uint8_t* render(uint16_t code) {
        std::fill(buffer_.begin(), buffer_.end(), 0);
        if (FT_Load_Char(face_, code, FT_LOAD_DEFAULT) != 0) return buffer_.data();
        FT_GlyphSlot_Embolden(face_->glyph);
        if (FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL) != 0) return buffer_.data();
        const FT_Bitmap& bitmap = face_->glyph->bitmap;
        const unsigned rows = std::min(bitmap.rows, kSide);
        const unsigned width = std::min(bitmap.width, kSide);
        for (unsigned r = 0; r < rows; ++r)
            std::memcpy(&buffer_[r * kSide], bitmap.buffer + r * bitmap.pitch, width);
        return buffer_.data();
    }

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::vector<uint8_t> buffer_;
};

double ink(const uint8_t* bitmap) {
    double sum = 0;
    for (unsigned i = 0; i < kSide * kSide; ++i) sum += bitmap[i];
    return sum;
}

// Empty when every glyph of ours has ink within a fifth of FreeType's: the same face, size and
// weight, placed differently (layout against the bare bitmap) but drawn alike.
std::string inkFault(VAFontModelCreator& creator) {
    FreeTypeGlyphs reference;
    if (!reference.ready()) return "FreeType cannot open the face";
    for (const uint16_t code : characters()) {
        const uint8_t* ours = creator.fontModelForChar(code);
        if (!ours) return "no drawing context";
        const double a = ink(ours), b = ink(reference.render(code));
        if (b > 0 && (a < 0.8 * b || a > 1.25 * b))
            return "glyph " + std::to_string(code) + " differs in ink from FreeType's";
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
    const auto fault = inkFault(*creator);
    if (!fault.empty()) state.SkipWithError(fault.c_str());
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
