#pragma once

#include <string>

// What the keyed archiver and unarchiver must agree on.
namespace keyedarchive {

// Archived dates count from 2001, as the format's readers expect.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;

// Keys of the archive's own ("$class") start with "$"; callers' keys that do get one more.
inline std::string codedKey(const std::string& key) {
    return key.starts_with('$') ? "$" + key : key;
}

}  // namespace keyedarchive
