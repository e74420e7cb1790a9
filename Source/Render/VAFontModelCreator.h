#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIFont.h"

// Draws one UTF-16 character at a time into a square 8-bit alpha bitmap in the bold system font,
// for the engine's label glyphs, and names that font for the engine's creation record.
//
// Engine workers ask from their own threads, and two engines may ask at once: every thread draws
// into a buffer and context of its own, made on that thread when it first asks. A thread gets the
// same buffer back on every call, so a bitmap stays valid until that thread's next call. A
// thread's buffers go when the thread ends, so tearing a creator down never reaches into another
// thread's storage.
class VAFontModelCreator : public NSObject {
  public:
    // The shared instance, for the main screen's scale at first use.
    static std::shared_ptr<VAFontModelCreator> instance();
    // One for a screen of the given scale.
    static std::shared_ptr<VAFontModelCreator> create(CGFloat screenScale);

    // Side of the bitmap and of its drawing box in pixels: 24 points at the screen's scale.
    double fontSize() const { return fontSize_; }
    uint32_t side() const { return static_cast<uint32_t>(fontSize_); }
    int64_t dataSize() const { return dataSize_; }
    const UIFontRef& font() const { return font_; }
    void setFont(UIFontRef font);

    // side() × side() bytes of alpha, row 0 at the top, owned by the calling thread; null when
    // no drawing context can be made.
    const uint8_t* fontModelForChar(uint16_t code);
    // Copies the font's name, NUL-terminated, into the 64-byte buffer when it is not empty.
    void getCurrentFontName(char* buffer) const;

  private:
    explicit VAFontModelCreator(CGFloat screenScale);

    const uint64_t id_;
    double fontSize_;
    int64_t dataSize_;
    UIFontRef font_;
};

// One UTF-16 code unit as UTF-8; a lone surrogate becomes U+FFFD.
std::string VAUTF8ForCodeUnit(uint16_t unit);
