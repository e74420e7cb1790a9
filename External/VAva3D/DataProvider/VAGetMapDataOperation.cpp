#include "VAGetMapDataOperation.h"

#include "ACEReachability.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIDevice.h"
#include "VAGetMapDataOperationQueue.h"
#include "VAGetMapDataStatusList.h"
#include "VAvaCoreDataProvider.h"
#include "VMMapServices.h"
#include "VMUserAgent.h"

std::shared_ptr<VAGetMapDataOperation> VAGetMapDataOperation::create(
    std::vector<VAGLMapSourceGridData> gridsList, MapDataType sourceType, MapEngine* mapEngine) {
    return std::shared_ptr<VAGetMapDataOperation>(
        new VAGetMapDataOperation(std::move(gridsList), sourceType, mapEngine));
}

VAGetMapDataOperation::VAGetMapDataOperation(std::vector<VAGLMapSourceGridData> gridsList,
                                             MapDataType sourceType, MapEngine* mapEngine)
    : gridsList_(std::move(gridsList)),
      sourceType_(sourceType),
      mapEngine_(mapEngine),
      server_(VMMapServices::sharedServices()->internalServerAddress()),
      stream_([this](MapDataBody body) { handOn(body); }) {
    for (const auto& grid : gridsList_) {
        VAGetMapDataStatusList::list()->addGridStatusWithGridName(grid.gridName, sourceType_);
    }
    switch (sourceType_) {
        case 0:
            setQueuePriority(NSOperationQueuePriorityVeryHigh);
            break;
        case 2:
        case 3:
            setQueuePriority(NSOperationQueuePriorityHigh);
            break;
        default:
            setQueuePriority(NSOperationQueuePriorityNormal);
            break;
    }
}

std::optional<std::string> VAGetMapDataOperation::genMpsServerRequestString() const {
    return mapDataRequestURL(server_, gridsList_, sourceType_);
}

std::string VAGetMapDataOperation::joinGridString(const std::string& separator) const {
    return VAvaCoreDataProvider::joinGridStringWithGridList(gridsList_, sourceType_, separator);
}

bool VAGetMapDataOperation::isCompleted() const {
    std::lock_guard lock(cancelledLock_);
    return completed_;
}

void VAGetMapDataOperation::runRequests() { NSRunLoop::currentRunLoop()->run(); }

bool VAGetMapDataOperation::isMultitaskingSupported() {
    return UIDevice::currentDevice()->isMultitaskingSupported();
}

void VAGetMapDataOperation::main() {
    NSLog("operation main");
    const auto urlString = genMpsServerRequestString();
    auto url = urlString ? NSURL::URLWithString(*urlString) : nullptr;
    if (!url || ACEReachability::getCurrentNetWorkStatus() == ACENotReachable) {
        clearGridStatus();
        post("NewDataOperation_Error");
        return;
    }
    auto request = VMDataDownloader::requestWithURL(std::move(url), timeout_);
    const auto self = std::static_pointer_cast<VAGetMapDataOperation>(shared_from_this());
    std::shared_ptr<NSURLConnection> connection;
    const auto runLoop = NSRunLoop::currentRunLoop();
    {
        std::lock_guard lock(cancelledLock_);
        if (cancelled_ || completed_) return;
        urlConnection_ = brandedConnectionWithRequest(
            request, std::weak_ptr<NSURLConnectionDelegate>(self), false);
        runLoop_ = runLoop;
        connection = urlConnection_;
    }
    if (!connection) {
        complete();
        clearGridStatus();
        post("NewDataOperation_Error");
        return;
    }
    connection->start();
    runLoop->run();
}

void VAGetMapDataOperation::cancel() {
    NSOperation::cancel();
    cancelNetwork();
}

void VAGetMapDataOperation::cancelNetwork() {
    {
        std::lock_guard lock(cancelledLock_);
        cancelled_ = true;
    }
    if (!complete()) return;
    clearGridStatus();
    post("NewDataOperation_Cancel");
}

bool VAGetMapDataOperation::complete() {
    std::shared_ptr<NSURLConnection> connection;
    std::shared_ptr<NSRunLoop> runLoop;
    {
        std::lock_guard lock(cancelledLock_);
        if (completed_) return false;
        completed_ = true;
        connection.swap(urlConnection_);
        runLoop.swap(runLoop_);
    }
    if (connection) connection->cancel();
    if (runLoop) runLoop->stop();
    return true;
}

void VAGetMapDataOperation::clearGridStatus() {
    for (const auto& grid : gridsList_) {
        VAGetMapDataStatusList::list()->removeGridStatusWithGridName(grid.gridName, sourceType_);
    }
}

void VAGetMapDataOperation::post(const char* name) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, shared_from_this());
}

void VAGetMapDataOperation::handOn(MapDataBody body) {
    const std::string name(*mapDataBodyName(body));
    if (name.empty()) return;
    VAGetMapDataStatusList::list()->removeGridStatusWithGridName(name, sourceType_);
    if (mapEngine_ == nullptr || mapEngine_ != mapEngineGetCurrent()) return;
    TrafficPayloadBytes payload;
    if (sourceType_ == VAvaCoreDataProvider::kTrafficDataType) {
        const auto record = VAGLMapVTMCDataCache::cache()->addDataRetain(body, name);
        if (!record) return;
        payload = record->vtmcData();
        body = *payload;
    }
    // The engine compares the handle with its current one again, under its own lock.
    mapEnginePutGridData(mapEngine_, sourceType_, body.data(), static_cast<int32_t>(body.size()));
}

void VAGetMapDataOperation::connectionDidReceiveResponse(
    NSURLConnection&, const std::shared_ptr<NSHTTPURLResponse>& response) {
    const long status = response ? response->statusCode() : 0;
    if (status == 200 || status == 206) return;
    if (!complete()) return;
    clearGridStatus();
    post("NewDataOperation_Error");
}

void VAGetMapDataOperation::connectionDidReceiveData(NSURLConnection&,
                                                     std::span<const std::uint8_t> data) {
    bool refused = false;
    {
        std::lock_guard lock(cancelledLock_);
        if (completed_) return;
        stream_.append(data);
        receivedHeader_ = stream_.statusKnown();
        refused = stream_.refused();
    }
    if (!refused || !complete()) return;
    clearGridStatus();
    post("NewDataOperation_Error");
}

void VAGetMapDataOperation::connectionDidFinishLoading(NSURLConnection&) {
    if (!complete()) return;
    // Grids the answer did not hold may be asked for again.
    clearGridStatus();
    post("NewDataOperation_Finish");
}

void VAGetMapDataOperation::connectionDidFailWithError(NSURLConnection&, const NSError& error) {
    if (!complete()) return;
    if (error.domain == NSURLErrorDomain && error.code == NSURLErrorTimedOut &&
        timeout_ < kRetryTimeout) {
        std::vector<VAGLMapSourceGridData> remaining;
        for (const auto& grid : gridsList_) {
            if (VAGetMapDataStatusList::list()->isGridProcessingWithGridName(grid.gridName,
                                                                             sourceType_)) {
                remaining.push_back(grid);
            }
        }
        if (!remaining.empty()) {
            auto retry = create(std::move(remaining), sourceType_, mapEngine_);
            retry->setQueuePriority(queuePriority());
            retry->setServer(server_);
            retry->setTimeout(kDefaultTimeout + kDefaultTimeout);
            VAGetMapDataOperationQueue::sharedQueue()->addOperation(retry);
            return;
        }
    }
    clearGridStatus();
    post("NewDataOperation_Error");
}
