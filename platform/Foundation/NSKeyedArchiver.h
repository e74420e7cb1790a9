#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "NSCoding.h"
#include "NSData.h"
#include "NSError.h"

// Writes the platform's keyed-archive format: a binary property list
// {"$version": 100000, "$archiver": "NSKeyedArchiver", "$top": {key: UID}, "$objects": [...]}
// where $objects[0] is "$null"; strings, numbers and data sit in $objects as they are;
// dictionaries are {"NS.keys": [UID], "NS.objects": [UID], "$class": UID}, arrays
// {"NS.objects": [UID], "$class": UID}, dates {"NS.time": seconds since 2001, "$class": UID};
// class entries are {"$classname": name, "$classes": [name, ..., "NSObject"]}. Plain values come
// as nlohmann::json with the property-list conventions (binary for data, the property-list date
// subtype for dates); json null is "$null".
class NSKeyedArchiver {
  public:
    NSKeyedArchiver();
    ~NSKeyedArchiver();
    NSKeyedArchiver(const NSKeyedArchiver&) = delete;
    NSKeyedArchiver& operator=(const NSKeyedArchiver&) = delete;

    // Archives under the key "root", as the platform's one-shot archiving does.
    static std::optional<NSData> archivedDataWithRootObject(const nlohmann::json& value,
                                                            NSError* error = nullptr);
    template <std::derived_from<NSCoding> T>
    static std::optional<NSData> archivedDataWithRootObject(const std::shared_ptr<T>& object,
                                                            NSError* error = nullptr) {
        NSKeyedArchiver archiver;
        archiver.encodeObject(object, "root");
        return archiver.finish(error);
    }

    // Writes the coded class name `codedName` wherever `className` would be written: for this
    // archiver, or for every archiver (the instance mapping wins).
    void setClassName(const std::string& codedName, const std::string& className);
    static void setDefaultClassName(const std::string& codedName, const std::string& className);

    void encodeObject(const nlohmann::json& value, const std::string& key);
    template <std::derived_from<NSCoding> T>
    void encodeObject(const std::shared_ptr<T>& object, const std::string& key) {
        encodeCoded(std::static_pointer_cast<const NSCoding>(object), key);
    }
    // An array of coded objects (NSArray of archived objects).
    template <std::derived_from<NSCoding> T>
    void encodeObject(const std::vector<std::shared_ptr<T>>& objects, const std::string& key) {
        std::vector<std::shared_ptr<const NSCoding>> items(objects.begin(), objects.end());
        encodeCodedArray(items, key);
    }
    void encodeInt32(std::int32_t value, const std::string& key);
    void encodeInt64(std::int64_t value, const std::string& key);
    void encodeInteger(std::int64_t value, const std::string& key) { encodeInt64(value, key); }
    void encodeDouble(double value, const std::string& key);
    void encodeBool(bool value, const std::string& key);

    // The archive, or nullopt with the first error met while encoding (NSCocoaErrorDomain 4866).
    std::optional<NSData> finish(NSError* error = nullptr);

  private:
    struct State;
    void encodeCoded(const std::shared_ptr<const NSCoding>& object, const std::string& key);
    void encodeCodedArray(const std::vector<std::shared_ptr<const NSCoding>>& objects,
                          const std::string& key);
    std::uint64_t appendCoded(const std::shared_ptr<const NSCoding>& object);
    std::unique_ptr<State> state_;
};
