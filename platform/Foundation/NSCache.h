#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "Foundation/NSObject.h"

template <class KeyType, class ObjectType>
class NSCache;

// Told of every object a cache lets go of (past its count limit, removed, replaced or cleared),
// while the object is still alive; not of those still held when the cache itself goes.
template <class KeyType, class ObjectType>
class NSCacheDelegate {
  public:
    virtual ~NSCacheDelegate() = default;
    virtual void cacheWillEvictObject(NSCache<KeyType, ObjectType>& cache,
                                      const std::shared_ptr<ObjectType>& object) = 0;
};

// Objects by key that lets go of the least recently used past its count limit (0: no limit).
// Safe from any thread; the delegate, kept weakly, is told outside the cache's lock, so it may
// use the cache.
template <class KeyType, class ObjectType>
class NSCache : public NSObject {
  public:
    using Delegate = NSCacheDelegate<KeyType, ObjectType>;
    using ObjectRef = std::shared_ptr<ObjectType>;

    static std::shared_ptr<NSCache> create() { return std::shared_ptr<NSCache>(new NSCache()); }

    // Null when absent; a hit counts as a use.
    ObjectRef objectForKey(const KeyType& key) {
        std::lock_guard lock(mutex_);
        const auto found = objects_.find(key);
        if (found == objects_.end()) return nullptr;
        uses_.splice(uses_.begin(), uses_, found->second.use);
        return found->second.object;
    }

    // A null object removes the key.
    void setObjectForKey(ObjectRef object, const KeyType& key) {
        if (!object) {
            removeObjectForKey(key);
            return;
        }
        std::vector<ObjectRef> evicted;
        {
            std::lock_guard lock(mutex_);
            const auto [at, inserted] = objects_.try_emplace(key);
            if (inserted) {
                uses_.push_front(key);
                at->second.use = uses_.begin();
            } else {
                uses_.splice(uses_.begin(), uses_, at->second.use);
                if (at->second.object != object) evicted.push_back(at->second.object);
            }
            at->second.object = std::move(object);
            trim(evicted);
        }
        tell(evicted);
    }

    void removeObjectForKey(const KeyType& key) {
        std::vector<ObjectRef> evicted;
        {
            std::lock_guard lock(mutex_);
            const auto found = objects_.find(key);
            if (found == objects_.end()) return;
            evicted.push_back(std::move(found->second.object));
            uses_.erase(found->second.use);
            objects_.erase(found);
        }
        tell(evicted);
    }

    void removeAllObjects() {
        std::vector<ObjectRef> evicted;
        {
            std::lock_guard lock(mutex_);
            // Least recently used first, as the limit would have let them go.
            for (auto use = uses_.rbegin(); use != uses_.rend(); ++use)
                evicted.push_back(std::move(objects_.at(*use).object));
            objects_.clear();
            uses_.clear();
        }
        tell(evicted);
    }

    std::size_t countLimit() const {
        std::lock_guard lock(mutex_);
        return countLimit_;
    }
    // A lower limit lets go of the least recently used at once.
    void setCountLimit(std::size_t limit) {
        std::vector<ObjectRef> evicted;
        {
            std::lock_guard lock(mutex_);
            countLimit_ = limit;
            trim(evicted);
        }
        tell(evicted);
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return objects_.size();
    }

    std::shared_ptr<Delegate> delegate() const {
        std::lock_guard lock(mutex_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<Delegate> delegate) {
        std::lock_guard lock(mutex_);
        delegate_ = std::move(delegate);
    }

  private:
    struct Slot {
        ObjectRef object;
        typename std::list<KeyType>::iterator use;
    };

    NSCache() = default;

    void trim(std::vector<ObjectRef>& evicted) {
        while (countLimit_ > 0 && objects_.size() > countLimit_) {
            const auto oldest = objects_.find(uses_.back());
            evicted.push_back(std::move(oldest->second.object));
            objects_.erase(oldest);
            uses_.pop_back();
        }
    }

    void tell(const std::vector<ObjectRef>& evicted) {
        if (evicted.empty()) return;
        const auto listener = delegate();
        if (!listener) return;
        for (const ObjectRef& object : evicted) listener->cacheWillEvictObject(*this, object);
    }

    mutable std::mutex mutex_;  // guards everything below
    std::unordered_map<KeyType, Slot> objects_;
    std::list<KeyType> uses_;  // most recent first
    std::size_t countLimit_ = 0;
    std::weak_ptr<Delegate> delegate_;
};
