#include "NSHTTPHeaderFields.h"

#include <algorithm>
#include <cctype>

bool NSHTTPFieldNameLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool NSHTTPFieldNameLess::equal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> NSHTTPHeaderValue(const NSHTTPHeaderFields& fields,
                                             std::string_view name) {
    const auto it = fields.find(name);
    if (it == fields.end()) return std::nullopt;
    return it->second;
}
