#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// HTTP field names compare without regard to case; the first spelling set is the one kept.
struct NSHTTPFieldNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
    static bool equal(std::string_view a, std::string_view b);
};

using NSHTTPHeaderFields = std::map<std::string, std::string, NSHTTPFieldNameLess>;

std::optional<std::string> NSHTTPHeaderValue(const NSHTTPHeaderFields& fields,
                                             std::string_view name);
