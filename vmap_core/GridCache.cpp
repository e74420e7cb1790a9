#include "GridCache.h"

#include <set>

void GridCache::insert(std::shared_ptr<const GridTile> tile) {
    const Key key{tile->dataType, tile->key};
    std::lock_guard lock(mutex_);
    if (auto found = entries_.find(key); found != entries_.end()) remove(found);
    bytes_ += tile->data.size();
    ++countByType_[key.first];
    order_.push_front(key);
    entries_.emplace(key, Entry{std::move(tile), order_.begin()});
    evict();
}

std::shared_ptr<const GridTile> GridCache::find(MapDataType dataType, const GridKey& key) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(Key{dataType, key});
    if (found == entries_.end()) return nullptr;
    order_.splice(order_.begin(), order_, found->second.position);
    return found->second.tile;
}

bool GridCache::contains(MapDataType dataType, const GridKey& key) const {
    std::lock_guard lock(mutex_);
    return entries_.count(Key{dataType, key}) != 0;
}

std::vector<bool> GridCache::contains(MapDataType dataType,
                                      const std::vector<GridKey>& keys) const {
    std::vector<bool> held(keys.size(), false);
    std::lock_guard lock(mutex_);
    if (countByType_.count(dataType) == 0) return held;
    for (size_t i = 0; i < keys.size(); ++i) held[i] = entries_.count(Key{dataType, keys[i]}) != 0;
    return held;
}

std::vector<std::shared_ptr<const GridTile>> GridCache::covering(MapDataType dataType,
                                                                 const std::vector<GridKey>& keys,
                                                                 int fallbackLevels) {
    std::vector<std::shared_ptr<const GridTile>> tiles;
    std::lock_guard lock(mutex_);
    if (countByType_.count(dataType) == 0) return tiles;
    std::set<GridKey> chosen;
    for (const GridKey& wanted : keys) {
        GridKey key = wanted;
        for (int up = 0; up <= fallbackLevels && key.level > 0; ++up) {
            if (chosen.count(key) != 0) break;
            if (const auto found = entries_.find(Key{dataType, key}); found != entries_.end()) {
                order_.splice(order_.begin(), order_, found->second.position);
                chosen.insert(key);
                tiles.push_back(found->second.tile);
                break;
            }
            key = GridKey{key.level - 1, key.x >> 1, key.y >> 1};
        }
    }
    return tiles;
}

size_t GridCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

size_t GridCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void GridCache::evict() {
    // The newest entry stays even when it alone exceeds the byte bound.
    while (entries_.size() > 1 && (entries_.size() > maxTiles_ || bytes_ > maxBytes_)) {
        remove(entries_.find(order_.back()));
    }
}

void GridCache::remove(std::map<Key, Entry>::iterator found) {
    bytes_ -= found->second.tile->data.size();
    if (--countByType_[found->first.first] == 0) countByType_.erase(found->first.first);
    order_.erase(found->second.position);
    entries_.erase(found);
}
