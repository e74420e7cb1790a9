#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSCache.h"

namespace {

using IntCache = NSCache<std::string, int>;

// Records what the cache lets go of, and may reach back into it while told.
class EvictionLog : public NSCacheDelegate<std::string, int> {
  public:
    void cacheWillEvictObject(IntCache& cache, const std::shared_ptr<int>& object) override {
        evicted.push_back(*object);
        countWhenTold = cache.count();
    }
    std::vector<int> evicted;
    std::size_t countWhenTold = 0;
};

TEST(Cache, LetsGoOfTheLeastRecentlyUsedAndTellsItsDelegateOfEveryRemoval) {
    const auto cache = IntCache::create();
    const auto log = std::make_shared<EvictionLog>();
    cache->setDelegate(log);
    EXPECT_EQ(cache->delegate(), log);
    cache->setCountLimit(3);
    for (int i = 0; i < 3; ++i) cache->setObjectForKey(std::make_shared<int>(i), std::to_string(i));
    // A read is a use: "0" outlives "1".
    ASSERT_EQ(*cache->objectForKey("0"), 0);
    cache->setObjectForKey(std::make_shared<int>(3), "3");
    EXPECT_EQ(cache->objectForKey("1"), nullptr);
    EXPECT_EQ(log->evicted, std::vector<int>{1});
    EXPECT_EQ(log->countWhenTold, 3u);

    // Replacing, removing, lowering the limit and clearing each tell; a null object removes.
    cache->setObjectForKey(std::make_shared<int>(30), "3");
    cache->removeObjectForKey("2");
    cache->removeObjectForKey("absent");
    cache->setObjectForKey(nullptr, "0");
    EXPECT_EQ(log->evicted, (std::vector<int>{1, 3, 2, 0}));
    cache->setCountLimit(0);
    for (int i = 4; i < 8; ++i) cache->setObjectForKey(std::make_shared<int>(i), std::to_string(i));
    EXPECT_EQ(cache->count(), 5u);
    cache->setCountLimit(2);
    EXPECT_EQ(log->evicted, (std::vector<int>{1, 3, 2, 0, 30, 4, 5}));
    cache->removeAllObjects();
    EXPECT_EQ(cache->count(), 0u);
    EXPECT_EQ(log->evicted, (std::vector<int>{1, 3, 2, 0, 30, 4, 5, 6, 7}));

    // The delegate is held weakly.
    cache->setObjectForKey(std::make_shared<int>(8), "8");
    cache->setDelegate(std::weak_ptr<EvictionLog>(std::make_shared<EvictionLog>()));
    EXPECT_EQ(cache->delegate(), nullptr);
    cache->removeAllObjects();
    EXPECT_EQ(log->evicted.size(), 9u);
}

TEST(Cache, ManyThreadsKeepTheLimit) {
    const auto cache = IntCache::create();
    cache->setCountLimit(50);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string key = std::to_string((t * 7919 + i) % 300);
                if (!cache->objectForKey(key))
                    cache->setObjectForKey(std::make_shared<int>(i), key);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(cache->count(), 50u);
}

}  // namespace
