#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "InquiryScreensFixture.h"
#include "SQLiteStore/DBManager.h"
#include "inquiries/HomeCell.h"
#include "inquiries/TravelViewController.h"
#include "shell/CustomNavBar.h"
#include "shell/LeftViewController.h"

namespace {

using testsupport::runUntil;

class MiddleViewControllerTest : public InquiryScreensFixture {
  protected:
    void SetUp() override {
        InquiryScreensFixture::SetUp();
        screen = home;
    }

    std::string listBody(int page) const {
        return "brisfoldID=" + app->APPUserID() +
               "&IsOffer=0&rows=10&pageindex=" + std::to_string(page) + "&lastDateTime=";
    }
    // A finger pulls the list 70 points past its end and lets go.
    void pullUp() {
        const auto table = screen->tableView();
        screen->scrollViewWillBeginDragging(table);
        const CGFloat content = table->contentSize().height;
        const CGFloat height = table->frame().size.height;
        table->setContentOffset(CGPointMake(0, (content >= height ? content - height : 0) + 70));
        screen->scrollViewDidScroll(table);
        EXPECT_EQ(screen->bottomLabel()->text(), "松开加载页面");
        screen->scrollViewDidEndDragging(table, false);
        EXPECT_EQ(screen->bottomLabel()->text(), "正在加载，请稍等");
        table->setContentOffset(CGPointZero);
    }
    std::shared_ptr<HomeCell> cellAt(int row) {
        screen->tableView()->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0),
                                                    UITableViewScrollPositionTop, false);
        return std::dynamic_pointer_cast<HomeCell>(
            screen->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
    }
    std::shared_ptr<Pop_upWindow> shownPopup() {
        return InquiryScreensFixture::shownPopup(screen->navigationController());
    }

    std::shared_ptr<MiddleViewController> screen;
};

TEST_F(MiddleViewControllerTest, FirstPageShowsCardsPullUpAppendsToTheLastPagePullDownReloads) {
    // The body is the request's key, so the reply kept under it shows what was sent.
    const auto firstPage = requests->replyForKey(listBody(1));
    ASSERT_TRUE(firstPage.is_object());
    EXPECT_EQ(firstPage["List"].size(), 10u);
    const auto card = cellAt(0);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->titelLabel()->text(), screen->dataArray()[0]->titleStr());
    EXPECT_FALSE(card->titelLabel()->text().empty());
    EXPECT_EQ(card->timeLabel()->text().find('.'), std::string::npos);
    bool sawTravelExcluded = false;
    for (int row = 0; row < 10; ++row) {
        const auto& r = screen->dataArray()[static_cast<size_t>(row)];
        if (r->goodsIDStr() != kTravelExcludedGoodsID) continue;
        sawTravelExcluded = true;
        EXPECT_EQ(cellAt(row)->leftTF()->text(), "不含差旅费");
    }
    EXPECT_TRUE(sawTravelExcluded);
    EXPECT_EQ(screen->bottomLabel()->text(), "上拉可以加载页面");

    const auto firstID = screen->dataArray()[0]->askPriceIDStr();
    pullUp();
    ASSERT_TRUE(runUntil([&] { return screen->dataArray().size() == 20; }));
    EXPECT_TRUE(requests->replyForKey(listBody(2)).is_object());
    EXPECT_EQ(screen->dataArray()[0]->askPriceIDStr(), firstID);
    EXPECT_NE(screen->dataArray()[10]->askPriceIDStr(), firstID);
    EXPECT_EQ(screen->bottomLabel()->text(), "上拉可以加载页面");
    EXPECT_FALSE(screen->downIndicatorView()->isAnimating());

    const uint64_t pages = screen->totalPageNum();
    ASSERT_GT(pages, 2u);
    for (uint64_t page = 3; page <= pages; ++page) {
        pullUp();
        ASSERT_TRUE(
            runUntil([&] { return screen->pageIndex() == page && !screen->isLoadViewActive(); }));
    }
    const size_t all = screen->dataArray().size();
    EXPECT_EQ(all, static_cast<size_t>(firstPage["totalCount"].is_string()
                                           ? std::stoul(firstPage["totalCount"].get<std::string>())
                                           : firstPage["totalCount"].get<size_t>()));
    EXPECT_EQ(screen->bottomLabel()->text(), "已经是最后页");

    // Past the last page nothing is asked for; the footer settles back on its own.
    pullUp();
    EXPECT_FALSE(requests->isInFlight(listBody(static_cast<int>(pages) + 1)));
    ASSERT_TRUE(runUntil([&] { return !screen->isLoadViewActive(); }));
    EXPECT_EQ(screen->bottomLabel()->text(), "已经是最后页");
    EXPECT_EQ(screen->dataArray().size(), all);

    screen->refreshViewBeginRefreshing(screen->headerView());
    EXPECT_FALSE(screen->headerView()->isRefreshing());
    ASSERT_TRUE(runUntil([&] { return screen->dataArray().size() == 10; }));
    EXPECT_EQ(screen->dataArray()[0]->askPriceIDStr(), firstID);
    EXPECT_EQ(screen->pageIndex(), 1u);
}

