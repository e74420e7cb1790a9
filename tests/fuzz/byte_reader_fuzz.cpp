// The little-endian readers of map data answers. The input is read as a program: a byte picks
// the next reader, which reads what follows. A reader that succeeds moves the cursor past
// exactly what it read and agrees with the reader at the same buffer offset and with the
// non-advancing reader; a reader that fails leaves the cursor where it was.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "VACCommonFunctions.h"

namespace {

using Cursor = VACCommonFunctions::Cursor;

// Checks one advancing reader against its peers; true when it read.
template <class Advance, class Peek, class Get>
bool check(Cursor& cursor, std::span<const std::uint8_t> buffer, std::size_t width, Advance advance,
           Peek peek, Get get) {
    const Cursor before = cursor;
    const std::size_t offset = buffer.size() - cursor.size();
    const auto peeked = peek(cursor);
    const auto read = advance(cursor);
    FUZZ_CHECK(read == peeked && read == get(buffer, offset));
    if (!read) {
        FUZZ_CHECK(cursor.data() == before.data() && cursor.size() == before.size());
        return false;
    }
    FUZZ_CHECK(before.size() - cursor.size() == width);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using F = VACCommonFunctions;
    const std::span<const std::uint8_t> buffer(data, size);
    Cursor cursor = buffer;
    while (const auto op = F::convertByte(cursor)) {
        bool read = false;
        switch (*op % 5) {
            case 0:
                read = check(
                    cursor, buffer, 1, [](Cursor& c) { return F::convertBOOL(c); },
                    [](Cursor c) { return F::convertBOOL(c, true); }, F::getBOOL);
                break;
            case 1:
                read = check(
                    cursor, buffer, 1, [](Cursor& c) { return F::convertByte(c); },
                    [](Cursor c) { return F::convertByte(c, true); }, F::getByte);
                break;
            case 2: {
                const std::size_t offset = buffer.size() - cursor.size();
                read = check(
                    cursor, buffer, 4, [](Cursor& c) { return F::convertInt(c); },
                    [](Cursor c) { return F::convertInt(c, true); }, F::getInt);
                if (read) {
                    // Writing the value back gives the bytes it was read from.
                    const auto bytes = F::convertIntToData(*F::getInt(buffer, offset));
                    FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), buffer.begin() + offset));
                }
                break;
            }
            case 3:
                read = check(
                    cursor, buffer, 2, [](Cursor& c) { return F::convertShort(c); },
                    [](Cursor c) { return F::convertShort(c, true); }, F::getShort);
                break;
            default: {
                std::size_t total = 0;
                const auto peeked = F::convertString(cursor, true, &total);
                const std::size_t width = peeked ? total : 0;
                read = check(
                    cursor, buffer, width, [](Cursor& c) { return F::convertString(c); },
                    [](Cursor c) { return F::convertString(c, true); },
                    [](std::span<const std::uint8_t> b, std::size_t pos) {
                        return F::getString(b, pos);
                    });
                if (read) FUZZ_CHECK(total == peeked->size() + 2);
                break;
            }
        }
        if (!read) break;
    }
    return 0;
}
