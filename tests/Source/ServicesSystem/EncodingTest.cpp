#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "Hex.h"
#include "VMBase64.h"
#include "VMCompression.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

using testsupport::toHex;

TEST(Compression, KnownStreams) {
    EXPECT_EQ(toHex(*vmZlibDeflate(bytesOf("hello"))), "789ccb48cdc9c90700062c0215");
    EXPECT_EQ(toHex(*vmGZipDeflate(bytesOf("hello"))),
              "1f8b0800000000000003cb48cdc9c9070086a6103605000000");
    // A stream written by another producer (the zlib reference "hello" at level 9).
    const Bytes foreign = {0x78, 0xda, 0xcb, 0x48, 0xcd, 0xc9, 0xc9,
                           0x07, 0x00, 0x06, 0x2c, 0x02, 0x15};
    EXPECT_EQ(vmZlibInflate(foreign, 5), bytesOf("hello"));
    EXPECT_EQ(vmGZipInflate(foreign, 5), bytesOf("hello"));
}

TEST(Compression, RoundTripsLargeAndIncompressibleData) {
    Bytes random(300000);
    std::mt19937 rng(42);
    for (auto& b : random) b = static_cast<std::uint8_t>(rng());
    // Highly compressible input makes the inflater grow its buffer many times.
    const Bytes zeros(5 * 1024 * 1024, 0);
    for (const Bytes* input : std::vector<const Bytes*>{&random, &zeros}) {
        const auto zlib = vmZlibDeflate(*input);
        const auto gzip = vmGZipDeflate(*input);
        ASSERT_TRUE(zlib && gzip);
        EXPECT_EQ(vmZlibInflate(*zlib, input->size()), *input);
        EXPECT_EQ(vmGZipInflate(*gzip, input->size()), *input);
        EXPECT_EQ(vmGZipInflate(*zlib, input->size()), *input);
        // The gzip trailer carries the CRC-32 of the input, little-endian.
        const uLong crc = crc32(0L, input->data(), static_cast<uInt>(input->size()));
        const std::size_t t = gzip->size() - 8;
        const uLong trailer = (*gzip)[t] | ((*gzip)[t + 1] << 8) | ((*gzip)[t + 2] << 16) |
                              (static_cast<uLong>((*gzip)[t + 3]) << 24);
        EXPECT_EQ(trailer, crc);
    }
}

TEST(Compression, BrokenStreamsGiveNothingAndEmptyStaysEmpty) {
    const Bytes zlib = *vmZlibDeflate(bytesOf("hello hello hello hello"));
    EXPECT_EQ(vmZlibInflate(Bytes(zlib.begin(), zlib.end() - 3), 1024), std::nullopt);
    // A zlib inflater does not take gzip.
    EXPECT_EQ(vmZlibInflate(*vmGZipDeflate(bytesOf("hello")), 1024), std::nullopt);
    EXPECT_EQ(vmGZipInflate(bytesOf("plain text, not a stream"), 1024), std::nullopt);
    EXPECT_EQ(vmZlibInflate(Bytes{0x78}, 1024), std::nullopt);
    EXPECT_EQ(vmZlibInflate(Bytes(), 0), Bytes());
    EXPECT_EQ(vmGZipDeflate(Bytes()), Bytes());
}

TEST(Compression, AnswersPastTheCallersLimitGiveNothing) {
    // 16 MiB of zeros deflate to about 16 KiB: a small body that asks for far more than it is.
    const Bytes zeros(16 * 1024 * 1024, 0);
    const Bytes gzip = *vmGZipDeflate(zeros);
    const Bytes zlib = *vmZlibDeflate(zeros);
    ASSERT_LT(gzip.size(), 32u * 1024);
    struct Case {
        const Bytes* stream;
        bool gzip;
        std::size_t limit;
        bool inflates;
    };
    const Case cases[] = {
        {&gzip, true, 1024 * 1024, false},
        {&zlib, false, 1024 * 1024, false},
        {&gzip, true, 0, false},
        {&zlib, false, zeros.size() - 1, false},
        {&gzip, true, zeros.size() - 1, false},
        {&gzip, true, zeros.size(), true},
        {&zlib, false, zeros.size(), true},
        {&zlib, false, SIZE_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.gzip ? "gzip" : "zlib") << " limit " << c.limit);
        const auto out =
            c.gzip ? vmGZipInflate(*c.stream, c.limit) : vmZlibInflate(*c.stream, c.limit);
        ASSERT_EQ(out.has_value(), c.inflates);
        if (out) {
            EXPECT_EQ(*out, zeros);
        }
    }
}

TEST(Base64, EncodesWithAndWithoutLineBreaks) {
    EXPECT_EQ(mabase64EncodedString(std::string_view("Ma")), "TWE=");
    EXPECT_EQ(mabase64EncodedString(std::string_view("M")), "TQ==");
    EXPECT_EQ(mabase64EncodedString(std::span<const std::uint8_t>()), std::nullopt);
    EXPECT_EQ(mabase64EncodedString(Bytes{0xfb, 0xff, 0xfe}), "+//+");

    // A line filled by whole groups is followed by a break, the last one too; a line that the
    // padded tail group completes is not. The width is rounded down to a multiple of 4.
    const struct {
        std::size_t bytes, width, length;
        std::vector<std::size_t> breaks;
    } wrapped[] = {{57, 76, 78, {76}}, {114, 76, 156, {76, 154}}, {56, 76, 76, {}},
                   {60, 76, 82, {76}}, {6, 7, 12, {4, 10}},       {120, 0, 160, {}},
                   {120, 1, 160, {}},  {120, 3, 160, {}}};
    for (const auto& c : wrapped) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes at " << c.width);
        const std::string out = *mabase64EncodedStringWithWrapWidth(Bytes(c.bytes, 'a'), c.width);
        std::vector<std::size_t> breaks;
        for (auto at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2))
            breaks.push_back(at);
        EXPECT_EQ(out.size(), c.length);
        EXPECT_EQ(breaks, c.breaks);
    }
}

TEST(Base64, DecodingSkipsForeignCharacters) {
    EXPECT_EQ(mabase64DecodedString("TW Fu\r\nTWE="), "ManMa");
    EXPECT_EQ(mastringWithBase64EncodedString("5pe26Ze0"), "时间");
    EXPECT_EQ(madataWithBase64EncodedString("TQ"), bytesOf("M"));
    EXPECT_EQ(madataWithBase64EncodedString("TWE"), bytesOf("Ma"));
    EXPECT_EQ(madataWithBase64EncodedString("===="), std::nullopt);
    EXPECT_EQ(madataWithBase64EncodedString("T"), std::nullopt);
    EXPECT_EQ(mabase64DecodedData("+/8="), (Bytes{0xfb, 0xff}));
    // Bytes that are not UTF-8 make no string.
    EXPECT_EQ(mabase64DecodedString("//79"), std::nullopt);

    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(madataWithBase64EncodedString(*mabase64EncodedStringWithWrapWidth(all, 64)), all);
    EXPECT_EQ(mabase64DecodedString(*mabase64EncodedString(std::string_view("héllo"))), "héllo");
}

}  // namespace
