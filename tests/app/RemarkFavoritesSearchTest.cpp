#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InquiryScreensFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIWebView.h"
#include "inquiries/FavoritaViewController.h"
#include "inquiries/HomeCell.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/RemarkViewController.h"
#include "inquiries/SearchViewController.h"
#include "shell/CustomNavBar.h"

namespace {

using testsupport::runUntil;

class RemarkFavoritesSearchTest : public InquiryScreensFixture {
  protected:
    std::shared_ptr<RemarkViewController> openRemark(const std::string& content, bool isNew) {
        auto remark = RemarkViewController::create(content, isNew);
        if (!isNew)
            remark->setBlock([this](const std::string& text) {
                ++blockCalls;
                handed = text;
            });
        navigation(0)->pushViewController(remark, false);
        EXPECT_TRUE(runUntil([&] { return remark->contentTextView() != nullptr; }));
        return remark;
    }
    bool isTop(const std::shared_ptr<UIViewController>& screen) {
        return navigation(0)->topViewController() == screen;
    }
    std::shared_ptr<FavoritaViewController> openFavorites() {
        auto favorites = FavoritaViewController::create();
        navigation(0)->pushViewController(favorites, false);
        EXPECT_TRUE(runUntil([&] { return favorites->tableView() != nullptr; }));
        return favorites;
    }
    std::shared_ptr<HomeCell> favoriteCard(const std::shared_ptr<FavoritaViewController>& f,
                                           int row) {
        return std::dynamic_pointer_cast<HomeCell>(cellAt(f->tableView(), row));
    }
    int blockCalls = 0;
    std::string handed;
};

TEST_F(RemarkFavoritesSearchTest, RemarkConfirmHandsTheTextOnceBackAndSwipeDoNotNoticeShowsLast) {
    auto remark = openRemark("原来", false);
    {
        // The confirm item carries its word, and the title's last character shows: white ink
        // over the bar at its right end.
        const auto bar = CustomNavBar::shareManager();
        EXPECT_EQ(bar->rightButton()->titleForState(UIControlStateNormal), "确定");
        EXPECT_EQ(bar->titleLabel()->text(), "添加备注");
        const auto image = host.compose();
        int ink = 0;
        for (CGFloat x = 178; x < 196; x += 0.5)
            for (CGFloat y = 30; y < 56; y += 0.5)
                ink += testsupport::colourNear(testsupport::screenPixel(image, x, y), {1, 1, 1, 1},
                                               0.1)
                           ? 1
                           : 0;
        EXPECT_GT(ink, 20);
    }
    tap(remark->contentTextView());
    ASSERT_TRUE(host.typeText("的"));
    // Another screen over it and back: the text being edited stays.
    const auto textView = remark->contentTextView();
    navigation(0)->pushViewController(UIViewController::create(), false);
    navigation(0)->popViewControllerAnimated(false);
    host.runFor(0);
    EXPECT_EQ(remark->contentTextView(), textView);
    EXPECT_EQ(textView->text(), "原来的");
    tap(CustomNavBar::shareManager()->rightButton());
    EXPECT_EQ(blockCalls, 1);
    EXPECT_EQ(handed, "原来的");
    EXPECT_FALSE(isTop(remark));

    remark = openRemark("不要", false);
    tap(CustomNavBar::shareManager()->leftButton());
    EXPECT_FALSE(isTop(remark));
    remark = openRemark("不要", false);
    swipe(260, 40);  // left: nothing
    EXPECT_TRUE(isTop(remark));
    swipe(40, 260);
    EXPECT_FALSE(isTop(remark));
    EXPECT_EQ(blockCalls, 1);

    // Notice mode, with two notices on the service: the last one stays on the page.
    {
        devserver::Database db(server.dataFile());
        db.run("DELETE FROM notices WHERE notice_id > 2");
    }
    auto notice = openRemark("", true);
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey("")["List"].size() == 2; }));
    const auto list = requests->replyForKey("")["List"];
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(notice->contentTextView()->text(),
              UIWebViewTextFromHTML(list[1]["Detail"].get<std::string>()));
    EXPECT_EQ(notice->noticeTitle(), list[1]["NoticeName"]);
    tap(CustomNavBar::shareManager()->rightButton());
    EXPECT_FALSE(isTop(notice));
}

