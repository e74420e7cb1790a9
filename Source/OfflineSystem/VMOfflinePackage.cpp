#include "VMOfflinePackage.h"

#include <mutex>

#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"
#include "UIKit/UIApplication.h"

void VMOfflinePackage::registerClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflinePackage>(),
                                           "VMOfflinePackage");
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflineProvince>(),
                                           "VMOfflineProvince");
        NSKeyedUnarchiver::setDefaultClass(
            NSKeyedUnarchiver::factoryFor<VMOfflineItemMunicipality>(),
            "VMOfflineItemMunicipality");
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflineItemCommonCity>(),
                                           "VMOfflineItemCommonCity");
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflineItemNationWide>(),
                                           "VMOfflineItemNationWide");
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflineCity>(),
                                           "VMOfflineCity");
        NSKeyedUnarchiver::setDefaultClass(NSKeyedUnarchiver::factoryFor<VMOfflineItem>(),
                                           "VMOfflineItem");
    });
}

VMOfflinePackage::~VMOfflinePackage() {
    if (observer_ != 0) NSNotificationCenter::defaultCenter()->removeObserver(observer_);
}

void VMOfflinePackage::observeMemoryWarnings() {
    std::weak_ptr<VMOfflinePackage> weak = sharedSelf<VMOfflinePackage>();
    observer_ = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr, [weak](const NSNotification&) {
            if (auto self = weak.lock()) self->reduceMemoryUsage();
        });
}

std::shared_ptr<VMOfflinePackage> VMOfflinePackage::packageWithDictionary(
    const nlohmann::json& dictionary) {
    auto package = std::shared_ptr<VMOfflinePackage>(new VMOfflinePackage());
    if (dictionary.is_object()) {
        const auto version = dictionary.find("version");
        if (version != dictionary.end() && version->is_string()) package->version = *version;
        package->provincesAndMunicipalitiesForDictionary(dictionary);
    }
    package->nationWideForDictionary(dictionary);
    package->observeMemoryWarnings();
    return package;
}

bool VMOfflinePackage::isProvincesForDictionary(const nlohmann::json& dictionary) {
    const auto cities = dictionary.find("cities");
    return cities != dictionary.end() && cities->is_array() && !cities->empty();
}

void VMOfflinePackage::provincesAndMunicipalitiesForDictionary(const nlohmann::json& dictionary) {
    const auto list = dictionary.find("provinces");
    if (list == dictionary.end() || !list->is_array()) return;
    for (const auto& entry : *list) {
        if (!entry.is_object()) continue;
        if (isProvincesForDictionary(entry)) {
            provinces.push_back(VMOfflineProvince::itemWithDictionary(entry));
        } else {
            municipalities.push_back(VMOfflineItemMunicipality::itemWithDictionary(entry));
        }
    }
}

void VMOfflinePackage::nationWideForDictionary(const nlohmann::json& dictionary) {
    nlohmann::json first = nullptr;
    if (dictionary.is_object()) {
        const auto others = dictionary.find("others");
        if (others != dictionary.end() && others->is_array() && !others->empty() &&
            others->front().is_object()) {
            first = others->front();
        }
    }
    nationWide = VMOfflineItemNationWide::itemWithDictionary(first);
}

std::shared_ptr<VMOfflinePackage> VMOfflinePackage::createWithCoder(NSKeyedUnarchiver& coder) {
    auto package = std::shared_ptr<VMOfflinePackage>(new VMOfflinePackage());
    const auto version = coder.decodeObject("version");
    if (version.is_string()) package->version = version;
    package->provinces = coder.decodeArrayOfObjectsOfClass<VMOfflineProvince>("provinces");
    package->municipalities =
        coder.decodeArrayOfObjectsOfClass<VMOfflineItemMunicipality>("municipalities");
    package->nationWide = coder.decodeObjectOfClass<VMOfflineItemNationWide>("other");
    if (!package->nationWide) package->nationWide = VMOfflineItemNationWide::itemWithDictionary({});
    package->observeMemoryWarnings();
    return package;
}

