#include "VAGetMapDataStatusList.h"

std::shared_ptr<VAGetMapDataStatusList> VAGetMapDataStatusList::list() {
    static const std::shared_ptr<VAGetMapDataStatusList> shared(new VAGetMapDataStatusList());
    return shared;
}

std::string VAGetMapDataStatusList::keyFor(const std::string& name, MapDataType sourceType) {
    return std::to_string(sourceType) + "-" + name;
}

void VAGetMapDataStatusList::addGridStatusWithGridName(const std::string& name,
                                                       MapDataType sourceType) {
    addGridStatus(VAGetMapDataStatus{keyFor(name, sourceType), 0});
}

void VAGetMapDataStatusList::addGridStatus(const VAGetMapDataStatus& status) {
    std::lock_guard lock(lock_);
    statusList_[status.gridNameWithType] = status;
}

void VAGetMapDataStatusList::removeGridStatusWithGridName(const std::string& name,
                                                          MapDataType sourceType) {
    removeGridStatus(VAGetMapDataStatus{keyFor(name, sourceType), 0});
}

void VAGetMapDataStatusList::removeGridStatus(const VAGetMapDataStatus& status) {
    std::lock_guard lock(lock_);
    statusList_.erase(status.gridNameWithType);
}

bool VAGetMapDataStatusList::isGridProcessingWithGridName(const std::string& name,
                                                          MapDataType sourceType) {
    return isGridProcessing(VAGetMapDataStatus{keyFor(name, sourceType), 0});
}

bool VAGetMapDataStatusList::isGridProcessing(const VAGetMapDataStatus& status) {
    std::lock_guard lock(lock_);
    return statusList_.count(status.gridNameWithType) != 0;
}

void VAGetMapDataStatusList::cleanAll() {
    std::lock_guard lock(lock_);
    statusList_.clear();
}
