#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

using TrafficPayloadBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One traffic payload as received: 4 bytes of the engine's own, a name length n, the name, an
// entity tag length e, the tag, a 32-bit little-endian time stamp, then the traffic data.
class VAGLMapVTMCData : public NSObject {
  public:
    // Null when the payload is too short for its name, tag and time stamp.
    static std::shared_ptr<VAGLMapVTMCData> dataWithGridName(std::string gridName,
                                                             std::span<const std::uint8_t> data);

    // The stored bytes. They never change once handed out: a new stamp goes into a fresh copy.
    TrafficPayloadBytes vtmcData() const;
    // A payload too short for its name, tag and time stamp is refused and nothing changes; a
    // taken one brings its own tag and stamp.
    bool setVtmcData(std::span<const std::uint8_t> data);
    std::string gridName() const;
    void setGridName(std::string gridName);
    double createTime() const;
    std::string eTag() const;
    void setETag(std::string eTag);
    std::int64_t timeStamp() const;

    // Restarts the record's freshness and writes t into the time-stamp field.
    void updateTimeStamp(std::int64_t t);

  private:
    VAGLMapVTMCData() = default;

    mutable std::mutex mutex_;  // guards everything below
    std::string gridName_;
    std::string eTag_;
    std::size_t timeStampOffset_ = 0;
    TrafficPayloadBytes vtmcData_;
    double createTime_ = 0;
    std::int64_t timeStamp_ = 0;
};

// A grid the provider asks for: its name, data type and, for traffic, the entity tag of the
// payload already held.
struct VAGLMapSourceGridData {
    static VAGLMapSourceGridData dataWithGridName(std::string gridName, std::int64_t dataSource) {
        return {std::move(gridName), dataSource, std::nullopt};
    }
    std::string gridName;
    std::int64_t dataSource = 0;
    std::optional<std::string> eTag;
};

// The last traffic payload of each grid, for 300 s, never older than the newest stamp seen; at
// most 501 grids. Safe from any thread.
class VAGLMapVTMCDataCache : public NSObject {
  public:
    static constexpr std::size_t kMaxRecords = 501;
    static constexpr double kFreshSeconds = 300.0;

    static std::shared_ptr<VAGLMapVTMCDataCache> create();
    // The process-wide instance.
    static std::shared_ptr<VAGLMapVTMCDataCache> cache();

    // The record that now stands for the grid: the held one, re-stamped, when the entity tags
    // match, else a new one. Null for a payload too short to parse (nothing is stored).
    std::shared_ptr<VAGLMapVTMCData> addDataRetain(std::span<const std::uint8_t> data,
                                                   const std::string& name);
    std::shared_ptr<VAGLMapVTMCData> dataRetainWithName(const std::string& name,
                                                        bool checkExistOnly);
    void reset();
    std::size_t count();

  private:
    VAGLMapVTMCDataCache() = default;

    std::recursive_mutex lock_;
    std::map<std::string, std::shared_ptr<VAGLMapVTMCData>> vtmcDatas_;
    std::deque<std::string> vtmcList_;  // oldest first
    std::int64_t newestTimeStamp_ = 0;
};