TEST_F(RemarkFavoritesSearchTest, FavoritesListDeleteInEditModeAndFollowTheDetail) {
    std::vector<std::string> starred;
    for (int row = 0; row < 3; ++row) {
        auto card = std::dynamic_pointer_cast<HomeCell>(cellAt(home->tableView(), row));
        tap(card->favrateButton());
        starred.push_back(home->dataArray()[static_cast<size_t>(row)]->askPriceIDStr());
    }
    ASSERT_EQ(storedIDs(favoriteFile()), starred);

    auto favorites = openFavorites();
    ASSERT_EQ(favorites->dataArray().size(), 3u);
    // A quotation reply without a tip has nothing to show.
    ASSERT_TRUE(runUntil([&] { return !toastShown(); }));
    favorites->updateDataWithDictionary({{"code", "1"}, {"tip", ""}});
    EXPECT_FALSE(toastShown());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(favorites->dataArray()[i]->askPriceIDStr(), starred[i]);

    tap(CustomNavBar::shareManager()->rightButton());
    ASSERT_TRUE(favorites->isEditing());
    tap(favoriteCard(favorites, 0)->subTitleLabel());
    tap(favoriteCard(favorites, 2)->subTitleLabel());
    EXPECT_EQ(favorites->selectArray().size(), 2u);
    screenshot("favourites-edit.png");
    tap(favorites->deletePartButton());
    EXPECT_EQ(storedIDs(favoriteFile()), std::vector<std::string>{starred[1]});
    EXPECT_TRUE(favorites->isEditing());
    EXPECT_TRUE(app->dataBaseUpdate());

    // Nothing selected: a hint, and the store's changed mark stays as it was.
    tap(favorites->deletePartButton());
    EXPECT_EQ(toast(), "先选择后删除");
    EXPECT_TRUE(app->dataBaseUpdate());

    tap(favorites->deleteAllButton());
    EXPECT_TRUE(storedIDs(favoriteFile()).empty());
    EXPECT_FALSE(favorites->isEditing());
    EXPECT_TRUE(favorites->dataArray().empty());

    // A favourite unstarred on its detail leaves the open list.
    navigation(0)->popViewControllerAnimated(false);
    tap(std::dynamic_pointer_cast<HomeCell>(cellAt(home->tableView(), 0))->favrateButton());
    favorites = openFavorites();
    ASSERT_EQ(favorites->dataArray().size(), 1u);
    const std::string body = "engineerID=" + app->APPUserID() + "&askpriceID=" + starred[0];
    watch(body);
    tap(favoriteCard(favorites, 0)->subTitleLabel());
    auto detail =
        std::dynamic_pointer_cast<HomeInfoViewController>(navigation(0)->topViewController());
    ASSERT_TRUE(detail);
    ASSERT_TRUE(runUntil([&] { return replies(body) == 1; }));
    tap(detail->faverateBtn());
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_TRUE(favorites->dataArray().empty());
    EXPECT_TRUE(storedIDs(favoriteFile()).empty());
}

TEST_F(RemarkFavoritesSearchTest, SearchSendsTheChosenIDsAndListsOnlyMatchingInquiries) {
    for (const char* body : {"Index=SSHY", "Index=SBCS", "Index=SBLX", "Index=GOODSNAME"})
        watch(body);
    tap(CustomNavBar::shareManager()->rightButton());
    auto search =
        std::dynamic_pointer_cast<SearchViewController>(navigation(0)->topViewController());
    ASSERT_TRUE(search);
    ASSERT_TRUE(runUntil([&] {
        return replies("Index=SSHY") == 1 && replies("Index=SBCS") == 1 &&
               replies("Index=SBLX") == 1 && replies("Index=GOODSNAME") == 1;
    }));
    using G = SearchViewController;
    for (const auto group : {G::industry, G::maker, G::deviceType, G::goods})
        EXPECT_FALSE(search->choices(group).empty());
    EXPECT_EQ(search->choices(G::industry)[0]->IDStr(), "1");
    EXPECT_EQ(search->choices(G::goods)[0]->IDStr(), std::string(kTravelExcludedGoodsID));
    const auto numeric = SearchModel::createWithElement({{"name", "电力"}, {"ID", 12}});
    EXPECT_EQ(numeric->IDStr(), "12");
    EXPECT_FALSE(numeric->isSelecting());

    tap(search->choiceButtons(G::industry)[0]);
    tap(search->choiceButtons(G::maker)[0]);
    EXPECT_TRUE(search->choices(G::industry)[0]->isSelecting());
    const std::string body = "brisfoldID=" + app->APPUserID() +
                             "&IsOffer=0&rows=10&pageindex=1&lastDateTime=&IndustryID=" +
                             search->choices(G::industry)[0]->IDStr() +
                             "&FactoryID=" + search->choices(G::maker)[0]->IDStr() +
                             "&DeviceTypeID=&GoodsID=";
    watch(body);
    tap(search->searchButton());
    ASSERT_TRUE(runUntil([&] { return replies(body) == 1; }));
    ASSERT_FALSE(search->dataArray().empty());
    devserver::Database db(server.dataFile());
    for (const auto& row : search->dataArray()) {
        EXPECT_EQ(row->industryNameStr(), search->choices(G::industry)[0]->nameStr());
        EXPECT_TRUE(row->sectionStr().empty());
        EXPECT_GT(db.scalar("SELECT COUNT(*) FROM devices WHERE ask_price_id = ? AND "
                            "device_factory = ?",
                            row->askPriceIDStr(), search->choices(G::maker)[0]->nameStr()),
                  0);
    }
    screenshot("search.png");
}

}  // namespace