TEST_F(MiddleViewControllerTest, FavouritesGoToTheStoreOnlyWhenItTakesThemAndStarsFollowIt) {
    const auto row0 = screen->dataArray()[0];
    cellAt(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "收藏成功");
    EXPECT_EQ(cellAt(0)->favrateButton()->currentTitle(), "取消收藏");
    const std::string path = DBManager::shareManager()->path();
    {
        const auto stored = DBManager::create(path)->fetchAllFavorite();
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->size(), 1u);
        EXPECT_EQ(stored->front()->askPriceIDStr(), row0->askPriceIDStr());
        EXPECT_EQ(stored->front()->titleStr(), row0->titleStr());
    }

    // A store that cannot be written keeps the star as it was and says so.
    std::filesystem::rename(path, path + ".saved");
    std::filesystem::create_directory(path);
    cellAt(1)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "收藏失败");
    EXPECT_NE(screen->dataArray()[1]->haveFavorite(), "1");
    EXPECT_EQ(cellAt(1)->favrateButton()->currentTitle(), "收 藏");
    cellAt(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "取消收藏失败");
    EXPECT_EQ(row0->haveFavorite(), "1");
    std::filesystem::remove(path);
    std::filesystem::rename(path + ".saved", path);

    cellAt(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_EQ(cellAt(0)->favrateButton()->currentTitle(), "收 藏");
    EXPECT_TRUE(DBManager::create(path)->fetchAllFavorite()->empty());

    // Another screen stores a favourite and raises the flag; the list re-marks on reappearing.
    ASSERT_TRUE(DBManager::create(path)->insertDataWithModel(*screen->dataArray()[2]));
    screen->viewWillAppear(false);
    EXPECT_NE(screen->dataArray()[2]->haveFavorite(), "1");
    app->setDataBaseUpdate(true);
    screen->viewWillAppear(false);
    EXPECT_EQ(screen->dataArray()[2]->haveFavorite(), "1");
    EXPECT_EQ(cellAt(2)->favrateButton()->currentTitle(), "取消收藏");
    EXPECT_EQ(screen->dataArray()[0]->haveFavorite(), "0");
}

