#include "VAFontModelCreator.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "CoreGraphics/CGContext.h"
#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIScreen.h"

namespace {

constexpr double kGlyphPoints = 24.0;
constexpr double kFontInset = 4.0;
constexpr size_t kFontNameField = 64;

std::atomic<uint64_t> gNextId{1};

// One thread's bitmap and the context drawing into it, per creator.
struct ThreadGlyphContext {
    std::vector<uint8_t> data;
    std::unique_ptr<CGContext> context;
};

std::map<uint64_t, ThreadGlyphContext>& threadContexts() {
    thread_local std::map<uint64_t, ThreadGlyphContext> contexts;
    return contexts;
}

}  // namespace

std::string VAUTF8ForCodeUnit(uint16_t unit) {
    // A lone surrogate has no character of its own.
    const uint32_t c = unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit;
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::shared_ptr<VAFontModelCreator> VAFontModelCreator::instance() {
    static const std::shared_ptr<VAFontModelCreator> shared =
        create(UIScreen::mainScreen()->scale());
    return shared;
}

std::shared_ptr<VAFontModelCreator> VAFontModelCreator::create(CGFloat screenScale) {
    return std::shared_ptr<VAFontModelCreator>(new VAFontModelCreator(screenScale));
}

VAFontModelCreator::VAFontModelCreator(CGFloat screenScale)
    : id_(gNextId++),
      fontSize_(kGlyphPoints * screenScale),
      dataSize_(static_cast<int64_t>(fontSize_ * fontSize_)),
      font_(UIFont::boldSystemFontOfSize(fontSize_ - kFontInset)) {}

void VAFontModelCreator::setFont(UIFontRef font) { font_ = std::move(font); }

const uint8_t* VAFontModelCreator::fontModelForChar(uint16_t code) {
    const size_t s = side();
    if (s == 0) return nullptr;
    ThreadGlyphContext& glyph = threadContexts()[id_];
    if (!glyph.context) {
        glyph.data.assign(static_cast<size_t>(dataSize_), 0);
        glyph.context = CGBitmapContextCreate(glyph.data.data(), s, s, 8, s,
                                              CGColorSpaceCreateDeviceGray(), kCGImageAlphaOnly);
        if (!glyph.context) {
            std::fprintf(stderr, "Failed creating CGBitmapContext when Gen char texture!\n");
            threadContexts().erase(id_);
            return nullptr;
        }
        // Row 0 at the top.
        CGContextTranslateCTM(glyph.context.get(), 0, fontSize_);
        CGContextScaleCTM(glyph.context.get(), 1, -1);
        CGContextSetLineWidth(glyph.context.get(), 1.0);
        CGContextSetTextDrawingMode(glyph.context.get(), kCGTextFill);
    }
    std::memset(glyph.data.data(), 0, glyph.data.size());
    const NSTextStyle style{font_, NSTextAlignmentLeft, NSLineBreakByWordWrapping, 0};
    NSStringDrawInRect(glyph.context.get(), VAUTF8ForCodeUnit(code),
                       CGRectMake(0, -kFontInset, fontSize_, fontSize_), style,
                       CGColor{0, 0, 0, 1});
    return glyph.data.data();
}

void VAFontModelCreator::getCurrentFontName(char* buffer) const {
    if (buffer == nullptr || !font_ || font_->fontName().empty()) return;
    const std::string& name = font_->fontName();
    const size_t n = std::min(name.size(), kFontNameField - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
}
