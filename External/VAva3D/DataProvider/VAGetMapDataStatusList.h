#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Foundation/NSObject.h"
#include "vmap_core/MapEngine.h"

// A grid of the legacy map data path and its status; keyed "type-name".
struct VAGetMapDataStatus {
    std::string gridNameWithType;
    int status = 0;
};

// The grids the legacy operations are loading. Safe from any thread.
class VAGetMapDataStatusList : public NSObject {
  public:
    static std::shared_ptr<VAGetMapDataStatusList> list();

    void addGridStatusWithGridName(const std::string& name, MapDataType sourceType);
    void addGridStatus(const VAGetMapDataStatus& status);
    void removeGridStatusWithGridName(const std::string& name, MapDataType sourceType);
    void removeGridStatus(const VAGetMapDataStatus& status);
    bool isGridProcessingWithGridName(const std::string& name, MapDataType sourceType);
    bool isGridProcessing(const VAGetMapDataStatus& status);
    void cleanAll();

    static std::string keyFor(const std::string& name, MapDataType sourceType);

  private:
    VAGetMapDataStatusList() = default;

    std::recursive_mutex lock_;
    std::unordered_map<std::string, VAGetMapDataStatus> statusList_;
};
