#include <gtest/gtest.h>

#include <string>

#include "ManualClock.h"
#include "MapDataBytes.h"
#include "VAGLMapVTMCDataCache.h"

namespace {

using testbytes::trafficBody;

class TrafficCacheTest : public testsupport::ManualClockTest {
  protected:
    std::shared_ptr<VAGLMapVTMCDataCache> cache = VAGLMapVTMCDataCache::create();
};

TEST_F(TrafficCacheTest, NeverServesAPayloadOlderThanTheNewestStamp) {
    ASSERT_TRUE(cache->addDataRetain(trafficBody("0", "a", 120, "x"), "0"));
    ASSERT_TRUE(cache->addDataRetain(trafficBody("1", "b", 100, "y"), "1"));
    EXPECT_EQ(cache->dataRetainWithName("1", false), nullptr);
    EXPECT_NE(cache->dataRetainWithName("1", true), nullptr);
    ASSERT_TRUE(cache->addDataRetain(trafficBody("1", "c", 120, "z"), "1"));
    EXPECT_NE(cache->dataRetainWithName("1", false), nullptr);
}

TEST_F(TrafficCacheTest, SameTagKeepsTheOldPayloadUnderTheNewStampInAFreshCopy) {
    const auto first = cache->addDataRetain(trafficBody("0", "T", 100, "old"), "0");
    ASSERT_TRUE(first);
    const auto handedOut = first->vtmcData();
    advance(200);
    const auto again = cache->addDataRetain(trafficBody("0", "T", 160, "new"), "0");
    EXPECT_EQ(again, first);
    EXPECT_EQ(testbytes::text(*again->vtmcData()),
              testbytes::text(trafficBody("0", "T", 160, "old")));
    EXPECT_EQ(again->timeStamp(), 160);
    // Whoever read the payload before keeps reading the bytes it got.
    EXPECT_EQ(testbytes::text(*handedOut), testbytes::text(trafficBody("0", "T", 100, "old")));
    // Freshness restarted with the confirmation.
    advance(200);
    EXPECT_NE(cache->dataRetainWithName("0", false), nullptr);
}

TEST_F(TrafficCacheTest, ExpiresAfter300SecondsButStaysForItsTag) {
    ASSERT_TRUE(cache->addDataRetain(trafficBody("0", "T", 1, "x"), "0"));
    advance(300);
    EXPECT_NE(cache->dataRetainWithName("0", false), nullptr);
    advance(1);
    EXPECT_EQ(cache->dataRetainWithName("0", false), nullptr);
    const auto held = cache->dataRetainWithName("0", true);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->eTag(), "T");
    EXPECT_EQ(cache->dataRetainWithName("9", true), nullptr);
}

TEST_F(TrafficCacheTest, HoldsAt501GridsDroppingTheOldest) {
    for (int i = 0; i < 502; ++i) {
        const std::string name = std::to_string(i);
        ASSERT_TRUE(cache->addDataRetain(trafficBody(name, "t", 1, "d"), name));
    }
    EXPECT_EQ(cache->count(), 501u);
    EXPECT_EQ(cache->dataRetainWithName("0", true), nullptr);
    EXPECT_NE(cache->dataRetainWithName("1", true), nullptr);
    EXPECT_NE(cache->dataRetainWithName("501", true), nullptr);
}

TEST_F(TrafficCacheTest, RefusesPayloadsTooShortForTheirHeader) {
    const auto full = trafficBody("0123", "tag", 5, "");
    for (std::size_t size = 0; size < full.size(); ++size) {
        SCOPED_TRACE(size);
        EXPECT_EQ(cache->addDataRetain(std::span(full).first(size), "0123"), nullptr);
    }
    EXPECT_EQ(cache->count(), 0u);
    EXPECT_NE(cache->addDataRetain(full, "0123"), nullptr);
}

}  // namespace
