// Label glyph bitmaps per second at screen scale 2 (48-pixel squares, 44-pixel font), for the
// 3,000 most common Chinese characters, beside FreeType rendering the same characters from the
// same face at the same pixel size into a buffer of the same shape. Target: 6,000 per second,
// so that a screen's 300 new characters take under 50 ms.

#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "VAFontModelCreator.h"

namespace {

constexpr int kCharacters = 3000;
constexpr double kScale = 2;
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

void BM_PlatformGlyphs(benchmark::State& state) {
    auto creator = VAFontModelCreator::create(kScale);
    const auto& codes = characters();
    if (codes.size() != kCharacters) state.SkipWithError("GB2312 conversion is missing");
    for (auto _ : state) {
        for (const uint16_t code : codes) benchmark::DoNotOptimize(creator->fontModelForChar(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}
BENCHMARK(BM_PlatformGlyphs)->Unit(benchmark::kMillisecond);

void BM_FreeTypeGlyphs(benchmark::State& state) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, kFontFile, 0, &face) != 0) {
        state.SkipWithError("FreeType cannot open the face");
        return;
    }
    const unsigned side = static_cast<unsigned>(24 * kScale);
    FT_Set_Pixel_Sizes(face, 0, side - static_cast<unsigned>(4 * kScale));
    std::vector<uint8_t> buffer(side * side);
    const auto& codes = characters();
    for (auto _ : state) {
        for (const uint16_t code : codes) {
            std::fill(buffer.begin(), buffer.end(), 0);
            if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
            const FT_Bitmap& bitmap = face->glyph->bitmap;
            const unsigned rows = std::min(bitmap.rows, side);
            const unsigned width = std::min(bitmap.width, side);
            for (unsigned r = 0; r < rows; ++r) {
                std::memcpy(&buffer[r * side], bitmap.buffer + r * bitmap.pitch, width);
            }
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeGlyphs)->Unit(benchmark::kMillisecond);

// Prints the two rates side by side once both have run.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto found = run.counters.find("items_per_second");
            if (found != run.counters.end()) rates_[run.benchmark_name()] = found->second;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double ours = rates_["BM_PlatformGlyphs"];
        const double reference = rates_["BM_FreeTypeGlyphs"];
        std::printf(
            "glyphs per second: platform text %.0f, FreeType %.0f, ratio %.2f (target %d)\n", ours,
            reference, reference > 0 ? ours / reference : 0.0, 6000);
    }

  private:
    std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
