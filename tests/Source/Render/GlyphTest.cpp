#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "UIKit/UIFont.h"
#include "VAFontModelCreator.h"

namespace {

std::vector<uint8_t> copyOf(const uint8_t* bitmap, const VAFontModelCreator& creator) {
    return {bitmap, bitmap + creator.dataSize()};
}

bool hasInk(const std::vector<uint8_t>& bitmap, size_t side, size_t fromRow, size_t toRow) {
    for (size_t row = fromRow; row < toRow; ++row) {
        for (size_t col = 0; col < side; ++col) {
            if (bitmap[row * side + col] != 0) return true;
        }
    }
    return false;
}

TEST(GlyphTest, GlyphsAreDrawnTopDownIntoOneBufferPerThread) {
    auto creator = VAFontModelCreator::create(2);
    const size_t side = creator->side();

    const auto space = copyOf(creator->fontModelForChar(u' '), *creator);
    EXPECT_FALSE(hasInk(space, side, 0, side));

    const auto underscore = copyOf(creator->fontModelForChar(u'_'), *creator);
    EXPECT_FALSE(hasInk(underscore, side, 0, side / 2)) << "row 0 is the top";
    EXPECT_TRUE(hasInk(underscore, side, side / 2, side));

    const uint8_t* first = creator->fontModelForChar(u'W');
    const auto w = copyOf(first, *creator);
    const uint8_t* second = creator->fontModelForChar(u'.');
    EXPECT_EQ(first, second);
    EXPECT_NE(copyOf(second, *creator), w) << "the second glyph replaces the first";
    EXPECT_EQ(copyOf(creator->fontModelForChar(u'W'), *creator), w);
}

// Engines ask from their own workers; each thread draws into its own buffer, so what one thread
// reads is never overwritten by another's drawing.
TEST(GlyphTest, ThreadsAskingAtOnceGetTheirOwnBuffers) {
    auto creator = VAFontModelCreator::create(2);
    const std::array<uint16_t, 2> codes{u'天', u'门'};
    std::array<std::vector<uint8_t>, 2> expected;
    for (size_t i = 0; i < 2; ++i)
        expected[i] = copyOf(creator->fontModelForChar(codes[i]), *creator);

    std::array<const uint8_t*, 2> buffers{};
    std::array<int, 2> mismatches{};
    // Both threads hold their buffers at once, so their addresses cannot be reused.
    std::latch bothDrew(2);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                if (round == 1) bothDrew.arrive_and_wait();
                const uint8_t* glyph = creator->fontModelForChar(codes[t]);
                if (buffers[t] == nullptr) buffers[t] = glyph;
                if (glyph != buffers[t] || copyOf(glyph, *creator) != expected[t]) ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_NE(buffers[0], buffers[1]);
    EXPECT_EQ(mismatches[0], 0);
    EXPECT_EQ(mismatches[1], 0);
}

TEST(GlyphTest, FontNameFitsItsField) {
    auto creator = VAFontModelCreator::create(2);
    std::array<char, 64> name;
    creator->setFont(UIFont::fontWithName(std::string(100, 'B') + "Bold", 20));
    name.fill('x');
    creator->getCurrentFontName(name.data());
    EXPECT_EQ(name[63], '\0');
    EXPECT_EQ(std::string(name.data()), std::string(63, 'B'));
}

}  // namespace