std::shared_ptr<VMOfflinePackage> VMOfflinePackage::packageWithContentsOfFile(
    const std::string& path, NSError* error) {
    if (path.empty()) return nullptr;
    registerClasses();
    const auto data = NSFileManager::defaultManager()->contentsAtPath(path, error);
    if (!data) return nullptr;
    return NSKeyedUnarchiver::unarchiveObjectOfClass<VMOfflinePackage>(*data, error);
}

bool VMOfflinePackage::writeToFile(const std::string& path, NSError* error) const {
    if (path.empty()) return false;
    NSKeyedArchiver archiver;
    archiver.encodeObject(sharedSelf<VMOfflinePackage>(), "root");
    const auto data = archiver.finish(error);
    return data && NSFileManager::defaultManager()->createFileAtPath(path, *data, error);
}

VMOfflinePackage::ItemMap VMOfflinePackage::constructDictionaryItems() const {
    std::vector<std::shared_ptr<VMOfflineItem>> ordered;
    for (const auto& province : provinces) {
        ordered.push_back(province);
        ordered.insert(ordered.end(), province->cities.begin(), province->cities.end());
    }
    ordered.insert(ordered.end(), municipalities.begin(), municipalities.end());
    if (nationWide) ordered.push_back(nationWide);
    return dictionaryForItemArray(ordered, &VMOfflineItem::adcode);
}

VMOfflinePackage::ItemMap VMOfflinePackage::dictionaryForItemArray(
    const std::vector<std::shared_ptr<VMOfflineItem>>& items, std::string VMOfflineItem::*key) {
    ItemMap map;
    for (const auto& item : items) {
        if (item) map.insert_or_assign(item.get()->*key, item);
    }
    return map;
}

VMOfflinePackage::ItemMap VMOfflinePackage::items() {
    std::lock_guard lock(mutex_);
    if (!dictionaryItems_) dictionaryItems_ = constructDictionaryItems();
    return *dictionaryItems_;
}

void VMOfflinePackage::invalidateItems() {
    std::lock_guard lock(mutex_);
    dictionaryItems_.reset();
}

std::map<std::string, std::shared_ptr<VMOfflineCity>> VMOfflinePackage::cityCodeItems() const {
    std::map<std::string, std::shared_ptr<VMOfflineCity>> map;
    for (const auto& municipality : municipalities) map[municipality->cityCode] = municipality;
    for (const auto& province : provinces) {
        for (const auto& city : province->cities) map[city->cityCode] = city;
    }
    return map;
}

void VMOfflinePackage::scanItemsWithBlock(
    const std::function<void(const std::shared_ptr<VMOfflineItem>&)>& block) {
    if (!block) return;
    for (const auto& [adcode, item] : items()) block(item);
}

nlohmann::json VMOfflinePackage::descriptionDictionary() const {
    auto provinceList = nlohmann::json::array();
    for (const auto& province : provinces)
        provinceList.push_back(province->descriptionDictionary());
    auto municipalityList = nlohmann::json::array();
    for (const auto& municipality : municipalities)
        municipalityList.push_back(municipality->descriptionDictionary());
    return {{"version", version},
            {"provinces", provinceList},
            {"municipalities", municipalityList},
            {"other", nationWide ? nationWide->descriptionDictionary() : nlohmann::json()}};
}

std::vector<std::string> VMOfflinePackage::classNamesForCoder() const {
    return {"VMOfflinePackage"};
}

void VMOfflinePackage::encodeWithCoder(NSKeyedArchiver& coder) const {
    coder.encodeObject(version, "version");
    coder.encodeObject(provinces, "provinces");
    coder.encodeObject(municipalities, "municipalities");
    if (nationWide) coder.encodeObject(nationWide, "other");
}
