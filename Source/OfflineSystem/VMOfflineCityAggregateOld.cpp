#include "VMOfflineCityAggregateOld.h"

#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"

std::shared_ptr<VMOfflineCityOld> VMOfflineCityOld::create(std::string cityCode,
                                                           std::string cityName,
                                                           std::string urlString, std::int64_t size,
                                                           std::int64_t status,
                                                           std::int64_t downloadedSize) {
    auto city = std::shared_ptr<VMOfflineCityOld>(new VMOfflineCityOld());
    city->cityCode = std::move(cityCode);
    city->cityName = std::move(cityName);
    city->urlString = std::move(urlString);
    city->size = size;
    city->status = status;
    city->downloadedSize = downloadedSize;
    return city;
}

std::shared_ptr<VMOfflineCityOld> VMOfflineCityOld::createWithCoder(NSKeyedUnarchiver& coder) {
    const auto text = [&coder](const char* key) {
        const auto value = coder.decodeObject(key);
        return value.is_string() ? value.get<std::string>() : std::string();
    };
    return create(text("cityCode"), text("cityName"), text("urlString"), coder.decodeInt64("size"),
                  coder.decodeInteger("status"), coder.decodeInt64("downloadedSize"));
}

void VMOfflineCityOld::encodeWithCoder(NSKeyedArchiver& coder) const {
    coder.encodeObject(cityCode, "cityCode");
    coder.encodeObject(cityName, "cityName");
    coder.encodeObject(urlString, "urlString");
    coder.encodeInt64(size, "size");
    coder.encodeInteger(status, "status");
    coder.encodeInt64(downloadedSize, "downloadedSize");
}

std::shared_ptr<VMOfflineCityAggregateOld> VMOfflineCityAggregateOld::cityAggregateWithVersion(
    std::string version, std::vector<std::shared_ptr<VMOfflineCityOld>> citys) {
    auto aggregate = std::shared_ptr<VMOfflineCityAggregateOld>(new VMOfflineCityAggregateOld());
    aggregate->version = std::move(version);
    aggregate->citys = std::move(citys);
    return aggregate;
}

std::shared_ptr<VMOfflineCityAggregateOld> VMOfflineCityAggregateOld::createWithCoder(
    NSKeyedUnarchiver& coder) {
    const auto version = coder.decodeObject("version");
    return cityAggregateWithVersion(version.is_string() ? version.get<std::string>() : "",
                                    coder.decodeArrayOfObjectsOfClass<VMOfflineCityOld>("citys"));
}

std::shared_ptr<VMOfflineCityAggregateOld>
VMOfflineCityAggregateOld::cityAggregateWithContentsOfFile(const std::string& path,
                                                           NSError* error) {
    if (path.empty()) return nullptr;
    const auto data = NSFileManager::defaultManager()->contentsAtPath(path, error);
    if (!data) return nullptr;
    auto coder = NSKeyedUnarchiver::unarchiverWithData(*data, error);
    if (!coder) return nullptr;
    // Both names are the old classes here, whatever the current ones are called.
    coder->setClass(NSKeyedUnarchiver::factoryFor<VMOfflineCityAggregateOld>(),
                    "VMOfflineCityAggregate");
    coder->setClass(NSKeyedUnarchiver::factoryFor<VMOfflineCityOld>(), "VMOfflineCity");
    auto aggregate = coder->decodeObjectOfClass<VMOfflineCityAggregateOld>("root");
    if (coder->error()) {
        if (error) *error = *coder->error();
        return nullptr;
    }
    return aggregate;
}

bool VMOfflineCityAggregateOld::writeToFile(const std::string& path) const {
    if (path.empty()) return false;
    NSKeyedArchiver archiver;
    archiver.encodeObject(sharedSelf<VMOfflineCityAggregateOld>(), "root");
    const auto data = archiver.finish();
    return data && NSFileManager::defaultManager()->createFileAtPath(path, *data);
}

void VMOfflineCityAggregateOld::encodeWithCoder(NSKeyedArchiver& coder) const {
    coder.encodeObject(version, "version");
    coder.encodeObject(citys, "citys");
}
