#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSCoding.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSObject.h"
#include "VMOfflineItem.h"

// The offline catalogue: provinces with their cities, municipalities and the nation-wide base
// package. Stored as a keyed archive; delivered as a dictionary. The adcode index is a cache
// built on first use and dropped when memory runs short.
class VMOfflinePackage : public NSObject, public NSCoding {
  public:
    using ItemMap = std::map<std::string, std::shared_ptr<VMOfflineItem>>;

    static std::shared_ptr<VMOfflinePackage> packageWithDictionary(
        const nlohmann::json& dictionary);
    // Null for a missing file or one that is not a catalogue archive (with the error).
    static std::shared_ptr<VMOfflinePackage> packageWithContentsOfFile(const std::string& path,
                                                                       NSError* error = nullptr);
    static std::shared_ptr<VMOfflinePackage> createWithCoder(NSKeyedUnarchiver& coder);
    // Teaches every unarchiver the catalogue's class names.
    static void registerClasses();
    ~VMOfflinePackage() override;

    // Replaces the file atomically; false for an empty path or a failed write.
    bool writeToFile(const std::string& path, NSError* error = nullptr) const;

    std::string version;
    std::vector<std::shared_ptr<VMOfflineProvince>> provinces;
    std::vector<std::shared_ptr<VMOfflineItemMunicipality>> municipalities;
    std::shared_ptr<VMOfflineItemNationWide> nationWide;

    ItemMap items();
    // The items by one of their text fields, a later item replacing an earlier one with the
    // same key.
    static ItemMap dictionaryForItemArray(const std::vector<std::shared_ptr<VMOfflineItem>>& items,
                                          std::string VMOfflineItem::*key);
    // Municipalities and province cities by city code, made anew on each call.
    std::map<std::string, std::shared_ptr<VMOfflineCity>> cityCodeItems() const;
    void scanItemsWithBlock(
        const std::function<void(const std::shared_ptr<VMOfflineItem>&)>& block);
    void invalidateItems();
    void reduceMemoryUsage() { invalidateItems(); }

    nlohmann::json descriptionDictionary() const;
    std::vector<std::string> classNamesForCoder() const override;
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  private:
    VMOfflinePackage() = default;
    void observeMemoryWarnings();
    void provincesAndMunicipalitiesForDictionary(const nlohmann::json& dictionary);
    static bool isProvincesForDictionary(const nlohmann::json& dictionary);
    void nationWideForDictionary(const nlohmann::json& dictionary);
    ItemMap constructDictionaryItems() const;

    std::mutex mutex_;  // guards the cache
    std::optional<ItemMap> dictionaryItems_;
    NSNotificationCenter::Token observer_ = 0;
};
