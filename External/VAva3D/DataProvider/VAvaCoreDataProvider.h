#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSOperation.h"
#include "VAGLMapVTMCDataCache.h"
#include "VMCallbackBridge.h"
#include "VMDataDownloader.h"
#include "vmap_core/MapEngine.h"

// The map data URL for the grids on the server base (ending in "/"); nullopt for a type that is
// not asked for.
std::optional<std::string> mapDataRequestURL(const std::string& base,
                                             const std::vector<VAGLMapSourceGridData>& gridList,
                                             MapDataType sourceType);

// Turns the engine's requests for missing grids into map data downloads and hands each grid of
// the answers to the engine. Serves one engine at a time; grids in flight are not asked twice.
class VAvaCoreDataProvider : public NSObject {
  public:
    static constexpr int kMaxGridsPerRequest = 169;
    static constexpr MapDataType kTrafficDataType = 4;

    static std::shared_ptr<VAvaCoreDataProvider> sharedInstance();
    static std::shared_ptr<VAvaCoreDataProvider> create();
    ~VAvaCoreDataProvider() override;

    // Data reaches this engine only while it is the process's current one. Taking a new engine
    // waits for a put in progress, so after setMapEngine(nullptr) nothing reaches the old one.
    void setMapEngine(MapEngine* engine);
    MapEngine* mapEngine() const;
    std::string baseServer() const;
    void setBaseServer(const std::string& server);

    // Names are packed in 21-byte NUL-terminated slots.
    void requireMapDataWithDataSource(MapDataType dataSource, const char* tiles, int tileSize,
                                      const std::shared_ptr<VMCallbackBridge>& bridge);
    void requestMapDataWithTiles(const std::vector<VAGLMapSourceGridData>& tiles,
                                 MapDataType sourceType,
                                 const std::shared_ptr<VMCallbackBridge>& bridge);
    std::optional<std::string> requestURLWithGridList(
        const std::vector<VAGLMapSourceGridData>& gridList, MapDataType sourceType) const;
    static std::string joinGridStringWithGridList(
        const std::vector<VAGLMapSourceGridData>& gridList, MapDataType sourceType,
        const std::string& separater);
    static NSOperationQueuePriority priorityForOperationWithSourceType(MapDataType sourceType);

    void processRecivedData(std::span<const std::uint8_t> data, MapDataType sourceType);
    void putMapData(MapDataType sourceType, std::span<const std::uint8_t> gridData,
                    const std::string& tileName);

    bool isGridProcessingWithName(const std::string& name, MapDataType sourceType) const;
    void addProcessingGridWithName(const std::string& name, MapDataType sourceType);
    void removeProcessingGridWithName(const std::string& name, MapDataType sourceType);
    void cleanProcessingGrids();

    const std::shared_ptr<VMDataDownloader>& imageDownloader() const { return imageDownloader_; }
    const std::shared_ptr<VAGLMapVTMCDataCache>& tmcCache() const { return tmcCache_; }

  private:
    VAvaCoreDataProvider() = default;
    static std::string processingKey(const std::string& name, MapDataType sourceType);
    // The put itself, under the engine lock.
    void putGridData(MapDataType sourceType, std::span<const std::uint8_t> body);

    mutable std::mutex engineMutex_;  // guards mapEngine_ and spans every put
    MapEngine* mapEngine_ = nullptr;
    mutable std::mutex serverMutex_;
    std::string baseServer_;
    mutable std::mutex processingMutex_;
    std::set<std::string> processingGrids_;
    const std::shared_ptr<VAGLMapVTMCDataCache> tmcCache_ = VAGLMapVTMCDataCache::create();
    // Last, so that it goes first: its operations' blocks still reach the members above.
    const std::shared_ptr<VMDataDownloader> imageDownloader_ = VMDataDownloader::create();
};
