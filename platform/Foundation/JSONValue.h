#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

// The "%@" text of a value, as the platform's descriptions print it: a string as itself; an
// integer in decimal; a double in its shortest round-trip form ("0.5", "3" for 3.0); a bool as
// 1 or 0; null as "<null>"; data as "<0a1b2c3d 4e>"; a property-list date as
// "yyyy-MM-dd HH:mm:ss +0000" (one past the calendar's span as its seconds); arrays as
// "(\n    a,\n    b\n)" and dictionaries as
// "{\n    key = value;\n}", nested with the platform's indentation, strings inside them quoted
// unless they are plain words.
std::string describe(const nlohmann::json& value);
// The "%@" text of dictionary[key]: "(null)" when the key is missing (a nil object), else
// describe() of the value ("<null>" for a JSON null).
std::string describeValueForKey(const nlohmann::json& dictionary, const std::string& key);

// The "integer value" of a reply field: integers as they are; doubles truncated; bools 1/0;
// strings by their leading decimal integer after optional blanks and sign ("12abc" -> 12);
// anything else, missing or garbage, 0. Out-of-range values clamp to the 64-bit limits.
std::int64_t integerValue(const nlohmann::json& value);
