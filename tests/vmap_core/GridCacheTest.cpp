#include <gtest/gtest.h>

#include "vmap_core/GridCache.h"

namespace {

std::shared_ptr<const GridTile> tile(MapDataType type, const std::string& name, size_t bytes = 1) {
    auto made = std::make_shared<GridTile>();
    made->dataType = type;
    made->key = *GridKey::fromQuadKey(name);
    made->data.assign(bytes, 7);
    return made;
}

GridKey key(const std::string& name) { return *GridKey::fromQuadKey(name); }

TEST(GridCache, LeastRecentlyUsedGoesFirstByCount) {
    GridCache cache(3, 1000);
    cache.insert(tile(0, "0"));
    cache.insert(tile(0, "1"));
    cache.insert(tile(0, "2"));
    ASSERT_NE(cache.find(0, key("0")), nullptr);  // now the most recent
    cache.insert(tile(0, "3"));
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_FALSE(cache.contains(0, key("1")));
    EXPECT_TRUE(cache.contains(0, key("0")));
    // The same grid of another type is another entry.
    EXPECT_FALSE(cache.contains(1, key("0")));
    EXPECT_EQ(cache.contains(0, {key("0"), key("1"), key("3")}),
              (std::vector<bool>{true, false, true}));
}

TEST(GridCache, BytesAreBoundedAndReplacementsCountOnce) {
    GridCache cache(100, 250);
    cache.insert(tile(0, "00", 100));
    cache.insert(tile(0, "01", 100));
    cache.insert(tile(0, "01", 120));
    EXPECT_EQ(cache.bytes(), 220u);
    EXPECT_EQ(cache.size(), 2u);
    cache.insert(tile(0, "02", 100));
    EXPECT_EQ(cache.bytes(), 220u);
    EXPECT_FALSE(cache.contains(0, key("00")));
    // A single grid above the bound is still kept, alone.
    cache.insert(tile(0, "03", 400));
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.bytes(), 400u);
}

TEST(GridCache, CoveringFallsBackToTheNearestHeldAncestor) {
    GridCache cache(100, 10000);
    cache.insert(tile(0, "1"));
    cache.insert(tile(0, "1320"));
    const auto tiles =
        cache.covering(0, {key("13201"), key("13202"), key("13210"), key("0000")}, 4);
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0]->key.quadKey(), "1320");
    EXPECT_EQ(tiles[1]->key.quadKey(), "1");
    EXPECT_TRUE(cache.covering(0, {key("132101")}, 4).empty());
    EXPECT_TRUE(cache.covering(5, {key("13201")}, 4).empty());
}

}  // namespace
