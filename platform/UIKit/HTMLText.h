#pragma once

// What the web views' HTML readers share.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace htmltext {

// ASCII letters in lower case, as tag and attribute names compare.
std::string lowerCase(std::string s);
// Appends the code point as UTF-8; nothing for NUL, surrogates and values past Unicode.
void appendUtf8(std::string& out, unsigned long cp);
// The entity at html[i] == '&' and the characters it takes; none for text that is no entity.
std::optional<std::pair<std::string, std::size_t>> entityAt(const std::string& html, std::size_t i);

}  // namespace htmltext