TEST_F(MiddleViewControllerTest, AmountFromThePopUpIsQuotedAndTheFirstPageReloads) {
    const auto rowOf = [&](bool travelExcluded) {
        int row = 0;
        while ((screen->dataArray()[static_cast<size_t>(row)]->goodsIDStr() ==
                kTravelExcludedGoodsID) != travelExcluded)
            ++row;
        return row;
    };
    // Declining to have the customer pay the travel leads to the amount for the same inquiry.
    const int travelRow = rowOf(true);
    cellAt(travelRow)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto question = shownPopup();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->waterMark(), "是否需要客户提供差旅费");
    question->cancelBtnClick();
    const auto travelAmount = shownPopup();
    ASSERT_TRUE(travelAmount);
    EXPECT_EQ(travelAmount->waterMark(), "请在此填写报价金额");
    EXPECT_EQ(travelAmount->askPriceID(),
              screen->dataArray()[static_cast<size_t>(travelRow)]->askPriceIDStr());
    travelAmount->forkBtnClick();
    EXPECT_FALSE(shownPopup());

    // Agreeing opens the travel screen for that inquiry, which reports back to this list.
    cellAt(travelRow)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    question = shownPopup();
    ASSERT_TRUE(question);
    question->sureBtnClick();
    const auto navigation = screen->navigationController();
    ASSERT_TRUE(navigation);
    const auto travel =
        std::dynamic_pointer_cast<TravelViewController>(navigation->topViewController());
    ASSERT_TRUE(travel);
    EXPECT_EQ(travel->askPriceID(),
              screen->dataArray()[static_cast<size_t>(travelRow)]->askPriceIDStr());
    navigation->popViewControllerAnimated(false);

    const int row = rowOf(false);
    const auto id = screen->dataArray()[static_cast<size_t>(row)]->askPriceIDStr();
    cellAt(row)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    const auto popup = shownPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->askPriceID(), id);
    EXPECT_EQ(popup->waterMark(), "请在此填写报价金额");
    popup->contentTF()->setText("350");
    popup->sureBtnClick();

    const std::string body = "brisfoldID=" + app->APPUserID() + "&askpriceID=" + id + "&price=350";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); }));
    EXPECT_EQ(requests->replyForKey(body)["code"], "1");
    ASSERT_TRUE(runUntil([&] {
        for (const auto& r : screen->dataArray())
            if (r->askPriceIDStr() == id) return r->lstOfferStr() == "￥350";
        return false;
    }));
    EXPECT_EQ(screen->dataArray().size(), 10u);
}

TEST_F(MiddleViewControllerTest, SideMenuAndAmountPopUpAreOnScreen) {
    const CGRect screenBounds = host.window()->bounds();
    const auto onScreen = [&](const std::shared_ptr<UIView>& view) {
        const CGRect f = view->convertRectToView(view->bounds(), nullptr);
        return !view->isHidden() && CGRectGetWidth(f) > 0 && CGRectContainsRect(screenBounds, f);
    };
    const auto container = std::dynamic_pointer_cast<TabContainerViewController>(
        screen->navigationController()->topViewController());
    ASSERT_TRUE(container);
    tap(CustomNavBar::shareManager()->leftButton());
    ASSERT_TRUE(container->isShowLeftView());
    const auto menu =
        std::dynamic_pointer_cast<LeftViewController>(container->sideSlipView()->contentVC());
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->nameLabel()->text(), "张伟");
    EXPECT_TRUE(onScreen(menu->nameLabel()));
    EXPECT_TRUE(onScreen(menu->favouritesRow()));
    screenshot("side-menu.png");
    tap(CustomNavBar::shareManager()->leftButton());
    ASSERT_FALSE(container->isShowLeftView());
    // The menu slides away; a tap reaches the list only once nothing moves any more.
    std::function<bool(const std::shared_ptr<UIView>&)> still = [&](const auto& v) {
        if (!v->layer()->animationKeys().empty()) return false;
        for (const auto& sub : v->subviews())
            if (!still(sub)) return false;
        return true;
    };
    ASSERT_TRUE(runUntil([&] { return still(host.window()); }));

    size_t row = 0;
    while (screen->dataArray()[row]->goodsIDStr() == kTravelExcludedGoodsID) ++row;
    tap(cellAt(static_cast<int>(row))->offerButton());
    const auto popup = shownPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "请在此填写报价金额");
    // The pop-up bounces in; it is still once no view from the field up is animating.
    ASSERT_TRUE(runUntil([&] {
        for (auto v = std::static_pointer_cast<UIView>(popup->contentTF()); v; v = v->superview())
            if (!v->layer()->animationKeys().empty()) return false;
        return true;
    }));
    ASSERT_TRUE(onScreen(popup->contentTF()));
    tap(popup->contentTF());
    EXPECT_TRUE(popup->contentTF()->isFirstResponder());
    ASSERT_TRUE(host.typeText("350"));
    EXPECT_EQ(popup->contentTF()->text(), "350");
    screenshot("amount-popup.png");
}

}  // namespace
