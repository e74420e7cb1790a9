#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "NSData.h"
#include "NSObject.h"

// The defaults store: a dictionary of property-list values (nlohmann::json with the
// property-list conventions, binary for data) kept in a binary property list. The standard
// store lives in Library/Preferences/<bundle identifier>.plist of the app home.
//
// Changes are written on the next turn of the main run loop (several changes, one write),
// by synchronize(), and when the store goes away. Writes are atomic (temp file + rename), so a
// crash leaves the old or the new file, never a torn one, and the temporaries a crash left are
// removed when a store opens the file. A damaged file gives empty defaults and a logged error;
// the damaged file is kept beside as "<name>.damaged".
class NSUserDefaults : public NSObject {
  public:
    static std::shared_ptr<NSUserDefaults> standardUserDefaults();
    // Writes pending changes and drops the shared store; the next standardUserDefaults() reads
    // the file again (after a change of the app home, or to check persistence).
    static void resetStandardUserDefaults();
    // A store backed by the given file.
    static std::shared_ptr<NSUserDefaults> create(const std::string& path);
    ~NSUserDefaults() override;

    const std::string& path() const { return path_; }

    // Null when absent.
    nlohmann::json objectForKey(const std::string& key) const;
    // Strings as they are and numbers in their text form; nullopt otherwise.
    std::optional<std::string> stringForKey(const std::string& key) const;
    // Numbers, bools and numeric strings; 0 otherwise.
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    // Bools, numbers (non-zero) and the strings "YES"/"true"/"1" (any case); false otherwise.
    bool boolForKey(const std::string& key) const;
    std::optional<NSData> dataForKey(const std::string& key) const;
    std::optional<nlohmann::json> arrayForKey(const std::string& key) const;
    std::optional<nlohmann::json> dictionaryForKey(const std::string& key) const;
    nlohmann::json dictionaryRepresentation() const;

    // Null removes the key. A value with no property-list form (a null inside a container, an
    // integer above INT64_MAX) is refused with a logged error: returns false and keeps the old.
    bool setObject(const nlohmann::json& value, const std::string& key);
    void setString(const std::string& value, const std::string& key) { setObject(value, key); }
    void setInteger(std::int64_t value, const std::string& key) { setObject(value, key); }
    void setDouble(double value, const std::string& key) { setObject(value, key); }
    void setBool(bool value, const std::string& key) { setObject(value, key); }
    void setData(const NSData& value, const std::string& key) {
        setObject(nlohmann::json::binary(value), key);
    }
    void removeObjectForKey(const std::string& key);

    // Writes pending changes now; false (and logged) when the file cannot be written.
    bool synchronize();

  private:
    explicit NSUserDefaults(std::string path);
    void load();
    void changed();

    const std::string path_;
    std::mutex writeMutex_;
    mutable std::mutex mutex_;  // guards the members below
    nlohmann::json values_ = nlohmann::json::object();
    bool dirty_ = false;
    bool saveScheduled_ = false;
};
