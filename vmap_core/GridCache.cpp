#include "GridCache.h"

void GridCache::insert(std::shared_ptr<const GridTile> tile) {
    const Key key{tile->dataType, tile->key};
    std::lock_guard lock(mutex_);
    if (auto found = entries_.find(key); found != entries_.end()) {
        bytes_ -= found->second.tile->data.size();
        order_.erase(found->second.position);
        entries_.erase(found);
    }
    bytes_ += tile->data.size();
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
        const auto found = entries_.find(order_.back());
        bytes_ -= found->second.tile->data.size();
        entries_.erase(found);
        order_.pop_back();
    }
}
