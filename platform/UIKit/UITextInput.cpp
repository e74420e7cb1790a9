#include "UITextInput.h"

#include <cctype>

std::string UIKeyboardFilter(UIKeyboardType type, const std::string& text) {
    std::string allowed;
    switch (type) {
        case UIKeyboardTypeNumberPad:
            allowed = "0123456789";
            break;
        case UIKeyboardTypeDecimalPad:
            allowed = "0123456789.";
            break;
        case UIKeyboardTypePhonePad:
            allowed = "0123456789+*#";
            break;
        default:
            return text;
    }
    std::string out;
    for (char c : text) {
        if (allowed.find(c) != std::string::npos) out += c;
    }
    return out;
}

size_t UTF16Length(const std::string& utf8) {
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        n += len == 4 ? 2 : 1;
        i += len;
    }
    return n;
}

std::string UTF8DropLast(const std::string& utf8) {
    if (utf8.empty()) return utf8;
    size_t i = utf8.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(utf8[i]) & 0xc0) == 0x80) --i;
    return utf8.substr(0, i);
}
