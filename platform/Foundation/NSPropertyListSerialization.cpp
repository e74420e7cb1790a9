#include "NSPropertyListSerialization.h"

#include <bit>
#include <chrono>
#include <cstring>

#include "PlistNode.h"

namespace {
NSError plistError(long code, const std::string& why) {
    NSError error =
        NSError::make(NSCocoaErrorDomain, code,
                      code == NSPropertyListReadCorruptError
                          ? "The data couldn't be read because it isn't in the correct format."
                          : "The property list couldn't be written.");
    error.userInfo["NSDebugDescription"] = why;
    return error;
}
}  // namespace

nlohmann::json NSPropertyListDate(double secondsSince1970) {
    const auto bits = std::bit_cast<std::uint64_t>(secondsSince1970);
    NSData bytes(8);
    for (int i = 0; i < 8; ++i) bytes[static_cast<size_t>(i)] = (bits >> (56 - 8 * i)) & 0xFF;
    return nlohmann::json::binary(std::move(bytes), kPropertyListDateSubtype);
}

bool NSPropertyListIsDate(const nlohmann::json& value) {
    if (!value.is_binary()) return false;
    const auto& bytes = value.get_binary();
    return bytes.has_subtype() && bytes.subtype() == kPropertyListDateSubtype && bytes.size() == 8;
}

double NSPropertyListDateSeconds(const nlohmann::json& value) {
    if (!NSPropertyListIsDate(value)) return 0;
    std::uint64_t bits = 0;
    for (const std::uint8_t b : value.get_binary()) bits = (bits << 8) | b;
    return std::bit_cast<double>(bits);
}

bool NSPropertyListDateIsRepresentable(double secondsSince1970) {
    using namespace std::chrono;
    constexpr auto kEarliest = sys_seconds(sys_days(year{-9999} / January / 1));
    constexpr auto kEnd = sys_seconds(sys_days(year{10000} / January / 1));
    // NaN fails both comparisons.
    return secondsSince1970 >= static_cast<double>(kEarliest.time_since_epoch().count()) &&
           secondsSince1970 < static_cast<double>(kEnd.time_since_epoch().count());
}

std::optional<nlohmann::json> NSPropertyListSerialization::propertyListWithData(
    std::span<const std::uint8_t> data, NSPropertyListFormat* format, NSError* error) {
    std::string why;
    plistnode::Ptr node = plistnode::parse(data, format, why);
    std::optional<nlohmann::json> value;
    if (node) value = plistnode::toJson(node.get(), why);
    if (!value && error) *error = plistError(NSPropertyListReadCorruptError, why);
    return value;
}

std::optional<NSData> NSPropertyListSerialization::dataWithPropertyList(const nlohmann::json& value,
                                                                        NSPropertyListFormat format,
                                                                        NSError* error) {
    std::string why;
    plistnode::Ptr node = plistnode::fromJson(value, why);
    std::optional<NSData> data;
    if (node) {
        data = plistnode::serialize(node.get(), format);
        if (!data) why = "serialisation failed";
    }
    if (!data && error) *error = plistError(NSPropertyListWriteInvalidError, why);
    return data;
}

bool NSPropertyListSerialization::propertyListIsValidForFormat(const nlohmann::json& value,
                                                               NSPropertyListFormat /*format*/) {
    std::string why;
    return plistnode::fromJson(value, why) != nullptr;
}
