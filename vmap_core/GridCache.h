#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "GridFeatures.h"
#include "GridKey.h"
#include "MapEngine.h"

// One grid's data as the engine holds it.
struct GridTile {
    MapDataType dataType = 0;
    GridKey key;
    std::vector<std::uint8_t> data;  // the grid's data after the name (and traffic header)
    double storedAt = 0;             // clock seconds
    GridFeatures features;
};

// The engine's memory cache of grids, bounded by count and bytes; the least recently used go
// first. Safe from any thread.
class GridCache {
  public:
    GridCache(size_t maxTiles, size_t maxBytes) : maxTiles_(maxTiles), maxBytes_(maxBytes) {}

    void insert(std::shared_ptr<const GridTile> tile);
    // Marks the tile used.
    std::shared_ptr<const GridTile> find(MapDataType dataType, const GridKey& key);
    bool contains(MapDataType dataType, const GridKey& key) const;
    // One answer per key, under one lock.
    std::vector<bool> contains(MapDataType dataType, const std::vector<GridKey>& keys) const;
    // For each key the held tile, or failing that its nearest held ancestor up to fallbackLevels
    // levels up; each tile once. Marks them used.
    std::vector<std::shared_ptr<const GridTile>> covering(MapDataType dataType,
                                                          const std::vector<GridKey>& keys,
                                                          int fallbackLevels);
    size_t size() const;
    size_t bytes() const;

  private:
    using Key = std::pair<MapDataType, GridKey>;
    using Order = std::list<Key>;
    struct Entry {
        std::shared_ptr<const GridTile> tile;
        Order::iterator position;
    };

    void evict();
    void remove(std::map<Key, Entry>::iterator found);

    const size_t maxTiles_;
    const size_t maxBytes_;
    mutable std::mutex mutex_;
    Order order_;  // most recently used first
    std::map<Key, Entry> entries_;
    std::map<MapDataType, size_t> countByType_;
    size_t bytes_ = 0;
};
