#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "NSCoding.h"
#include "NSData.h"
#include "NSError.h"
#include "NSObject.h"

// Reads the format NSKeyedArchiver writes (and the platform's own archives of dictionaries,
// arrays, strings, numbers, data, dates and null). Coded objects are built by the factory
// registered for their class name. A damaged, truncated or self-referring archive, an unknown
// class or a value of the wrong kind makes the whole decode fail with NSCocoaErrorDomain 4864;
// it never crashes.
class NSKeyedUnarchiver {
  public:
    using Factory = std::function<std::shared_ptr<NSObject>(NSKeyedUnarchiver& coder)>;

    ~NSKeyedUnarchiver();
    NSKeyedUnarchiver(const NSKeyedUnarchiver&) = delete;
    NSKeyedUnarchiver& operator=(const NSKeyedUnarchiver&) = delete;

    // nullptr with the error when the data is not a keyed archive.
    static std::unique_ptr<NSKeyedUnarchiver> unarchiverWithData(std::span<const std::uint8_t> data,
                                                                 NSError* error = nullptr);
    // The plain value under "root".
    static std::optional<nlohmann::json> unarchiveObjectWithData(std::span<const std::uint8_t> data,
                                                                 NSError* error = nullptr);
    // The coded object under "root".
    template <class T>
    static std::shared_ptr<T> unarchiveObjectOfClass(std::span<const std::uint8_t> data,
                                                     NSError* error = nullptr) {
        auto coder = unarchiverWithData(data, error);
        if (!coder) return nullptr;
        auto object = coder->decodeObjectOfClass<T>("root");
        if (coder->error_) {
            if (error) *error = *coder->error_;
            return nullptr;
        }
        return object;
    }

    // Builds objects archived under `className` with the factory: for this unarchiver, or for
    // every unarchiver (the instance mapping wins). This is also how classes are registered.
    void setClass(Factory factory, const std::string& className);
    // An empty factory forgets the class name again.
    static void setDefaultClass(Factory factory, const std::string& className);
    // A factory calling T::createWithCoder(coder).
    template <class T>
    static Factory factoryFor() {
        return [](NSKeyedUnarchiver& coder) -> std::shared_ptr<NSObject> {
            return T::createWithCoder(coder);
        };
    }

    bool containsValueForKey(const std::string& key) const;
    // A plain value; null when absent.
    nlohmann::json decodeObject(const std::string& key);
    // A coded object; nullptr when absent ("$null"); an error when it is not a T.
    template <class T>
    std::shared_ptr<T> decodeObjectOfClass(const std::string& key) {
        return castOrFail<T>(decodeCoded(key));
    }
    template <class T>
    std::vector<std::shared_ptr<T>> decodeArrayOfObjectsOfClass(const std::string& key) {
        std::vector<std::shared_ptr<T>> out;
        for (auto& object : decodeCodedArray(key)) {
            auto item = castOrFail<T>(object);
            if (!item) return {};
            out.push_back(std::move(item));
        }
        return out;
    }
    // 0 / false when absent; an error when the stored value is of another kind or out of range.
    std::int32_t decodeInt32(const std::string& key);
    std::int64_t decodeInt64(const std::string& key);
    std::int64_t decodeInteger(const std::string& key) { return decodeInt64(key); }
    double decodeDouble(const std::string& key);
    bool decodeBool(const std::string& key);

    // The first failure; once set, every decode returns empty values.
    const std::optional<NSError>& error() const { return error_; }
    void failWithError(NSError error);

  private:
    struct State;
    explicit NSKeyedUnarchiver(std::unique_ptr<State> state);

    std::shared_ptr<NSObject> decodeCoded(const std::string& key);
    std::vector<std::shared_ptr<NSObject>> decodeCodedArray(const std::string& key);
    void failNotOfClass();
    template <class T>
    std::shared_ptr<T> castOrFail(const std::shared_ptr<NSObject>& object) {
        if (!object) return nullptr;
        auto typed = std::dynamic_pointer_cast<T>(object);
        if (!typed) failNotOfClass();
        return typed;
    }

    std::unique_ptr<State> state_;
    std::optional<NSError> error_;
};
