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

// A favourite whose 21 stored texts are all different and carry what a statement built by
// formatting would choke on: quotes, the four form characters, a statement end and Chinese.
std::shared_ptr<HomeModel> favourite(const std::string& id) {
    auto m = HomeModel::create();
    m->setSectionStr("home");
    m->setTitleStr("O'Brien \"电力\"");
    m->setSubTitleStr("50% & more = a+b");
    m->setLeftStr("不含差旅费");
    m->setMidStr("南京");
    m->setRightStr("还有3天结束");
    m->setOfferStr("￥1200");
    m->setLstOfferStr("￥1100");
    m->setTimeStr("2015-03-02 10:20:00");
    m->setAskPriceIDStr(id);
    m->setHopeStartDateStr("2015-03-09");
    m->setDetailsDescStr("'); drop table favoriteInfo; --");
    m->setDeviceFactoryStr("厂商甲");
    m->setGoodsNameStr("UPS巡检");
    m->setHopeProviceStr("1500");
    m->setImplementPlaceStr("江宁区1号");
    m->setImplementProvinceStr("江苏");
    m->setIndustryNameStr("电力");
    m->setPhoneStr("025-1234");
    m->setServicesnameStr("巡检");
    m->setHaveFavorite("1");
    // Not stored.
    m->setGoodsIDStr("1dc8b16a1f97465a9ece37e8b88216fb");
    m->setDeviceTypeStr("UPS");
    m->setNewsIDStr("9");
    return m;
}

void expectStoredTextsEqual(const HomeModel& a, const HomeModel& b) {
    EXPECT_EQ(a.sectionStr(), b.sectionStr());
    EXPECT_EQ(a.titleStr(), b.titleStr());
    EXPECT_EQ(a.subTitleStr(), b.subTitleStr());
    EXPECT_EQ(a.leftStr(), b.leftStr());
    EXPECT_EQ(a.midStr(), b.midStr());
    EXPECT_EQ(a.rightStr(), b.rightStr());
    EXPECT_EQ(a.offerStr(), b.offerStr());
    EXPECT_EQ(a.lstOfferStr(), b.lstOfferStr());
    EXPECT_EQ(a.timeStr(), b.timeStr());
    EXPECT_EQ(a.askPriceIDStr(), b.askPriceIDStr());
    EXPECT_EQ(a.hopeStartDateStr(), b.hopeStartDateStr());
    EXPECT_EQ(a.detailsDescStr(), b.detailsDescStr());
    EXPECT_EQ(a.deviceFactoryStr(), b.deviceFactoryStr());
    EXPECT_EQ(a.goodsNameStr(), b.goodsNameStr());
    EXPECT_EQ(a.hopeProviceStr(), b.hopeProviceStr());
    EXPECT_EQ(a.implementPlaceStr(), b.implementPlaceStr());
    EXPECT_EQ(a.implementProvinceStr(), b.implementProvinceStr());
    EXPECT_EQ(a.industryNameStr(), b.industryNameStr());
    EXPECT_EQ(a.phoneStr(), b.phoneStr());
    EXPECT_EQ(a.servicesnameStr(), b.servicesnameStr());
    EXPECT_EQ(a.haveFavorite(), b.haveFavorite());
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
    expectStoredTextsEqual(*(*rows)[0], *favourite("A'1"));
    expectStoredTextsEqual(*(*rows)[1], *favourite("B&c=d+e%"));
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
    expectStoredTextsEqual(*found, *favourite("x' or '1'='1"));
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
