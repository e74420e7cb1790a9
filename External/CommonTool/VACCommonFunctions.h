#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Little-endian readers and writers for the byte answers of the map data servers. Every reader
// is bounded by its buffer: reading past the end gives nullopt and leaves the cursor where it
// was, so a short or hostile answer cannot make anyone read outside it.
class VACCommonFunctions {
  public:
    // The bytes not yet read; the advancing readers move its start.
    using Cursor = std::span<const std::uint8_t>;

    static std::optional<bool> convertBOOL(Cursor& cursor);
    static std::optional<std::uint8_t> convertByte(Cursor& cursor);
    static std::optional<std::int32_t> convertInt(Cursor& cursor);
    static std::optional<std::uint16_t> convertShort(Cursor& cursor);
    // A 16-bit byte count followed by that many UTF-8 bytes; totalLen receives count + 2.
    static std::optional<std::string> convertString(Cursor& cursor);
    static std::optional<std::string> convertString(Cursor& cursor, std::size_t* totalLen);

    // The value at the cursor; the caller's cursor never moves whatever changePos says.
    static std::optional<bool> convertBOOL(Cursor cursor, bool changePos);
    static std::optional<std::uint8_t> convertByte(Cursor cursor, bool changePos);
    static std::optional<std::int32_t> convertInt(Cursor cursor, bool changePos);
    static std::optional<std::uint16_t> convertShort(Cursor cursor, bool changePos);
    static std::optional<std::string> convertString(Cursor cursor, bool changePos);
    static std::optional<std::string> convertString(Cursor cursor, bool changePos,
                                                    std::size_t* totalLen);

    // The value at buffer offset pos.
    static std::optional<bool> getBOOL(std::span<const std::uint8_t> buffer, std::size_t pos);
    static std::optional<std::uint8_t> getByte(std::span<const std::uint8_t> buffer,
                                               std::size_t pos);
    static std::optional<std::int32_t> getInt(std::span<const std::uint8_t> buffer,
                                              std::size_t pos);
    static std::optional<std::uint16_t> getShort(std::span<const std::uint8_t> buffer,
                                                 std::size_t pos);
    static std::optional<std::string> getString(std::span<const std::uint8_t> buffer,
                                                std::size_t pos);
    static std::optional<std::string> getString(std::span<const std::uint8_t> buffer,
                                                std::size_t pos, std::size_t* totalLen);

    static std::vector<std::uint8_t> convertIntToData(std::int32_t value);
    // Writes value at buffer + pos; false (nothing written) when it does not fit.
    static bool wirteInt(std::span<std::uint8_t> buffer, std::size_t pos, std::int32_t value);
};
