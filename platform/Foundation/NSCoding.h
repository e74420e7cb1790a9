#pragma once

#include <string>
#include <vector>

class NSKeyedArchiver;

// An object that keyed archiving can write. Decoding goes through a factory registered for the
// class name with NSKeyedUnarchiver (conventionally the class's static createWithCoder()).
class NSCoding {
  public:
    virtual ~NSCoding() = default;
    // The class name written to the archive followed by its superclasses' names, most derived
    // first, e.g. {"VMOfflineCity", "VMOfflineItem", "NSObject"}. "NSObject" is added when absent.
    virtual std::vector<std::string> classNamesForCoder() const = 0;
    virtual void encodeWithCoder(NSKeyedArchiver& coder) const = 0;
};

// Cocoa error codes of keyed coding.
enum NSCoderErrorCode : long {
    NSCoderReadCorruptError = 4864,
    NSCoderValueNotFoundError = 4865,
    NSCoderInvalidValueError = 4866,
};
