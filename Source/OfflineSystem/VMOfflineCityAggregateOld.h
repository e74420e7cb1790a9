#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSCoding.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSObject.h"

// A city of the old record format. Its archive class name is "VMOfflineCity", the name a
// current class has too, so the old file is read with its own mapping.
class VMOfflineCityOld : public NSObject, public NSCoding {
  public:
    static std::shared_ptr<VMOfflineCityOld> create(std::string cityCode, std::string cityName,
                                                    std::string urlString, std::int64_t size,
                                                    std::int64_t status,
                                                    std::int64_t downloadedSize);
    static std::shared_ptr<VMOfflineCityOld> createWithCoder(NSKeyedUnarchiver& coder);

    std::string cityCode, cityName, urlString;
    std::int64_t size = 0;
    std::int64_t status = 0;
    std::int64_t downloadedSize = 0;

    std::vector<std::string> classNamesForCoder() const override { return {"VMOfflineCity"}; }
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  private:
    VMOfflineCityOld() = default;
};

// The old record file "cityAggregate.plist": a version and the cities' download states.
class VMOfflineCityAggregateOld : public NSObject, public NSCoding {
  public:
    static std::shared_ptr<VMOfflineCityAggregateOld> cityAggregateWithVersion(
        std::string version, std::vector<std::shared_ptr<VMOfflineCityOld>> citys);
    // Null for an empty path, a missing file or one that is not an old record.
    static std::shared_ptr<VMOfflineCityAggregateOld> cityAggregateWithContentsOfFile(
        const std::string& path, NSError* error = nullptr);
    static std::shared_ptr<VMOfflineCityAggregateOld> createWithCoder(NSKeyedUnarchiver& coder);

    bool writeToFile(const std::string& path) const;

    std::string version;
    std::vector<std::shared_ptr<VMOfflineCityOld>> citys;

    std::vector<std::string> classNamesForCoder() const override {
        return {"VMOfflineCityAggregate"};
    }
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  private:
    VMOfflineCityAggregateOld() = default;
};
