#pragma once

// Internal to Foundation: libplist handles and the json mapping, shared by the property-list
// serialization, keyed archiving and bundles.

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>

#include "NSData.h"
#include "NSError.h"
#include "NSPropertyListSerialization.h"

namespace plistnode {

// Frees a tree of any depth without exhausting the stack (libplist's own free recurses once per
// level).
void freeTree(plist_t root);

struct Free {
    void operator()(void* node) const { freeTree(node); }
};
using Ptr = std::unique_ptr<void, Free>;

// Nesting deeper than this is treated as damage: real files are shallow, and the parsers recurse.
inline constexpr int kMaxDepth = 512;
// Upper bound on the nodes a file may expand to (shared subtrees count once per reference).
inline constexpr std::uint64_t kMaxNodes = std::uint64_t{1} << 22;

// Parses XML or binary after checking the nesting and size bounds that libplist does not guard.
Ptr parse(std::span<const std::uint8_t> data, NSPropertyListFormat* format, std::string& why);
std::optional<NSData> serialize(plist_t node, NSPropertyListFormat format);

// json -> plist; nullptr with `why` when the value has no property-list form.
Ptr fromJson(const nlohmann::json& value, std::string& why);
// plist -> json; nullopt with `why` for UIDs or damage.
std::optional<nlohmann::json> toJson(plist_t node, std::string& why);

// Dates as libplist stores them: seconds since 2001 split into whole seconds and microseconds.
Ptr newDate(double secondsSince1970, std::string& why);
double dateSeconds(plist_t node);

std::string stringValue(plist_t node);

}  // namespace plistnode
