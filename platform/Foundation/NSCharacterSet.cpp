#include "NSCharacterSet.h"

namespace {

constexpr std::string_view kSubDelimiters = "!$&'()*+,;=";
constexpr std::string_view kUnreservedMarks = "-._~";

NSCharacterSet unreservedPlus(std::string_view extra) {
    auto set = NSCharacterSet::alphanumericCharacterSet();
    set.addCharactersInString(kUnreservedMarks);
    set.addCharactersInString(extra);
    return set;
}

}  // namespace

NSCharacterSet NSCharacterSet::characterSetWithCharactersInString(std::string_view characters) {
    NSCharacterSet set;
    set.addCharactersInString(characters);
    return set;
}

NSCharacterSet NSCharacterSet::alphanumericCharacterSet() {
    NSCharacterSet set;
    for (char c = '0'; c <= '9'; ++c) set.members_.set(c);
    for (char c = 'a'; c <= 'z'; ++c) set.members_.set(c);
    for (char c = 'A'; c <= 'Z'; ++c) set.members_.set(c);
    return set;
}

NSCharacterSet NSCharacterSet::URLUserAllowedCharacterSet() {
    return unreservedPlus(kSubDelimiters);
}

NSCharacterSet NSCharacterSet::URLPasswordAllowedCharacterSet() {
    return unreservedPlus(kSubDelimiters);
}

NSCharacterSet NSCharacterSet::URLHostAllowedCharacterSet() {
    auto set = unreservedPlus(kSubDelimiters);
    set.addCharactersInString(":[]");
    return set;
}

NSCharacterSet NSCharacterSet::URLPathAllowedCharacterSet() {
    auto set = unreservedPlus(kSubDelimiters);
    set.addCharactersInString(":@/");
    return set;
}

NSCharacterSet NSCharacterSet::URLQueryAllowedCharacterSet() {
    auto set = unreservedPlus(kSubDelimiters);
    set.addCharactersInString(":@/?");
    return set;
}

NSCharacterSet NSCharacterSet::URLFragmentAllowedCharacterSet() {
    return URLQueryAllowedCharacterSet();
}

bool NSCharacterSet::characterIsMember(char c) const {
    const auto u = static_cast<unsigned char>(c);
    return u < 128 && members_.test(u);
}

NSCharacterSet NSCharacterSet::invertedSet() const {
    NSCharacterSet set;
    set.members_ = ~members_;
    return set;
}

void NSCharacterSet::addCharactersInString(std::string_view characters) {
    for (char c : characters)
        if (static_cast<unsigned char>(c) < 128) members_.set(static_cast<unsigned char>(c));
}

void NSCharacterSet::removeCharactersInString(std::string_view characters) {
    for (char c : characters)
        if (static_cast<unsigned char>(c) < 128) members_.reset(static_cast<unsigned char>(c));
}
