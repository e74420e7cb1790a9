#include <gtest/gtest.h>

#include <vector>

#include "VACCommonFunctions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using VAC = VACCommonFunctions;

TEST(ByteReaders, ReadAtOffsetsLittleEndian) {
    const Bytes intBytes = {0x01, 0x00, 0x00, 0x80};
    EXPECT_EQ(VAC::getInt(intBytes, 0), -2147483647);
    EXPECT_EQ(VAC::getShort(Bytes{0xFF, 0xFF}, 0), 65535);
    const Bytes mixed = {0x00, 0x34, 0x12, 0x02, 0x00};
    EXPECT_EQ(VAC::getShort(mixed, 1), 0x1234);  // unaligned
    EXPECT_EQ(VAC::getByte(mixed, 3), 2);
    EXPECT_EQ(VAC::getBOOL(mixed, 3), true);
    EXPECT_EQ(VAC::getBOOL(mixed, 0), false);

    const Bytes text = {0x03, 0x00, 'a', 'b', 'c', 0x7F};
    std::size_t total = 0;
    EXPECT_EQ(VAC::getString(text, 0, &total), "abc");
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(VAC::getString(Bytes{0x00, 0x00}, 0), "");
}

// The fuzz harness checks that cursors move by exactly what they read and agree with the readers
// at offsets; these pin the values and the refusals.
TEST(ByteReaders, CursorsReadInOrderAndShortBuffersGiveNothing) {
    const Bytes data = {0x01, 0x07, 0x02, 0x01, 0x78, 0x56, 0x34, 0x12, 0x02, 0x00, 'h', 'i', 0xEE};
    VAC::Cursor cursor(data);
    EXPECT_EQ(VAC::convertBOOL(cursor), true);
    EXPECT_EQ(VAC::convertByte(cursor), 7);
    EXPECT_EQ(VAC::convertShort(cursor, true), 0x0102);
    EXPECT_EQ(VAC::convertShort(cursor), 0x0102);
    EXPECT_EQ(VAC::convertInt(cursor), 0x12345678);
    std::size_t total = 0;
    EXPECT_EQ(VAC::convertString(cursor, &total), "hi");
    EXPECT_EQ(total, 4u);
    ASSERT_EQ(cursor.size(), 1u);
    EXPECT_EQ(cursor[0], 0xEE);
    EXPECT_EQ(VAC::convertInt(cursor), std::nullopt);
    EXPECT_EQ(cursor.size(), 1u);

    const Bytes three = {0x01, 0x02, 0x03};
    EXPECT_EQ(VAC::getInt(three, 0), std::nullopt);
    EXPECT_EQ(VAC::getShort(three, 2), std::nullopt);
    EXPECT_EQ(VAC::getByte(three, 1000), std::nullopt);
    // A count larger than the bytes that follow.
    const Bytes truncated = {0x10, 0x00, 'a', 'b'};
    VAC::Cursor stringCursor(truncated);
    EXPECT_EQ(VAC::convertString(stringCursor), std::nullopt);
    EXPECT_EQ(stringCursor.size(), truncated.size());
    EXPECT_EQ(VAC::getString(Bytes{0x01}, 0), std::nullopt);
}

TEST(ByteWriters, WriteLittleEndianWithinTheBuffer) {
    EXPECT_EQ(VAC::convertIntToData(-2), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    Bytes buffer(6, 0xAA);
    EXPECT_TRUE(VAC::wirteInt(buffer, 1, 0x01020304));
    EXPECT_EQ(buffer, (Bytes{0xAA, 0x04, 0x03, 0x02, 0x01, 0xAA}));
    EXPECT_EQ(VAC::getInt(buffer, 1), 0x01020304);
    EXPECT_FALSE(VAC::wirteInt(buffer, 3, 7));
    EXPECT_FALSE(VAC::wirteInt(buffer, 100, 7));
    EXPECT_EQ(buffer, (Bytes{0xAA, 0x04, 0x03, 0x02, 0x01, 0xAA}));
}

}  // namespace
