#include "VACCommonFunctions.h"

namespace {

using Cursor = VACCommonFunctions::Cursor;

// Reads an unsigned little-endian value of the given width and advances past it.
template <class T>
std::optional<T> readLittleEndian(Cursor& cursor) {
    if (cursor.size() < sizeof(T)) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<std::uint32_t>(cursor[i]) << (8 * i);
    }
    cursor = cursor.subspan(sizeof(T));
    return static_cast<T>(value);
}

std::optional<Cursor> at(std::span<const std::uint8_t> buffer, std::size_t pos) {
    if (pos > buffer.size()) {
        return std::nullopt;
    }
    return buffer.subspan(pos);
}

}  // namespace

std::optional<bool> VACCommonFunctions::convertBOOL(Cursor& cursor) {
    const auto byte = readLittleEndian<std::uint8_t>(cursor);
    if (!byte) return std::nullopt;
    return *byte != 0;
}

std::optional<std::uint8_t> VACCommonFunctions::convertByte(Cursor& cursor) {
    return readLittleEndian<std::uint8_t>(cursor);
}

std::optional<std::int32_t> VACCommonFunctions::convertInt(Cursor& cursor) {
    const auto value = readLittleEndian<std::uint32_t>(cursor);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

std::optional<std::uint16_t> VACCommonFunctions::convertShort(Cursor& cursor) {
    return readLittleEndian<std::uint16_t>(cursor);
}

std::optional<std::string> VACCommonFunctions::convertString(Cursor& cursor) {
    return convertString(cursor, nullptr);
}

std::optional<std::string> VACCommonFunctions::convertString(Cursor& cursor,
                                                             std::size_t* totalLen) {
    Cursor rest = cursor;
    const auto count = readLittleEndian<std::uint16_t>(rest);
    if (!count || rest.size() < *count) {
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(rest.data()), *count);
    cursor = rest.subspan(*count);
    if (totalLen != nullptr) *totalLen = *count + 2u;
    return text;
}

std::optional<bool> VACCommonFunctions::convertBOOL(Cursor cursor, bool) {
    return convertBOOL(cursor);
}

std::optional<std::uint8_t> VACCommonFunctions::convertByte(Cursor cursor, bool) {
    return convertByte(cursor);
}

std::optional<std::int32_t> VACCommonFunctions::convertInt(Cursor cursor, bool) {
    return convertInt(cursor);
}

std::optional<std::uint16_t> VACCommonFunctions::convertShort(Cursor cursor, bool) {
    return convertShort(cursor);
}

std::optional<std::string> VACCommonFunctions::convertString(Cursor cursor, bool) {
    return convertString(cursor, nullptr);
}

std::optional<std::string> VACCommonFunctions::convertString(Cursor cursor, bool,
                                                             std::size_t* totalLen) {
    return convertString(cursor, totalLen);
}

std::optional<bool> VACCommonFunctions::getBOOL(std::span<const std::uint8_t> buffer,
                                                std::size_t pos) {
    auto cursor = at(buffer, pos);
    return cursor ? convertBOOL(*cursor) : std::nullopt;
}

std::optional<std::uint8_t> VACCommonFunctions::getByte(std::span<const std::uint8_t> buffer,
                                                        std::size_t pos) {
    auto cursor = at(buffer, pos);
    return cursor ? convertByte(*cursor) : std::nullopt;
}

std::optional<std::int32_t> VACCommonFunctions::getInt(std::span<const std::uint8_t> buffer,
                                                       std::size_t pos) {
    auto cursor = at(buffer, pos);
    return cursor ? convertInt(*cursor) : std::nullopt;
}

std::optional<std::uint16_t> VACCommonFunctions::getShort(std::span<const std::uint8_t> buffer,
                                                          std::size_t pos) {
    auto cursor = at(buffer, pos);
    return cursor ? convertShort(*cursor) : std::nullopt;
}

std::optional<std::string> VACCommonFunctions::getString(std::span<const std::uint8_t> buffer,
                                                         std::size_t pos) {
    return getString(buffer, pos, nullptr);
}

std::optional<std::string> VACCommonFunctions::getString(std::span<const std::uint8_t> buffer,
                                                         std::size_t pos, std::size_t* totalLen) {
    auto cursor = at(buffer, pos);
    return cursor ? convertString(*cursor, totalLen) : std::nullopt;
}

std::vector<std::uint8_t> VACCommonFunctions::convertIntToData(std::int32_t value) {
    std::vector<std::uint8_t> out(4);
    wirteInt(out, 0, value);
    return out;
}

bool VACCommonFunctions::wirteInt(std::span<std::uint8_t> buffer, std::size_t pos,
                                  std::int32_t value) {
    if (pos > buffer.size() || buffer.size() - pos < 4) {
        return false;
    }
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        buffer[pos + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    return true;
}
