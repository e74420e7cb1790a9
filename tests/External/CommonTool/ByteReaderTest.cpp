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

TEST(ByteReaders, CursorsAdvanceByWhatTheyRead) {
    const Bytes data = {0x01, 0x07, 0x02, 0x01, 0x78, 0x56, 0x34, 0x12, 0x02, 0x00, 'h', 'i', 0xEE};
    VAC::Cursor cursor(data);
    EXPECT_EQ(VAC::convertBOOL(cursor), true);
    EXPECT_EQ(cursor.size(), data.size() - 1);
    EXPECT_EQ(VAC::convertByte(cursor), 7);
    EXPECT_EQ(cursor.size(), data.size() - 2);
    EXPECT_EQ(VAC::convertShort(cursor), 0x0102);
    EXPECT_EQ(cursor.size(), data.size() - 4);
    EXPECT_EQ(VAC::convertInt(cursor), 0x12345678);
    EXPECT_EQ(cursor.size(), data.size() - 8);
    std::size_t total = 0;
    EXPECT_EQ(VAC::convertString(cursor, &total), "hi");
    EXPECT_EQ(total, 4u);
    EXPECT_EQ(cursor.size(), 1u);
    EXPECT_EQ(cursor[0], 0xEE);
}

TEST(ByteReaders, ChangePosVariantsNeverMoveTheCallersCursor) {
    const Bytes data = {0x02, 0x00, 'o', 'k', 0x05};
    const VAC::Cursor cursor(data);
    for (bool changePos : {true, false}) {
        std::size_t total = 0;
        EXPECT_EQ(VAC::convertString(cursor, changePos, &total), "ok");
        EXPECT_EQ(total, 4u);
        EXPECT_EQ(VAC::convertShort(cursor, changePos), 2);
        EXPECT_EQ(VAC::convertInt(cursor, changePos), 0x6B6F0002);
        EXPECT_EQ(VAC::convertByte(cursor, changePos), 2);
        EXPECT_EQ(VAC::convertBOOL(cursor, changePos), true);
        EXPECT_EQ(cursor.size(), data.size());
    }
}

TEST(ByteReaders, ShortBuffersGiveNothingAndKeepTheCursor) {
    const Bytes three = {0x01, 0x02, 0x03};
    VAC::Cursor cursor(three);
    EXPECT_EQ(VAC::convertInt(cursor), std::nullopt);
    EXPECT_EQ(cursor.size(), 3u);
    EXPECT_EQ(VAC::getInt(three, 0), std::nullopt);
    EXPECT_EQ(VAC::getShort(three, 2), std::nullopt);
    EXPECT_EQ(VAC::getByte(three, 3), std::nullopt);
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
