#include "VAGLMapVTMCDataCache.h"

#include <algorithm>

#include "Foundation/Clock.h"

namespace {

struct TrafficHeader {
    std::string eTag;
    std::size_t timeStampOffset = 0;
    std::int32_t timeStamp = 0;
};

std::optional<TrafficHeader> parseHeader(std::span<const std::uint8_t> data) {
    if (data.size() < 5) return std::nullopt;
    const std::size_t n = data[4];
    if (6 + n > data.size()) return std::nullopt;
    const std::size_t e = data[5 + n];
    const std::size_t stampAt = 6 + n + e;
    if (stampAt + 4 > data.size()) return std::nullopt;
    TrafficHeader header;
    header.eTag.assign(reinterpret_cast<const char*>(data.data()) + 6 + n, e);
    header.timeStampOffset = stampAt;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | data[stampAt + static_cast<std::size_t>(i)];
    header.timeStamp = static_cast<std::int32_t>(v);
    return header;
}

}  // namespace

std::shared_ptr<VAGLMapVTMCData> VAGLMapVTMCData::dataWithGridName(
    std::string gridName, std::span<const std::uint8_t> data) {
    const auto header = parseHeader(data);
    if (!header) return nullptr;
    std::shared_ptr<VAGLMapVTMCData> record(new VAGLMapVTMCData());
    record->vtmcData_ = std::make_shared<const std::vector<std::uint8_t>>(data.begin(), data.end());
    record->gridName_ = std::move(gridName);
    record->createTime_ = Clock::now();
    record->eTag_ = header->eTag;
    record->timeStamp_ = header->timeStamp;
    record->timeStampOffset_ = header->timeStampOffset;
    return record;
}

TrafficPayloadBytes VAGLMapVTMCData::vtmcData() const {
    std::lock_guard lock(mutex_);
    return vtmcData_;
}

bool VAGLMapVTMCData::setVtmcData(std::span<const std::uint8_t> data) {
    const auto header = parseHeader(data);
    if (!header) return false;
    std::lock_guard lock(mutex_);
    vtmcData_ = std::make_shared<const std::vector<std::uint8_t>>(data.begin(), data.end());
    eTag_ = header->eTag;
    timeStamp_ = header->timeStamp;
    timeStampOffset_ = header->timeStampOffset;
    return true;
}

std::string VAGLMapVTMCData::gridName() const {
    std::lock_guard lock(mutex_);
    return gridName_;
}

void VAGLMapVTMCData::setGridName(std::string gridName) {
    std::lock_guard lock(mutex_);
    gridName_ = std::move(gridName);
}

std::string VAGLMapVTMCData::eTag() const {
    std::lock_guard lock(mutex_);
    return eTag_;
}

void VAGLMapVTMCData::setETag(std::string eTag) {
    std::lock_guard lock(mutex_);
    eTag_ = std::move(eTag);
}

double VAGLMapVTMCData::createTime() const {
    std::lock_guard lock(mutex_);
    return createTime_;
}

std::int64_t VAGLMapVTMCData::timeStamp() const {
    std::lock_guard lock(mutex_);
    return timeStamp_;
}

void VAGLMapVTMCData::updateTimeStamp(std::int64_t t) {
    std::lock_guard lock(mutex_);
    createTime_ = Clock::now();
    timeStamp_ = t;
    // The engine may be reading the old bytes on another thread.
    auto fresh = std::make_shared<std::vector<std::uint8_t>>(*vtmcData_);
    const auto stamp = static_cast<std::uint32_t>(static_cast<std::int32_t>(t));
    for (std::size_t i = 0; i < 4; ++i) {
        (*fresh)[timeStampOffset_ + i] = static_cast<std::uint8_t>(stamp >> (8 * i));
    }
    vtmcData_ = std::move(fresh);
}

std::shared_ptr<VAGLMapVTMCDataCache> VAGLMapVTMCDataCache::create() {
    return std::shared_ptr<VAGLMapVTMCDataCache>(new VAGLMapVTMCDataCache());
}

std::shared_ptr<VAGLMapVTMCDataCache> VAGLMapVTMCDataCache::cache() {
    static const std::shared_ptr<VAGLMapVTMCDataCache> shared = create();
    return shared;
}

std::shared_ptr<VAGLMapVTMCData> VAGLMapVTMCDataCache::addDataRetain(
    std::span<const std::uint8_t> data, const std::string& name) {
    auto record = VAGLMapVTMCData::dataWithGridName(name, data);
    if (!record) return nullptr;
    std::lock_guard lock(lock_);
    newestTimeStamp_ = std::max(newestTimeStamp_, record->timeStamp());
    if (const auto held = vtmcDatas_.find(name); held != vtmcDatas_.end()) {
        if (held->second->eTag() == record->eTag()) {
            held->second->updateTimeStamp(record->timeStamp());
            return held->second;
        }
        vtmcDatas_.erase(held);
        vtmcList_.erase(std::find(vtmcList_.begin(), vtmcList_.end(), name));
    }
    if (vtmcDatas_.size() >= kMaxRecords) {
        vtmcDatas_.erase(vtmcList_.front());
        vtmcList_.pop_front();
    }
    vtmcDatas_.emplace(name, record);
    vtmcList_.push_back(name);
    return record;
}

std::shared_ptr<VAGLMapVTMCData> VAGLMapVTMCDataCache::dataRetainWithName(const std::string& name,
                                                                          bool checkExistOnly) {
    std::lock_guard lock(lock_);
    const auto held = vtmcDatas_.find(name);
    if (held == vtmcDatas_.end()) return nullptr;
    const auto& record = held->second;
    if (checkExistOnly) return record;
    if (record->createTime() != 0 && Clock::now() - record->createTime() > kFreshSeconds) {
        return nullptr;
    }
    if (newestTimeStamp_ > record->timeStamp()) return nullptr;
    return record;
}

void VAGLMapVTMCDataCache::reset() {
    std::lock_guard lock(lock_);
    vtmcDatas_.clear();
    vtmcList_.clear();
}

std::size_t VAGLMapVTMCDataCache::count() {
    std::lock_guard lock(lock_);
    return vtmcDatas_.size();
}
