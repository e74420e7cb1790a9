#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Foundation/NSCoding.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSObject.h"

// One downloadable package of the offline catalogue. Its download state (status and bytes on
// disk) changes on download threads while screens read it, so those two are atomic; the other
// fields are set when the catalogue is built.
class VMOfflineItem : public NSObject, public NSCoding {
  public:
    // Null json stands for no dictionary: the strings read "unknown" and the numbers 0.
    static std::shared_ptr<VMOfflineItem> itemWithDictionary(const nlohmann::json& dictionary);
    static std::shared_ptr<VMOfflineItem> createWithCoder(NSKeyedUnarchiver& coder);

    std::string url, name, jianpin, pinyin, adcode, version;
    std::int64_t size = 0;
    std::int32_t itemStatus() const { return itemStatus_.load(); }
    void setItemStatus(std::int32_t status) { itemStatus_.store(status); }
    std::int64_t downloadedSize() const { return downloadedSize_.load(); }
    void setDownloadedSize(std::int64_t bytes) { downloadedSize_.store(bytes); }

    virtual nlohmann::json descriptionDictionary() const;
    std::string description() const { return descriptionDictionary().dump(); }
    // Orders the versions as plain strings.
    int compare(const VMOfflineItem& other) const;
    virtual void copyTo(VMOfflineItem& other) const;

    std::vector<std::string> classNamesForCoder() const override;
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  protected:
    VMOfflineItem() = default;
    // Fills the fields from a dictionary, then the fields a subclass adds.
    void initWithDictionary(const nlohmann::json& dictionary);
    virtual void executeInitializationWithDictionary(const nlohmann::json& /*dictionary*/) {}
    // The keys of the archive as a dictionary, for initWithDictionary.
    virtual nlohmann::json dictionaryWithCoder(NSKeyedUnarchiver& coder);

    template <class T>
    static std::shared_ptr<T> make(const nlohmann::json& dictionary) {
        auto item = std::shared_ptr<T>(new T());
        item->initWithDictionary(dictionary);
        return item;
    }
    template <class T>
    static std::shared_ptr<T> makeWithCoder(NSKeyedUnarchiver& coder) {
        auto item = std::shared_ptr<T>(new T());
        item->initWithDictionary(item->dictionaryWithCoder(coder));
        return item;
    }

  private:
    void performInitializationWithDictionary(const nlohmann::json& dictionary);

    std::atomic<std::int32_t> itemStatus_{0};
    std::atomic<std::int64_t> downloadedSize_{0};
};

class VMOfflineCity : public VMOfflineItem {
  public:
    static std::shared_ptr<VMOfflineCity> createWithCoder(NSKeyedUnarchiver& coder);

    std::string cityCode;
    const std::string& cityName() const { return name; }
    const std::string& urlString() const { return url; }
    std::int32_t status() const { return itemStatus(); }

    nlohmann::json descriptionDictionary() const override;
    void copyTo(VMOfflineItem& other) const override;
    std::vector<std::string> classNamesForCoder() const override;
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  protected:
    VMOfflineCity() = default;
    void executeInitializationWithDictionary(const nlohmann::json& dictionary) override;
    nlohmann::json dictionaryWithCoder(NSKeyedUnarchiver& coder) override;
    friend class VMOfflineItem;
};

class VMOfflineItemMunicipality : public VMOfflineCity {
  public:
    static std::shared_ptr<VMOfflineItemMunicipality> itemWithDictionary(
        const nlohmann::json& dictionary) {
        return make<VMOfflineItemMunicipality>(dictionary);
    }
    static std::shared_ptr<VMOfflineItemMunicipality> createWithCoder(NSKeyedUnarchiver& coder) {
        return makeWithCoder<VMOfflineItemMunicipality>(coder);
    }
    std::vector<std::string> classNamesForCoder() const override;

  private:
    VMOfflineItemMunicipality() = default;
    friend class VMOfflineItem;
};

class VMOfflineItemCommonCity : public VMOfflineCity {
  public:
    static std::shared_ptr<VMOfflineItemCommonCity> itemWithDictionary(
        const nlohmann::json& dictionary) {
        return make<VMOfflineItemCommonCity>(dictionary);
    }
    static std::shared_ptr<VMOfflineItemCommonCity> createWithCoder(NSKeyedUnarchiver& coder) {
        return makeWithCoder<VMOfflineItemCommonCity>(coder);
    }
    std::vector<std::string> classNamesForCoder() const override;

  private:
    VMOfflineItemCommonCity() = default;
    friend class VMOfflineItem;
};

class VMOfflineItemNationWide : public VMOfflineCity {
  public:
    static std::shared_ptr<VMOfflineItemNationWide> itemWithDictionary(
        const nlohmann::json& dictionary) {
        return make<VMOfflineItemNationWide>(dictionary);
    }
    static std::shared_ptr<VMOfflineItemNationWide> createWithCoder(NSKeyedUnarchiver& coder) {
        return makeWithCoder<VMOfflineItemNationWide>(coder);
    }
    std::vector<std::string> classNamesForCoder() const override;

  private:
    VMOfflineItemNationWide() = default;
    friend class VMOfflineItem;
};

class VMOfflineProvince : public VMOfflineItem {
  public:
    static std::shared_ptr<VMOfflineProvince> itemWithDictionary(const nlohmann::json& dictionary) {
        return make<VMOfflineProvince>(dictionary);
    }
    static std::shared_ptr<VMOfflineProvince> createWithCoder(NSKeyedUnarchiver& coder);

    std::vector<std::shared_ptr<VMOfflineItemCommonCity>> cities;

    nlohmann::json descriptionDictionary() const override;
    std::vector<std::string> classNamesForCoder() const override;
    void encodeWithCoder(NSKeyedArchiver& coder) const override;

  protected:
    void executeInitializationWithDictionary(const nlohmann::json& dictionary) override;

  private:
    VMOfflineProvince() = default;
    void citiesForDictionary(const nlohmann::json& dictionary);
    friend class VMOfflineItem;
};
