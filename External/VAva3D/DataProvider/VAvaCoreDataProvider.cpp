#include "VAvaCoreDataProvider.h"

#include <cstring>

#include "ACEReachability.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "MapDataAnswer.h"

namespace {

std::optional<std::string> urlPrefix(MapDataType sourceType) {
    switch (sourceType) {
        case 0:
            return "ws/mps/vmap?mapdataver=5&type=20";
        case 1:
            return "ws/mps/vmap?mapdataver=5&type=11";
        case 3:
            return "ws/mps/smap?mapdataver=5";
        case 4:
            return std::string("ws/mps/rtt?mapdataver=5") + "&v=6.0.0&bver=2";
        case 7:
            return "ws/mps/vmap?mapdataver=5&type=1";
        case 8:
            return "ws/mps/vmap?mapdataver=5&type=13";
        case 9:
            return "ws/mps/vmap?mapdataver=5&type=40";
        default:
            return std::nullopt;
    }
}

// Entity tags are server text; anything outside the unreserved set would change the query.
std::string percentEncoded(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<VAvaCoreDataProvider> VAvaCoreDataProvider::sharedInstance() {
    static const std::shared_ptr<VAvaCoreDataProvider> shared = create();
    return shared;
}

std::shared_ptr<VAvaCoreDataProvider> VAvaCoreDataProvider::create() {
    return std::shared_ptr<VAvaCoreDataProvider>(new VAvaCoreDataProvider());
}

VAvaCoreDataProvider::~VAvaCoreDataProvider() { imageDownloader_->cancelAllDownload(); }

void VAvaCoreDataProvider::setMapEngine(MapEngine* engine) {
    std::lock_guard lock(engineMutex_);
    mapEngine_ = engine;
}

MapEngine* VAvaCoreDataProvider::mapEngine() const {
    std::lock_guard lock(engineMutex_);
    return mapEngine_;
}

std::string VAvaCoreDataProvider::baseServer() const {
    std::lock_guard lock(serverMutex_);
    return baseServer_;
}

void VAvaCoreDataProvider::setBaseServer(const std::string& server) {
    std::lock_guard lock(serverMutex_);
    baseServer_ = server;
}

void VAvaCoreDataProvider::requireMapDataWithDataSource(
    MapDataType dataSource, const char* tiles, int tileSize,
    const std::shared_ptr<VMCallbackBridge>& bridge) {
    if (mapEngine() == nullptr || tiles == nullptr) return;
    if (tileSize < 1 || tileSize > kMaxGridsPerRequest) return;
    if (ACEReachability::getCurrentNetWorkStatus() == ACENotReachable) return;
    std::vector<VAGLMapSourceGridData> items;
    for (int i = 0; i < tileSize; ++i) {
        const char* slot = tiles + static_cast<std::size_t>(i) * kGridNameSlotSize;
        const std::string name(slot, strnlen(slot, kGridNameSlotSize));
        if (name.empty()) continue;
        if (dataSource == kTrafficDataType) {
            if (const auto fresh = tmcCache_->dataRetainWithName(name, false)) {
                const auto payload = fresh->vtmcData();
                putGridData(kTrafficDataType, *payload);
                continue;
            }
            if (isGridProcessingWithName(name, dataSource)) continue;
            VAGLMapSourceGridData item{name, dataSource, std::nullopt};
            if (const auto held = tmcCache_->dataRetainWithName(name, true);
                held && !held->eTag().empty()) {
                item.eTag = held->eTag();
            }
            items.push_back(std::move(item));
        } else if (!isGridProcessingWithName(name, dataSource)) {
            items.push_back(VAGLMapSourceGridData{name, dataSource, std::nullopt});
        }
    }
    if (!items.empty()) requestMapDataWithTiles(items, dataSource, bridge);
}

void VAvaCoreDataProvider::requestMapDataWithTiles(
    const std::vector<VAGLMapSourceGridData>& tiles, MapDataType sourceType,
    const std::shared_ptr<VMCallbackBridge>& bridge) {
    const auto urlString = requestURLWithGridList(tiles, sourceType);
    if (!urlString) return;
    auto url = NSURL::URLWithString(*urlString);
    if (!url) return;
    for (const auto& tile : tiles) addProcessingGridWithName(tile.gridName, sourceType);
    auto request = VMDataDownloader::requestWithURL(std::move(url));
    std::vector<std::string> names;
    for (const auto& tile : tiles) names.push_back(tile.gridName);
    const std::weak_ptr<VAvaCoreDataProvider> weakSelf =
        std::static_pointer_cast<VAvaCoreDataProvider>(shared_from_this());
    auto operation = VMDataDownloadOperation::create(
        std::move(request), [weakSelf, bridge, names = std::move(names), sourceType](
                                const std::optional<NSData>& data, const NSErrorOpt& error) {
            const auto self = weakSelf.lock();
            if (self && data && !error) self->processRecivedData(*data, sourceType);
            // Released before the end is reported, so that a grid asked for again in answer to
            // the report is not taken for one still on its way and dropped.
            if (self) {
                for (const auto& name : names) self->removeProcessingGridWithName(name, sourceType);
            }
            if (error) {
                if (bridge) bridge->triggerFailLoadingWithError(*error);
            } else if (data) {
                if (bridge) bridge->triggerFinishLoadingWithDataSize(data->size());
            }
        });
    operation->setQueuePriority(priorityForOperationWithSourceType(sourceType));
    // Before queueing, so that no finish report can come ahead of it.
    if (bridge) bridge->triggerWillStartLoading();
    imageDownloader_->downloadWithOperation(operation);
}

std::optional<std::string> VAvaCoreDataProvider::requestURLWithGridList(
    const std::vector<VAGLMapSourceGridData>& gridList, MapDataType sourceType) const {
    return mapDataRequestURL(baseServer(), gridList, sourceType);
}

std::optional<std::string> mapDataRequestURL(const std::string& base,
                                             const std::vector<VAGLMapSourceGridData>& gridList,
                                             MapDataType sourceType) {
    const auto prefix = urlPrefix(sourceType);
    if (!prefix) return std::nullopt;
    std::string url = base + *prefix;
    if (url.find('?') == std::string::npos) url += '?';
    url += sourceType == VAvaCoreDataProvider::kTrafficDataType ? "&mesh=" : "&cp=1&mesh=";
    url += VAvaCoreDataProvider::joinGridStringWithGridList(gridList, sourceType, ";");
    return url;
}

std::string VAvaCoreDataProvider::joinGridStringWithGridList(
    const std::vector<VAGLMapSourceGridData>& gridList, MapDataType sourceType,
    const std::string& separater) {
    std::string list;
    for (const auto& item : gridList) {
        if (!list.empty()) list += separater;
        list += item.gridName;
        if (sourceType == kTrafficDataType && item.eTag) list += "-" + percentEncoded(*item.eTag);
    }
    return list;
}

NSOperationQueuePriority VAvaCoreDataProvider::priorityForOperationWithSourceType(
    MapDataType sourceType) {
    switch (sourceType) {
        case 0:
        case 2:
        case 3:
            return NSOperationQueuePriorityVeryHigh;
        default:
            return NSOperationQueuePriorityNormal;
    }
}

void VAvaCoreDataProvider::processRecivedData(std::span<const std::uint8_t> data,
                                              MapDataType sourceType) {
    splitMapDataAnswer(data, [&](MapDataBody body) {
        putMapData(sourceType, body, std::string(*mapDataBodyName(body)));
    });
}

void VAvaCoreDataProvider::putMapData(MapDataType sourceType,
                                      std::span<const std::uint8_t> gridData,
                                      const std::string& tileName) {
    if (tileName.empty() || mapEngine() == nullptr) return;
    if (sourceType != kTrafficDataType) {
        putGridData(sourceType, gridData);
        return;
    }
    if (const auto record = tmcCache_->addDataRetain(gridData, tileName)) {
        const auto payload = record->vtmcData();
        putGridData(kTrafficDataType, *payload);
    }
}

void VAvaCoreDataProvider::putGridData(MapDataType sourceType, std::span<const std::uint8_t> body) {
    if (body.size() > static_cast<std::size_t>(INT32_MAX)) return;
    std::lock_guard lock(engineMutex_);
    if (mapEngine_ == nullptr || mapEngine_ != mapEngineGetCurrent()) return;
    mapEnginePutGridData(mapEngine_, sourceType, body.data(), static_cast<int32_t>(body.size()));
}

std::string VAvaCoreDataProvider::processingKey(const std::string& name, MapDataType sourceType) {
    return std::to_string(sourceType) + "-" + name;
}

bool VAvaCoreDataProvider::isGridProcessingWithName(const std::string& name,
                                                    MapDataType sourceType) const {
    std::lock_guard lock(processingMutex_);
    return processingGrids_.count(processingKey(name, sourceType)) != 0;
}

void VAvaCoreDataProvider::addProcessingGridWithName(const std::string& name,
                                                     MapDataType sourceType) {
    std::lock_guard lock(processingMutex_);
    processingGrids_.insert(processingKey(name, sourceType));
}

void VAvaCoreDataProvider::removeProcessingGridWithName(const std::string& name,
                                                        MapDataType sourceType) {
    std::lock_guard lock(processingMutex_);
    processingGrids_.erase(processingKey(name, sourceType));
}

void VAvaCoreDataProvider::cleanProcessingGrids() {
    std::lock_guard lock(processingMutex_);
    processingGrids_.clear();
}
