#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "SQLiteStore/DBManager.h"
#include "TempDir.h"

namespace {

// The 21 texts the store keeps.
struct StoredText {
    void (HomeModel::*set)(std::string);
    const std::string& (HomeModel::*get)() const;
};
const StoredText kStoredTexts[] = {
    {&HomeModel::setSectionStr, &HomeModel::sectionStr},
    {&HomeModel::setTitleStr, &HomeModel::titleStr},
    {&HomeModel::setSubTitleStr, &HomeModel::subTitleStr},
    {&HomeModel::setLeftStr, &HomeModel::leftStr},
    {&HomeModel::setMidStr, &HomeModel::midStr},
    {&HomeModel::setRightStr, &HomeModel::rightStr},
    {&HomeModel::setOfferStr, &HomeModel::offerStr},
    {&HomeModel::setLstOfferStr, &HomeModel::lstOfferStr},
    {&HomeModel::setTimeStr, &HomeModel::timeStr},
    {&HomeModel::setAskPriceIDStr, &HomeModel::askPriceIDStr},
    {&HomeModel::setHopeStartDateStr, &HomeModel::hopeStartDateStr},
    {&HomeModel::setDetailsDescStr, &HomeModel::detailsDescStr},
    {&HomeModel::setDeviceFactoryStr, &HomeModel::deviceFactoryStr},
    {&HomeModel::setGoodsNameStr, &HomeModel::goodsNameStr},
    {&HomeModel::setHopeProviceStr, &HomeModel::hopeProviceStr},
    {&HomeModel::setImplementPlaceStr, &HomeModel::implementPlaceStr},
    {&HomeModel::setImplementProvinceStr, &HomeModel::implementProvinceStr},
    {&HomeModel::setIndustryNameStr, &HomeModel::industryNameStr},
    {&HomeModel::setPhoneStr, &HomeModel::phoneStr},
    {&HomeModel::setServicesnameStr, &HomeModel::servicesnameStr},
    {&HomeModel::setHaveFavorite, &HomeModel::haveFavorite}};

// A favourite whose stored texts are all different and carry what a statement built by
// formatting would choke on: quotes, the four form characters, a statement end and Chinese.
std::shared_ptr<HomeModel> favourite(const std::string& id) {
    auto m = HomeModel::create();
    int i = 0;
    for (const auto& text : kStoredTexts)
        ((*m).*text.set)("O'Brien \"电力\" 50% & a+b=c'); drop table favoriteInfo; -- " +
                         std::to_string(i++));
    m->setAskPriceIDStr(id);
    // Not stored.
    m->setGoodsIDStr("1dc8b16a1f97465a9ece37e8b88216fb");
    m->setDeviceTypeStr("UPS");
    m->setNewsIDStr("9");
    return m;
}

std::vector<std::string> storedTexts(const HomeModel& m) {
    std::vector<std::string> texts;
    for (const auto& text : kStoredTexts) texts.push_back((m.*text.get)());
    return texts;
}

// Every entry below the directory with the bytes of its files.
std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        std::string& bytes = entries[e.path().string()];
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return entries;
}

TEST(DBManagerTest, RowsKeepTheirTextsAndOrderAcrossReopening) {
    testsupport::TempDir home;
    const std::string path = home / "favorite.db";
    {
        auto store = DBManager::create(path);
        ASSERT_TRUE(store->insertDataWithModel(*favourite("A'1")));
        ASSERT_TRUE(store->insertDataWithModel(*favourite("B&c=d+e%")));
        auto empty = HomeModel::create();
        empty->setAskPriceIDStr("C");
        ASSERT_TRUE(store->insertDataWithModel(*empty));
    }
    const auto rows = DBManager::create(path)->fetchAllFavorite();
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ(storedTexts(*(*rows)[0]), storedTexts(*favourite("A'1")));
    EXPECT_EQ(storedTexts(*(*rows)[1]), storedTexts(*favourite("B&c=d+e%")));
    EXPECT_EQ((*rows)[2]->askPriceIDStr(), "C");
    EXPECT_EQ((*rows)[2]->titleStr(), "");
    for (const auto& row : *rows) {
        EXPECT_EQ(row->goodsIDStr(), "");
        EXPECT_EQ(row->deviceTypeStr(), "");
        EXPECT_EQ(row->newsIDStr(), "");
    }
}

TEST(DBManagerTest, SelectAndDeleteMatchTheWholeIdentifierOnly) {
    testsupport::TempDir home;
    auto store = DBManager::create(home / "favorite.db");
    EXPECT_EQ(store->fetchAllFavorite(), std::vector<std::shared_ptr<HomeModel>>{});
    EXPECT_EQ(store->selectModelWithAskPriceID("A"), nullptr);
    for (const char* id : {"A", "B", "A", "x' or '1'='1"}) {
        ASSERT_TRUE(store->insertDataWithModel(*favourite(id)));
    }

    const auto found = store->selectModelWithAskPriceID("x' or '1'='1");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(storedTexts(*found), storedTexts(*favourite("x' or '1'='1")));
    EXPECT_EQ(store->selectModelWithAskPriceID("' or ''='"), nullptr);

    // A value that would widen a formatted condition removes nothing.
    EXPECT_TRUE(store->deleteDataWithUserId("B' or '1'='1"));
    EXPECT_EQ(store->fetchAllFavorite()->size(), 4u);
    EXPECT_TRUE(store->deleteDataWithUserId("A"));
    EXPECT_TRUE(store->deleteDataWithUserId("not stored"));
    const auto rest = store->fetchAllFavorite();
    ASSERT_EQ(rest->size(), 2u);
    EXPECT_EQ((*rest)[0]->askPriceIDStr(), "B");
    EXPECT_EQ((*rest)[1]->askPriceIDStr(), "x' or '1'='1");
}

TEST(DBManagerTest, UnreadableStoreFailsEveryCallAndKeepsItsFile) {
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
    };
    const Case cases[] = {
        {"damaged file",
         [](const std::string& path) {
             std::ofstream(path, std::ios::binary) << std::string(4096, '\x5a') << "favourites";
         }},
        {"directory in its place",
         [](const std::string& path) { std::filesystem::create_directory(path); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir home;
        const std::string path = home / "favorite.db";
        c.make(path);
        const auto before = snapshot(home.path());
        testsupport::LogCapture log;
        auto store = DBManager::create(path);

        EXPECT_FALSE(store->insertDataWithModel(*favourite("A")));
        EXPECT_FALSE(store->deleteDataWithUserId("A"));
        EXPECT_FALSE(store->fetchAllFavorite().has_value());
        EXPECT_EQ(store->selectModelWithAskPriceID("A"), nullptr);
        EXPECT_TRUE(log.contains("Favourites store " + path));
        EXPECT_EQ(snapshot(home.path()), before);
    }
}

}  // namespace
