#include "NSUserDefaults.h"

#include <filesystem>

#include "JSONValue.h"
#include "NSBundle.h"
#include "NSLog.h"
#include "NSPathUtilities.h"
#include "NSPropertyListSerialization.h"
#include "NSRunLoop.h"

namespace {
std::mutex gStandardMutex;
std::shared_ptr<NSUserDefaults>& standardSlot() {
    static std::shared_ptr<NSUserDefaults> defaults;
    return defaults;
}

std::string lowercase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
}  // namespace

std::shared_ptr<NSUserDefaults> NSUserDefaults::standardUserDefaults() {
    std::lock_guard lock(gStandardMutex);
    auto& slot = standardSlot();
    if (!slot) {
        const std::string directory = NSHomeSubdirectory("Library/Preferences");
        std::string name = NSBundle::mainBundle()->bundleIdentifier();
        if (name.empty()) name = "brisfold";
        slot = create((std::filesystem::path(directory) / (name + ".plist")).string());
    }
    return slot;
}

void NSUserDefaults::resetStandardUserDefaults() {
    std::shared_ptr<NSUserDefaults> previous;
    {
        std::lock_guard lock(gStandardMutex);
        previous = std::move(standardSlot());
    }
    if (previous) previous->synchronize();
}

std::shared_ptr<NSUserDefaults> NSUserDefaults::create(const std::string& path) {
    std::shared_ptr<NSUserDefaults> defaults(new NSUserDefaults(path));
    defaults->load();
    return defaults;
}

NSUserDefaults::NSUserDefaults(std::string path) : path_(std::move(path)) {}

NSUserDefaults::~NSUserDefaults() { synchronize(); }

void NSUserDefaults::load() {
    NSDataRemoveStaleTemporaries(path_);
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return;
    NSError error;
    const auto data = NSDataWithContentsOfFile(path_, &error);
    if (!data) {
        NSLog("Defaults file %s cannot be read: %s", path_.c_str(),
              error.localizedDescription.c_str());
        return;
    }
    auto values = NSPropertyListSerialization::propertyListWithData(*data, nullptr, &error);
    if (values && values->is_object()) {
        values_ = std::move(*values);
        return;
    }
    const std::string why =
        values ? "not a dictionary"
               : error.localizedDescription + " " + error.userInfo.value("NSDebugDescription", "");
    const std::string aside = path_ + ".damaged";
    std::filesystem::rename(path_, aside, ec);
    NSLog("Defaults file %s is unreadable (%s); starting with empty defaults, kept it as %s",
          path_.c_str(), why.c_str(), aside.c_str());
}

nlohmann::json NSUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    return it == values_.end() ? nlohmann::json() : *it;
}

std::optional<std::string> NSUserDefaults::stringForKey(const std::string& key) const {
    const nlohmann::json value = objectForKey(key);
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number()) return describe(value);
    return std::nullopt;
}

std::int64_t NSUserDefaults::integerForKey(const std::string& key) const {
    return integerValue(objectForKey(key));
}

double NSUserDefaults::doubleForKey(const std::string& key) const {
    const nlohmann::json value = objectForKey(key);
    if (value.is_number()) return value.get<double>();
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_string()) {
        try {
            return std::stod(value.get<std::string>());
        } catch (const std::exception&) {
            return 0;
        }
    }
    return 0;
}

bool NSUserDefaults::boolForKey(const std::string& key) const {
    const nlohmann::json value = objectForKey(key);
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    if (value.is_string()) {
        const std::string text = lowercase(value.get<std::string>());
        return text == "yes" || text == "true" || integerValue(value) != 0;
    }
    return false;
}

std::optional<NSData> NSUserDefaults::dataForKey(const std::string& key) const {
    const nlohmann::json value = objectForKey(key);
    if (!value.is_binary() || NSPropertyListIsDate(value)) return std::nullopt;
    return NSData(value.get_binary().begin(), value.get_binary().end());
}

std::optional<nlohmann::json> NSUserDefaults::arrayForKey(const std::string& key) const {
    nlohmann::json value = objectForKey(key);
    if (!value.is_array()) return std::nullopt;
    return value;
}

std::optional<nlohmann::json> NSUserDefaults::dictionaryForKey(const std::string& key) const {
    nlohmann::json value = objectForKey(key);
    if (!value.is_object()) return std::nullopt;
    return value;
}

nlohmann::json NSUserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return values_;
}

bool NSUserDefaults::setObject(const nlohmann::json& value, const std::string& key) {
    if (value.is_null()) {
        removeObjectForKey(key);
        return true;
    }
    NSError error;
    if (!NSPropertyListSerialization::dataWithPropertyList(value, NSPropertyListBinaryFormat_v1_0,
                                                           &error)) {
        NSLog("Defaults refused the value for %s: %s", key.c_str(),
              error.userInfo.value("NSDebugDescription", "").c_str());
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        values_[key] = value;
    }
    changed();
    return true;
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        if (values_.erase(key) == 0) return;
    }
    changed();
}

void NSUserDefaults::changed() {
    {
        std::lock_guard lock(mutex_);
        dirty_ = true;
        if (saveScheduled_) return;
        saveScheduled_ = true;
    }
    std::weak_ptr<NSUserDefaults> weak =
        std::static_pointer_cast<NSUserDefaults>(shared_from_this());
    NSRunLoop::mainRunLoop()->performBlock([weak] {
        if (auto self = weak.lock()) self->synchronize();
    });
}

bool NSUserDefaults::synchronize() {
    // One writer at a time, so an older snapshot never lands after a newer one.
    std::lock_guard writing(writeMutex_);
    nlohmann::json snapshot;
    {
        std::lock_guard lock(mutex_);
        saveScheduled_ = false;
        if (!dirty_) return true;
        snapshot = values_;
        dirty_ = false;
    }
    NSError error;
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        snapshot, NSPropertyListBinaryFormat_v1_0, &error);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    // The app keeps its session here: for its owner's eyes only.
    if (data && NSDataWriteToFile(*data, path_, true, &error, 0600)) return true;
    NSLog("Defaults could not be written to %s: %s", path_.c_str(),
          error.localizedDescription.c_str());
    std::lock_guard lock(mutex_);
    dirty_ = true;
    return false;
}
