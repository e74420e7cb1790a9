#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>

#include "NSData.h"
#include "NSError.h"

// Property-list values are nlohmann::json:
//   dictionary <-> object, array <-> array, string <-> string, boolean <-> boolean,
//   integer <-> signed 64-bit integer (unsigned values above INT64_MAX cannot be written),
//   real <-> floating-point number,
//   data <-> binary (any subtype but the date one),
//   date <-> binary of subtype kPropertyListDateSubtype holding the seconds since 1970 (see the
//            helpers below), so a date never reads back as data or a number. XML keeps whole
//            seconds (its text form has no fraction); binary keeps microseconds.
// JSON null has no property-list form: writing it is an error.
enum NSPropertyListFormat {
    NSPropertyListXMLFormat_v1_0 = 100,
    NSPropertyListBinaryFormat_v1_0 = 200,
};

// Cocoa error codes for property lists.
enum NSPropertyListErrorCode : long {
    NSPropertyListReadCorruptError = 3840,
    NSPropertyListWriteInvalidError = 3852,
};

inline constexpr std::uint8_t kPropertyListDateSubtype = 0xD7;

nlohmann::json NSPropertyListDate(double secondsSince1970);
bool NSPropertyListIsDate(const nlohmann::json& value);
// Seconds since 1970 of a date value (0 for anything else).
double NSPropertyListDateSeconds(const nlohmann::json& value);
// Whether a date lies in the span the platform reads, writes and describes: the years -9999 to
// 9999 of the proleptic Gregorian calendar, UTC. Infinite and NaN times lie outside.
bool NSPropertyListDateIsRepresentable(double secondsSince1970);

class NSPropertyListSerialization {
  public:
    // Reads XML or binary property lists. Damaged, truncated, cyclic or absurdly nested input
    // gives NSCocoaErrorDomain 3840. `format` receives the detected format.
    static std::optional<nlohmann::json> propertyListWithData(
        std::span<const std::uint8_t> data, NSPropertyListFormat* format = nullptr,
        NSError* error = nullptr);
    // NSCocoaErrorDomain 3852 when the value has no property-list form.
    static std::optional<NSData> dataWithPropertyList(const nlohmann::json& value,
                                                      NSPropertyListFormat format,
                                                      NSError* error = nullptr);
    static bool propertyListIsValidForFormat(const nlohmann::json& value,
                                             NSPropertyListFormat format);
};
