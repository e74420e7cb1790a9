#pragma once

#include <compare>

// A row of a section; ordered by section, then row.
struct NSIndexPath {
    int section = 0;
    int row = 0;

    static NSIndexPath indexPathForRow(int row, int section) { return {section, row}; }
    auto operator<=>(const NSIndexPath&) const = default;
};
