#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Foundation/NSNotificationCenter.h"
#include "UIKit/UIApplication.h"
#include "VMOfflinePackage.h"

namespace {

nlohmann::json city(const std::string& adcode, const std::string& citycode) {
    return {{"adcode", adcode},     {"citycode", citycode},
            {"name", "c" + adcode}, {"url", "http://127.0.0.1/" + adcode},
            {"version", "2"},       {"size", 5000000000LL}};
}

nlohmann::json catalogue() {
    return {{"version", "20261201"},
            {"provinces",
             {{{"adcode", "100000"},
               {"name", "P"},
               {"cities", {city("100100", "011"), city("100200", "012")}}},
              {{"adcode", "200000"},
               {"citycode", "020"},
               {"name", "M"},
               {"cities", nlohmann::json::array()}},
              city("300000", "030")}},
            {"others", {{{"adcode", "000000"}, {"name", "base"}}}}};
}

TEST(Catalogue, DictionaryFormBuildsProvincesMunicipalitiesAndTheBase) {
    auto package = VMOfflinePackage::packageWithDictionary(catalogue());
    EXPECT_EQ(package->version, "20261201");
    ASSERT_EQ(package->provinces.size(), 1u);
    EXPECT_EQ(package->provinces[0]->cities.size(), 2u);
    ASSERT_EQ(package->municipalities.size(), 2u);
    EXPECT_EQ(package->municipalities[0]->adcode, "200000");
    EXPECT_EQ(package->nationWide->name, "base");
    EXPECT_THAT(package->items(), testing::SizeIs(6));
    EXPECT_THAT(package->cityCodeItems(), testing::SizeIs(4));
    EXPECT_EQ(package->cityCodeItems().at("012")->adcode, "100200");

    // Missing fields and parts read as "unknown", never as nothing.
    EXPECT_EQ(VMOfflineItem::itemWithDictionary(nullptr)->adcode, "unknown");
    EXPECT_EQ(VMOfflinePackage::packageWithDictionary({{"version", "1"}})->nationWide->adcode,
              "unknown");
    auto nine = VMOfflineItem::itemWithDictionary({{"version", "9"}});
    auto ten = VMOfflineItem::itemWithDictionary({{"version", "10"}});
    EXPECT_EQ(ten->compare(*nine), -1);
    EXPECT_EQ(nine->compare(*nine), 0);
}

// Catalogues come from servers: numbers past a field's range clamp to it (the asan preset checks
// the float casts).
TEST(Catalogue, NumbersOutOfRangeClampToTheirFields) {
    const auto item = VMOfflineItem::itemWithDictionary(
        {{"adcode", "110000"}, {"size", 1e300}, {"downloadedSize", -1e300}, {"itemStatus", 1e300}});
    EXPECT_EQ(item->size, INT64_MAX);
    EXPECT_EQ(item->downloadedSize(), INT64_MIN);
    EXPECT_EQ(item->itemStatus(), INT32_MAX);
    const auto big = VMOfflineItem::itemWithDictionary(
        {{"size", UINT64_MAX}, {"itemStatus", -5000000000LL}, {"downloadedSize", 2.5}});
    EXPECT_EQ(big->size, INT64_MAX);
    EXPECT_EQ(big->itemStatus(), INT32_MIN);
    EXPECT_EQ(big->downloadedSize(), 2);
}

TEST(Catalogue, LaterDuplicateAdcodeWinsAndMemoryWarningDropsTheIndex) {
    auto dictionary = catalogue();
    dictionary["provinces"].push_back(city("100100", "099"));
    auto package = VMOfflinePackage::packageWithDictionary(dictionary);
    const auto first = package->items();
    EXPECT_EQ(first.at("100100"), package->municipalities.back());
    package->municipalities.pop_back();
    // Still the cached index until memory runs short.
    EXPECT_EQ(package->items().at("100100"), first.at("100100"));
    UIApplication::sharedApplication()->didReceiveMemoryWarning();
    EXPECT_EQ(package->items().at("100100"), package->provinces[0]->cities[0]);

    // Any text field keys a list.
    const auto byName = VMOfflinePackage::dictionaryForItemArray(
        {package->provinces[0], nullptr, package->nationWide}, &VMOfflineItem::name);
    EXPECT_EQ(byName.size(), 2u);
    EXPECT_EQ(byName.at(package->nationWide->name), package->nationWide);
}

}  // namespace
