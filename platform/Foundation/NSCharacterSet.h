#pragma once

#include <bitset>
#include <string_view>

// A set of ASCII characters, used to say which characters percent-encoding leaves alone.
// Bytes outside ASCII (every byte of a multi-byte UTF-8 sequence) are never members.
class NSCharacterSet {
  public:
    NSCharacterSet() = default;

    static NSCharacterSet characterSetWithCharactersInString(std::string_view characters);
    static NSCharacterSet alphanumericCharacterSet();
    static NSCharacterSet URLUserAllowedCharacterSet();
    static NSCharacterSet URLPasswordAllowedCharacterSet();
    static NSCharacterSet URLHostAllowedCharacterSet();
    static NSCharacterSet URLPathAllowedCharacterSet();
    static NSCharacterSet URLQueryAllowedCharacterSet();
    static NSCharacterSet URLFragmentAllowedCharacterSet();

    bool characterIsMember(char c) const;
    NSCharacterSet invertedSet() const;
    void addCharactersInString(std::string_view characters);
    void removeCharactersInString(std::string_view characters);

    bool operator==(const NSCharacterSet&) const = default;

  private:
    std::bitset<128> members_;
};
