#include "VMOfflineItem.h"

#include <algorithm>
#include <limits>

#include "Foundation/JSONValue.h"
#include "Foundation/NSKeyedArchiver.h"

namespace {

const char* const kStringKeys[] = {"url", "name", "jianpin", "pinyin", "adcode", "version"};

std::string stringAt(const nlohmann::json& dictionary, const char* key) {
    const auto it = dictionary.find(key);
    return it != dictionary.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Catalogues come from servers: any number clamps to the field's range.
template <class T>
T numberAt(const nlohmann::json& dictionary, const char* key) {
    const auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_number()) return 0;
    return static_cast<T>(std::clamp<std::int64_t>(integerValue(*it), std::numeric_limits<T>::min(),
                                                   std::numeric_limits<T>::max()));
}

}  // namespace

std::shared_ptr<VMOfflineItem> VMOfflineItem::itemWithDictionary(const nlohmann::json& dictionary) {
    return make<VMOfflineItem>(dictionary);
}

std::shared_ptr<VMOfflineItem> VMOfflineItem::createWithCoder(NSKeyedUnarchiver& coder) {
    return makeWithCoder<VMOfflineItem>(coder);
}

void VMOfflineItem::initWithDictionary(const nlohmann::json& dictionary) {
    if (dictionary.is_null()) {
        url = name = jianpin = pinyin = adcode = version = "unknown";
        return;
    }
    if (!dictionary.is_object()) return;
    performInitializationWithDictionary(dictionary);
    executeInitializationWithDictionary(dictionary);
}

void VMOfflineItem::performInitializationWithDictionary(const nlohmann::json& dictionary) {
    url = stringAt(dictionary, "url");
    name = stringAt(dictionary, "name");
    jianpin = stringAt(dictionary, "jianpin");
    pinyin = stringAt(dictionary, "pinyin");
    adcode = stringAt(dictionary, "adcode");
    version = stringAt(dictionary, "version");
    size = numberAt<std::int64_t>(dictionary, "size");
    setItemStatus(numberAt<std::int32_t>(dictionary, "itemStatus"));
    setDownloadedSize(numberAt<std::int64_t>(dictionary, "downloadedSize"));
}

nlohmann::json VMOfflineItem::dictionaryWithCoder(NSKeyedUnarchiver& coder) {
    nlohmann::json dictionary = nlohmann::json::object();
    for (const char* key : kStringKeys) dictionary[key] = coder.decodeObject(key);
    dictionary["size"] = coder.decodeInt64("size");
    dictionary["itemStatus"] = coder.decodeInt32("itemStatus");
    dictionary["downloadedSize"] = coder.decodeInt64("downloadedSize");
    return dictionary;
}

nlohmann::json VMOfflineItem::descriptionDictionary() const {
    return {{"url", url},
            {"name", name},
            {"jianpin", jianpin},
            {"pinyin", pinyin},
            {"adcode", adcode},
            {"version", version},
            {"size", size},
            {"itemStatus", itemStatus()},
            {"downloadedSize", downloadedSize()}};
}

int VMOfflineItem::compare(const VMOfflineItem& other) const {
    const int order = version.compare(other.version);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void VMOfflineItem::copyTo(VMOfflineItem& other) const {
    other.url = url;
    other.name = name;
    other.jianpin = jianpin;
    other.pinyin = pinyin;
    other.adcode = adcode;
    other.version = version;
    other.size = size;
    other.setItemStatus(itemStatus());
    other.setDownloadedSize(downloadedSize());
}

std::vector<std::string> VMOfflineItem::classNamesForCoder() const { return {"VMOfflineItem"}; }

void VMOfflineItem::encodeWithCoder(NSKeyedArchiver& coder) const {
    coder.encodeObject(url, "url");
    coder.encodeObject(name, "name");
    coder.encodeObject(jianpin, "jianpin");
    coder.encodeObject(pinyin, "pinyin");
    coder.encodeObject(adcode, "adcode");
    coder.encodeObject(version, "version");
    coder.encodeInt64(size, "size");
    coder.encodeInt32(itemStatus(), "itemStatus");
    coder.encodeInt64(downloadedSize(), "downloadedSize");
}

std::shared_ptr<VMOfflineCity> VMOfflineCity::createWithCoder(NSKeyedUnarchiver& coder) {
    return makeWithCoder<VMOfflineCity>(coder);
}

void VMOfflineCity::executeInitializationWithDictionary(const nlohmann::json& dictionary) {
    cityCode = stringAt(dictionary, "citycode");
}

nlohmann::json VMOfflineCity::dictionaryWithCoder(NSKeyedUnarchiver& coder) {
    auto dictionary = VMOfflineItem::dictionaryWithCoder(coder);
    dictionary["citycode"] = coder.decodeObject("citycode");
    return dictionary;
}

nlohmann::json VMOfflineCity::descriptionDictionary() const {
    auto dictionary = VMOfflineItem::descriptionDictionary();
    dictionary["citycode"] = cityCode;
    return dictionary;
}

void VMOfflineCity::copyTo(VMOfflineItem& other) const {
    VMOfflineItem::copyTo(other);
    if (auto* city = dynamic_cast<VMOfflineCity*>(&other)) city->cityCode = cityCode;
}

std::vector<std::string> VMOfflineCity::classNamesForCoder() const {
    return {"VMOfflineCity", "VMOfflineItem"};
}

void VMOfflineCity::encodeWithCoder(NSKeyedArchiver& coder) const {
    VMOfflineItem::encodeWithCoder(coder);
    coder.encodeObject(cityCode, "citycode");
}

std::vector<std::string> VMOfflineItemMunicipality::classNamesForCoder() const {
    return {"VMOfflineItemMunicipality", "VMOfflineCity", "VMOfflineItem"};
}

std::vector<std::string> VMOfflineItemCommonCity::classNamesForCoder() const {
    return {"VMOfflineItemCommonCity", "VMOfflineCity", "VMOfflineItem"};
}

std::vector<std::string> VMOfflineItemNationWide::classNamesForCoder() const {
    return {"VMOfflineItemNationWide", "VMOfflineCity", "VMOfflineItem"};
}

std::shared_ptr<VMOfflineProvince> VMOfflineProvince::createWithCoder(NSKeyedUnarchiver& coder) {
    auto province = makeWithCoder<VMOfflineProvince>(coder);
    province->cities = coder.decodeArrayOfObjectsOfClass<VMOfflineItemCommonCity>("cities");
    return province;
}

void VMOfflineProvince::executeInitializationWithDictionary(const nlohmann::json& dictionary) {
    citiesForDictionary(dictionary);
}

void VMOfflineProvince::citiesForDictionary(const nlohmann::json& dictionary) {
    cities.clear();
    const auto it = dictionary.find("cities");
    if (it == dictionary.end() || !it->is_array()) return;
    for (const auto& city : *it) {
        if (city.is_object()) cities.push_back(VMOfflineItemCommonCity::itemWithDictionary(city));
    }
}

nlohmann::json VMOfflineProvince::descriptionDictionary() const {
    auto dictionary = VMOfflineItem::descriptionDictionary();
    auto list = nlohmann::json::array();
    for (const auto& city : cities) list.push_back(city->descriptionDictionary());
    dictionary["cities"] = std::move(list);
    return dictionary;
}

std::vector<std::string> VMOfflineProvince::classNamesForCoder() const {
    return {"VMOfflineProvince", "VMOfflineItem"};
}

void VMOfflineProvince::encodeWithCoder(NSKeyedArchiver& coder) const {
    VMOfflineItem::encodeWithCoder(coder);
    coder.encodeObject(cities, "cities");
}
