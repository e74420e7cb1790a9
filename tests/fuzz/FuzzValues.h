#pragma once

#include <cmath>
#include <nlohmann/json.hpp>

#include "Foundation/NSPropertyListSerialization.h"

// Whether a value read back after writing is the one written. Dates may move by a microsecond:
// property lists keep them as seconds since 2001 in a double, or as whole seconds and
// microseconds, and the platform's dates count from 1970. The readers bound nesting, so the
// recursion is shallow.
inline bool sameValue(const nlohmann::json& a, const nlohmann::json& b) {
    if (NSPropertyListIsDate(a) && NSPropertyListIsDate(b)) {
        return std::fabs(NSPropertyListDateSeconds(a) - NSPropertyListDateSeconds(b)) <= 2e-6;
    }
    if (a.type() != b.type() || a.size() != b.size()) return false;
    if (a.is_array()) {
        for (size_t i = 0; i < a.size(); ++i)
            if (!sameValue(a[i], b[i])) return false;
        return true;
    }
    if (a.is_object()) {
        for (auto it = a.begin(); it != a.end(); ++it) {
            const auto other = b.find(it.key());
            if (other == b.end() || !sameValue(*it, *other)) return false;
        }
        return true;
    }
    return a == b;
}
