#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "NSCharacterSet.h"

// Percent-encodes every byte of the UTF-8 text that is not in the allowed set ("%XX", upper-case).
std::string stringByAddingPercentEncodingWithAllowedCharacters(std::string_view text,
                                                               const NSCharacterSet& allowed);

// Decodes "%XX" escapes. Absent when an escape is malformed or the result is not valid UTF-8.
std::optional<std::string> stringByRemovingPercentEncoding(std::string_view text);
