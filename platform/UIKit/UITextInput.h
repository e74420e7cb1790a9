#pragma once

#include <cstddef>
#include <string>

enum UIKeyboardType {
    UIKeyboardTypeDefault = 0,
    UIKeyboardTypeASCIICapable = 1,
    UIKeyboardTypeNumbersAndPunctuation = 2,
    UIKeyboardTypeURL = 3,
    UIKeyboardTypeNumberPad = 4,
    UIKeyboardTypePhonePad = 5,
    UIKeyboardTypeNamePhonePad = 6,
    UIKeyboardTypeEmailAddress = 7,
    UIKeyboardTypeDecimalPad = 8,
};

// A range in UTF-16 code units, as text delegates receive it.
struct NSRange {
    size_t location = 0;
    size_t length = 0;
    bool operator==(const NSRange&) const = default;
};

// What a keyboard of this type can type: pads type digits (and their few symbols) only.
std::string UIKeyboardFilter(UIKeyboardType type, const std::string& text);
size_t UTF16Length(const std::string& utf8);
// The text without its last character (a whole UTF-8 sequence).
std::string UTF8DropLast(const std::string& utf8);
