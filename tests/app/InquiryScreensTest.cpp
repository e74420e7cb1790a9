// The inquiry screens of the signed-in app: the home list, the inquiry detail, my quotations,
// the remark screen, favourites, the search and the travel quotation.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppScreens.h"
#include "Foundation/JSONValue.h"
#include "LabelFit.h"
#include "LogCapture.h"
#include "MessagesFixture.h"
#include "SQLiteStore/DBManager.h"
#include "ScreenPixels.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWebView.h"
#include "inquiries/FavoritaViewController.h"
#include "inquiries/HomeCell.h"
#include "inquiries/HomeInfoCell.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/MiddleViewController.h"
#include "inquiries/OfferCell.h"
#include "inquiries/OfferInfoCell.h"
#include "inquiries/OfferInfoViewController.h"
#include "inquiries/OfferMiddleViewController.h"
#include "inquiries/RemarkViewController.h"
#include "inquiries/SearchViewController.h"
#include "inquiries/TravelViewController.h"
#include "shell/CustomNavBar.h"
#include "shell/LeftViewController.h"
#include "shell/TabContainerViewController.h"

namespace {

using testsupport::favouriteIDs;
using testsupport::runUntil;

// The signed-in app showing the first page of its home list.
class InquiryScreensFixture : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        port = server.port();
        home = std::dynamic_pointer_cast<MiddleViewController>(tabList(0));
        ASSERT_TRUE(home);
        ASSERT_TRUE(testsupport::runUntil([&] { return home->dataArray().size() == 10; }));
    }

    std::shared_ptr<UIViewController> tabList(size_t tab) {
        auto nav = navigation(tab);
        if (!nav) return nullptr;
        auto container =
            std::dynamic_pointer_cast<TabContainerViewController>(nav->viewControllers().front());
        return container ? container->listScreen() : nullptr;
    }
    // A quick finger stroke across the screen, as a swipe is made.
    void swipe(CGFloat fromX, CGFloat toX, CGFloat y = 300) {
        host.touchDown(0, CGPointMake(fromX, y));
        host.touchMove(0, CGPointMake((fromX + toX) / 2, y));
        host.touchMove(0, CGPointMake(toX, y));
        host.touchUp(0, CGPointMake(toX, y));
        host.runFor(0);
    }
    // Types the amount into the pop-up and confirms it.
    void enterAmount(const std::shared_ptr<UINavigationController>& nav,
                     const std::string& amount) {
        auto popup = shownPopup(nav);
        ASSERT_TRUE(popup);
        tap(popup->contentTF());
        ASSERT_TRUE(host.typeText(amount));
        tap(popup->sureBtn());
    }
    bool toastShown() {
        for (const auto& v : host.window()->subviews())
            if (std::dynamic_pointer_cast<ShowAlertView>(v)) return true;
        return false;
    }
    std::filesystem::path favoriteFile() const {
        return shellHome.dir.path() / "Documents" / "favorite.db";
    }
    // The inquiry the first sample engineer quoted five times.
    std::string quotedFiveTimes() {
        devserver::Database db(server.dataFile());
        auto five = db.query(
            "SELECT ask_price_id FROM offers WHERE engineer_id = ? GROUP BY ask_price_id "
            "HAVING COUNT(*) = 5",
            app->APPUserID());
        return five.step() ? five.text(0) : std::string();
    }

    int port = 0;
    std::shared_ptr<MiddleViewController> home;
};

class MiddleViewControllerTest : public InquiryScreensFixture {
  protected:
    std::string listBody(int page) const {
        return "brisfoldID=" + app->APPUserID() +
               "&IsOffer=0&rows=10&pageindex=" + std::to_string(page) + "&lastDateTime=";
    }
    // A finger pulls the list 70 points past its end and lets go.
    void pullUp() {
        const auto table = home->tableView();
        home->scrollViewWillBeginDragging(table);
        const CGFloat content = table->contentSize().height;
        const CGFloat height = table->frame().size.height;
        table->setContentOffset(CGPointMake(0, (content >= height ? content - height : 0) + 70));
        home->scrollViewDidScroll(table);
        EXPECT_EQ(home->bottomLabel()->text(), "松开加载页面");
        home->scrollViewDidEndDragging(table, false);
        EXPECT_EQ(home->bottomLabel()->text(), "正在加载，请稍等");
        table->setContentOffset(CGPointZero);
    }
    std::shared_ptr<HomeCell> card(int row) { return cellOf<HomeCell>(home->tableView(), row); }
    std::shared_ptr<Pop_upWindow> homePopup() { return shownPopup(navigation(0)); }
};

TEST_F(MiddleViewControllerTest, FirstPageShowsCardsPullUpAppendsToTheLastPagePullDownReloads) {
    // The body is the request's key, so the reply kept under it shows what was sent.
    const auto firstPage = requests->replyForKey(listBody(1));
    ASSERT_EQ(firstPage["List"].size(), 10u);
    const auto first = card(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->titelLabel()->text(), home->dataArray()[0]->titleStr());
    EXPECT_EQ(first->timeLabel()->text().find('.'), std::string::npos);
    int travelExcluded = 0;
    while (home->dataArray().at(travelExcluded)->goodsIDStr() != kTravelExcludedGoodsID)
        ++travelExcluded;
    EXPECT_EQ(card(travelExcluded)->leftTF()->text(), "不含差旅费");
    EXPECT_EQ(home->bottomLabel()->text(), "上拉可以加载页面");

    const auto firstID = home->dataArray()[0]->askPriceIDStr();
    pullUp();
    ASSERT_TRUE(runUntil([&] { return home->dataArray().size() == 20; }));
    EXPECT_TRUE(requests->replyForKey(listBody(2)).is_object());
    EXPECT_EQ(home->dataArray()[0]->askPriceIDStr(), firstID);
    EXPECT_EQ(home->bottomLabel()->text(), "上拉可以加载页面");
    EXPECT_FALSE(home->downIndicatorView()->isAnimating());

    const uint64_t pages = home->totalPageNum();
    ASSERT_GT(pages, 2u);
    for (uint64_t page = 3; page <= pages; ++page) {
        pullUp();
        ASSERT_TRUE(
            runUntil([&] { return home->pageIndex() == page && !home->isLoadViewActive(); }));
    }
    const size_t all = home->dataArray().size();
    EXPECT_EQ(all, static_cast<size_t>(firstPage["totalCount"].is_string()
                                           ? std::stoul(firstPage["totalCount"].get<std::string>())
                                           : firstPage["totalCount"].get<size_t>()));
    EXPECT_EQ(home->bottomLabel()->text(), "已经是最后页");
    EXPECT_EQ(home->rowsOfOnePage(), 10u);
    EXPECT_EQ(home->totalRowCount(), all);

    // Past the last page nothing is asked for; the footer settles back on its own.
    pullUp();
    EXPECT_FALSE(requests->isInFlight(listBody(static_cast<int>(pages) + 1)));
    ASSERT_TRUE(runUntil([&] { return !home->isLoadViewActive(); }));
    EXPECT_EQ(home->bottomLabel()->text(), "已经是最后页");
    EXPECT_EQ(home->dataArray().size(), all);

    home->refreshViewBeginRefreshing(home->headerView());
    EXPECT_FALSE(home->headerView()->isRefreshing());
    ASSERT_TRUE(runUntil([&] { return home->dataArray().size() == 10; }));
    EXPECT_EQ(home->dataArray()[0]->askPriceIDStr(), firstID);
    EXPECT_EQ(home->pageIndex(), 1u);
}

TEST_F(MiddleViewControllerTest, FavouritesGoToTheStoreOnlyWhenItTakesThemAndStarsFollowIt) {
    const auto row0 = home->dataArray()[0];
    card(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "收藏成功");
    EXPECT_EQ(card(0)->favrateButton()->currentTitle(), "取消收藏");
    const std::string path = DBManager::shareManager()->path();
    EXPECT_EQ(favouriteIDs(path), std::vector<std::string>{row0->askPriceIDStr()});

    // A store that cannot be written keeps the star as it was and says so.
    std::filesystem::rename(path, path + ".saved");
    std::filesystem::create_directory(path);
    card(1)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "收藏失败");
    EXPECT_NE(home->dataArray()[1]->haveFavorite(), "1");
    EXPECT_EQ(card(1)->favrateButton()->currentTitle(), "收 藏");
    card(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "取消收藏失败");
    EXPECT_EQ(row0->haveFavorite(), "1");
    std::filesystem::remove(path);
    std::filesystem::rename(path + ".saved", path);

    card(0)->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_EQ(card(0)->favrateButton()->currentTitle(), "收 藏");
    EXPECT_TRUE(DBManager::create(path)->fetchAllFavorite()->empty());

    // Another home stores a favourite and raises the flag; the list re-marks on reappearing.
    ASSERT_TRUE(DBManager::create(path)->insertDataWithModel(*home->dataArray()[2]));
    home->viewWillAppear(false);
    EXPECT_NE(home->dataArray()[2]->haveFavorite(), "1");
    app->setDataBaseUpdate(true);
    home->viewWillAppear(false);
    EXPECT_EQ(home->dataArray()[2]->haveFavorite(), "1");
    EXPECT_EQ(card(2)->favrateButton()->currentTitle(), "取消收藏");
    EXPECT_EQ(home->dataArray()[0]->haveFavorite(), "0");
}

TEST_F(MiddleViewControllerTest, AmountFromThePopUpIsQuotedAndTheFirstPageReloads) {
    const auto rowOf = [&](bool travelExcluded) {
        int row = 0;
        while ((home->dataArray()[static_cast<size_t>(row)]->goodsIDStr() ==
                kTravelExcludedGoodsID) != travelExcluded)
            ++row;
        return row;
    };
    // Declining to have the customer pay the travel leads to the amount for the same inquiry.
    const int travelRow = rowOf(true);
    card(travelRow)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto question = homePopup();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->waterMark(), "是否需要客户提供差旅费");
    question->cancelBtnClick();
    const auto travelAmount = homePopup();
    ASSERT_TRUE(travelAmount);
    EXPECT_EQ(travelAmount->waterMark(), "请在此填写报价金额");
    EXPECT_EQ(travelAmount->askPriceID(),
              home->dataArray()[static_cast<size_t>(travelRow)]->askPriceIDStr());
    travelAmount->forkBtnClick();
    EXPECT_FALSE(homePopup());

    // Agreeing opens the travel home for that inquiry, which reports back to this list.
    card(travelRow)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    question = homePopup();
    ASSERT_TRUE(question);
    question->sureBtnClick();
    const auto travel = std::dynamic_pointer_cast<TravelViewController>(
        home->navigationController()->topViewController());
    ASSERT_TRUE(travel);
    EXPECT_EQ(travel->askPriceID(), travelAmount->askPriceID());
    home->navigationController()->popViewControllerAnimated(false);

    const int row = rowOf(false);
    const auto id = home->dataArray()[static_cast<size_t>(row)]->askPriceIDStr();
    card(row)->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    const auto popup = homePopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->askPriceID(), id);
    popup->contentTF()->setText("350");
    popup->sureBtnClick();

    const std::string body = "brisfoldID=" + app->APPUserID() + "&askpriceID=" + id + "&price=350";
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey(body).is_object(); }));
    EXPECT_EQ(requests->replyForKey(body)["code"], "1");
    ASSERT_TRUE(runUntil([&] {
        for (const auto& r : home->dataArray())
            if (r->askPriceIDStr() == id) return r->lstOfferStr() == "￥350";
        return false;
    }));
    EXPECT_EQ(home->dataArray().size(), 10u);
}

TEST_F(MiddleViewControllerTest, SideMenuAndAmountPopUpAreOnScreen) {
    const CGRect screenBounds = host.window()->bounds();
    const auto onScreen = [&](const std::shared_ptr<UIView>& view) {
        const CGRect f = view->convertRectToView(view->bounds(), nullptr);
        return !view->isHidden() && CGRectGetWidth(f) > 0 && CGRectContainsRect(screenBounds, f);
    };
    const auto container = std::dynamic_pointer_cast<TabContainerViewController>(
        home->navigationController()->topViewController());
    ASSERT_TRUE(container);
    tap(CustomNavBar::shareManager()->leftButton());
    ASSERT_TRUE(container->isShowLeftView());
    const auto menu =
        std::dynamic_pointer_cast<LeftViewController>(container->sideSlipView()->contentVC());
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->nameLabel()->text(), "张伟");
    EXPECT_TRUE(onScreen(menu->nameLabel()));
    EXPECT_TRUE(onScreen(menu->favouritesRow()));
    EXPECT_TRUE(onScreen(menu->logoutRow()));
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
    while (home->dataArray()[row]->goodsIDStr() == kTravelExcludedGoodsID) ++row;
    tap(card(static_cast<int>(row))->offerButton());
    const auto popup = homePopup();
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

class HomeInfoViewControllerTest : public InquiryScreensFixture {
  protected:
    // Taps the home card of the first inquiry of the kind and waits for its detail.
    std::shared_ptr<HomeInfoViewController> openFromHome(bool catalogue) {
        for (size_t row = 0; row < home->dataArray().size(); ++row) {
            const auto& record = home->dataArray()[row];
            if ((record->goodsIDStr() == kTravelExcludedGoodsID) != catalogue) continue;
            inquiry = record->askPriceIDStr();
            detailBody = "engineerID=" + app->APPUserID() + "&askpriceID=" + inquiry;
            watch(detailBody);
            tap(cellOf<HomeCell>(home->tableView(), static_cast<int>(row))->subTitleLabel());
            auto detail = std::dynamic_pointer_cast<HomeInfoViewController>(
                navigation(0)->topViewController());
            if (!detail || !runUntil([&] { return replies(detailBody) == 1; })) return nullptr;
            return detail;
        }
        return nullptr;
    }
    bool hasRow(const HomeInfoViewController& detail, int section, const std::string& caption) {
        return rowTitled(detail, section, caption) >= 0;
    }
    std::string inquiry;
    std::string detailBody;
};

TEST_F(HomeInfoViewControllerTest, PlainAndCatalogueDetailsShowTheirRowsAndPageDevicesByThree) {
    auto detail = openFromHome(false);
    ASSERT_TRUE(detail);
    // Only a tap on the arrow says there is no more.
    EXPECT_NE(toast(), "没有更多数据");
    screenshot("inquiry-detail.png");
    EXPECT_FALSE(detail->titleLabel()->text().empty());
    EXPECT_EQ(detail->leftLabel()->text(), "包含差旅费");
    EXPECT_EQ(detail->tableView()->numberOfSections(), 5);
    EXPECT_EQ(detail->rowsOfSection(1).front()->titleStr(), "行业");
    EXPECT_EQ(detail->rowsOfSection(2).front()->titleStr(), "期望开工时间");
    EXPECT_TRUE(hasRow(*detail, 2, "设备成交价格"));
    EXPECT_TRUE(hasRow(*detail, 3, "差旅条件"));
    EXPECT_FALSE(hasRow(*detail, 3, "计划交通工具"));
    auto red = cellOf<HomeInfoCell>(detail->tableView(), rowTitled(*detail, 2, "当前最低报价"), 2);
    ASSERT_TRUE(red);
    EXPECT_TRUE(red->contentTextView()->textColor()->isEqual(*UIColor::redColor()));
    EXPECT_TRUE(red->titleTextView()->textColor()->isEqual(*UIColor::redColor()));

    // Four device rows: the heading and the three the detail carries; the arrow asks for more.
    ASSERT_EQ(detail->topDataArray().size(), 4u);
    const std::string page2 = "askpriceID=" + inquiry + "&rows=3&pageindex=2";
    const std::string page3 = "askpriceID=" + inquiry + "&rows=3&pageindex=3";
    watch(page2);
    watch(page3);
    cellAt(detail->tableView(), 0, 0);
    tap(detail->moreButton());
    ASSERT_TRUE(runUntil([&] { return detail->topDataArray().size() == 7; }));
    EXPECT_EQ(replies(page2), 1);
    EXPECT_EQ(detail->devicePageNum(), 2u);

    // The service goes away: the next page fails, and the tap after asks for it again.
    server.stop();
    tap(detail->moreButton());
    ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(page3); }));
    EXPECT_EQ(detail->devicePageNum(), 2u);
    std::string error;
    ASSERT_TRUE(server.start(port, &error)) << error;
    tap(detail->moreButton());
    ASSERT_TRUE(runUntil([&] { return detail->topDataArray().size() == 9; }));
    EXPECT_EQ(replies(page3), 1);

    navigation(0)->popViewControllerAnimated(false);
    auto catalogue = openFromHome(true);
    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->leftLabel()->text(), "不含差旅费");
    EXPECT_FALSE(hasRow(*catalogue, 2, "设备成交价格"));
    EXPECT_FALSE(hasRow(*catalogue, 3, "差旅条件"));
    EXPECT_TRUE(hasRow(*catalogue, 3, "计划交通工具"));
    EXPECT_TRUE(hasRow(*catalogue, 3, "期望住宿条件"));
}

TEST_F(HomeInfoViewControllerTest, QuotePopUpFollowsTheGoodsRowsHaveWholeHeightsAndSwipesGoBack) {
    auto detail = openFromHome(true);
    ASSERT_TRUE(detail);
    // The catalogue product asks about travel first; declined, the amount follows.
    detail->setupPop_upWindowWithAskpriceID(inquiry);
    auto popup = shownPopup(navigation(0));
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "是否需要客户提供差旅费");
    popup->cancelBtnClick();
    popup = shownPopup(navigation(0));
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "请在此填写报价金额");
    EXPECT_EQ(popup->askPriceID(), inquiry);
    popup->forkBtnClick();

    // A price the service refuses leaves the screen unquoted once the reply is in.
    const std::string refused =
        "brisfoldID=" + app->APPUserID() + "&askpriceID=" + inquiry + "&price=1234567890";
    watch(refused);
    detail->sendOfferRequestWithContent("1234567890", inquiry);
    EXPECT_TRUE(detail->isOfferPrice());
    ASSERT_TRUE(runUntil([&] { return replies(refused) == 1; }));
    EXPECT_EQ(requests->replyForKey(refused)["code"], "0");
    EXPECT_FALSE(detail->isOfferPrice());

    // Heights in whole points: a device row 40, the quote row 80, a caption row what its texts
    // need; the table takes them as they are.
    const auto table = detail->tableView();
    EXPECT_EQ(detail->heightForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)), 40);
    const int last = table->numberOfSections() - 1;
    EXPECT_EQ(detail->heightForRowAtIndexPath(
                  NSIndexPath::indexPathForRow(table->numberOfRowsInSection(last) - 1, last)),
              80);
    const auto caption = NSIndexPath::indexPathForRow(0, 3);
    const auto& row = *detail->rowsOfSection(3)[0];
    EXPECT_EQ(detail->heightForRowAtIndexPath(caption),
              FactoryClass::heightOfCellWithTitleText(
                  row.titleStr(), row.subTitleStr(),
                  static_cast<int>(detail->view()->bounds().size.width), 16, false, false) +
                  20);
    EXPECT_EQ(*detail->tableViewHeightForRowAtIndexPath(table, caption),
              detail->heightForRowAtIndexPath(caption));

    // Sideways swipes go back, up or down ones do nothing.
    sendAddedSwipe(*detail, *detail->view(), UISwipeGestureRecognizerDirectionDown);
    EXPECT_EQ(navigation(0)->topViewController(), detail);
    swipe(260, 40);
    EXPECT_NE(navigation(0)->topViewController(), detail);
}

TEST_F(HomeInfoViewControllerTest, StarWritesTheStoreCallOpensTheNumberAndAQuoteReloads) {
    auto detail = openFromHome(false);
    ASSERT_TRUE(detail);
    // A star, outlined until starred and filled then: its centre shows the state.
    const auto starCentre = [&] {
        const auto b = detail->faverateBtn();
        const CGRect f = b->convertRectToView(b->bounds(), nullptr);
        return testsupport::screenPixel(host.compose(), CGRectGetMidX(f),
                                        f.origin.y + f.size.height * 0.53);
    };
    const CGColor orange{240 / 255.0, 133 / 255.0, 25 / 255.0, 1};
    EXPECT_FALSE(testsupport::colourNear(starCentre(), orange, 0.15));
    tap(detail->faverateBtn());
    EXPECT_EQ(toast(), "收藏成功");
    EXPECT_TRUE(testsupport::colourNear(starCentre(), orange, 0.15));
    EXPECT_EQ(favouriteIDs(favoriteFile()), std::vector<std::string>{inquiry});
    EXPECT_TRUE(app->dataBaseUpdate());

    std::string removed;
    const auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        "didDeleteOneCollection", nullptr,
        [&](const NSNotification& n) { removed = n.userInfo.value("askPriceID", ""); });
    tap(detail->faverateBtn());
    NSNotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_EQ(removed, inquiry);
    EXPECT_TRUE(favouriteIDs(favoriteFile()).empty());

    tap(detail->phoneBtn());
    ASSERT_FALSE(UIApplication::sharedApplication()->openedURLs().empty());
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs().back(), "tel:" + detail->phoneNum());
    // Whatever the reply put in the number stays inside the URL.
    EXPECT_EQ(inquiry::telURL("010 8888;ext=1"), "tel:010%208888%3Bext%3D1");
    EXPECT_TRUE(UIApplication::sharedApplication()->openURL(inquiry::telURL("010 8888;ext=1")));

    // A quotation reloads the detail, which keeps what it showed, and the home list.
    const std::string phone = detail->phoneNum();
    const std::string quote =
        "brisfoldID=" + app->APPUserID() + "&askpriceID=" + inquiry + "&price=1234";
    const std::string listPage1 =
        "brisfoldID=" + app->APPUserID() + "&IsOffer=0&rows=10&pageindex=1&lastDateTime=";
    watch(quote);
    watch(listPage1);
    const int sections = detail->tableView()->numberOfSections();
    auto quoteRow = cellOf<HomeInfoCell>(
        detail->tableView(), detail->tableView()->numberOfRowsInSection(sections - 1) - 1,
        sections - 1);
    ASSERT_TRUE(quoteRow && quoteRow->quoteButton());
    tap(quoteRow->quoteButton());
    enterAmount(navigation(0), "1234");
    ASSERT_TRUE(runUntil([&] { return replies(detailBody) == 2 && replies(listPage1) == 1; }));
    EXPECT_EQ(replies(quote), 1);
    EXPECT_FALSE(detail->titleLabel()->text().empty());
    EXPECT_EQ(detail->phoneNum(), phone);
    EXPECT_FALSE(detail->rowsOfSection(2).empty());
    EXPECT_FALSE(detail->isOfferPrice());
}

class OfferScreensTest : public InquiryScreensFixture {
  protected:
    // The quotation tab, with its first page.
    void SetUp() override {
        InquiryScreensFixture::SetUp();
        firstPage =
            "brisfoldID=" + app->APPUserID() + "&IsOffer=1&rows=10&pageindex=1&lastDateTime=";
        notWonPage = "brisfoldID=" + app->APPUserID() + "&IsOffer=2&rows=10&pageindex=1";
        watch(firstPage);
        watch(notWonPage);
        app->tabBarController()->setSelectedIndex(1);
        list = std::dynamic_pointer_cast<OfferMiddleViewController>(tabList(1));
        ASSERT_TRUE(list);
        ASSERT_TRUE(
            runUntil([&] { return replies(firstPage) == 1 && !list->dataArray().empty(); }));
    }
    // Taps the card of the row and waits for the detail's reply.
    std::shared_ptr<OfferInfoViewController> openRow(size_t row) {
        if (!runUntil([] { return !FactoryClass::isLoadingShown(); })) return nullptr;
        const std::string id = list->dataArray()[row]->askPriceIDStr();
        const std::string body = "engineerID=" + app->APPUserID() + "&askpriceID=" + id;
        watch(body);
        const int before = replies(body);
        tap(cellOf<OfferCell>(list->tableView(), static_cast<int>(row))->subTitleLabel());
        auto detail =
            std::dynamic_pointer_cast<OfferInfoViewController>(navigation(1)->topViewController());
        if (!detail || !runUntil([&] { return replies(body) == before + 1; })) return nullptr;
        return detail;
    }
    std::shared_ptr<OfferMiddleViewController> list;
    std::string firstPage;
    std::string notWonPage;
};

TEST_F(OfferScreensTest, TabsBySegmentAndSwipeNotWonHasNoQuoteButtonAndAFinalPrice) {
    for (const auto& row : list->dataArray()) EXPECT_EQ(row->sectionStr(), "offer_ing");
    EXPECT_FALSE(cellOf<OfferCell>(list->tableView(), 0)->offerButton()->isHidden());
    screenshot("my-quotations.png");

    // A right swipe on the first tab goes round to the last. It is made over the list's footer:
    // over a row, the table also takes a sideways stroke, which it cannot scroll, for a tap.
    const auto table = list->tableView();
    table->setContentOffset(
        CGPointMake(0, table->contentSize().height - table->bounds().size.height));
    const CGRect footer =
        table->tableFooterView()->convertRectToView(table->tableFooterView()->bounds(), nullptr);
    swipe(40, 260, CGRectGetMidY(footer));
    EXPECT_EQ(navigation(1)->viewControllers().size(), 1u);
    ASSERT_TRUE(runUntil([&] { return replies(notWonPage) == 1; }));
    EXPECT_EQ(list->currentSelectSectionStr(), "未中签");
    ASSERT_TRUE(runUntil([&] {
        return !list->dataArray().empty() && list->dataArray()[0]->sectionStr() == "offer_not";
    }));
    auto card = cellOf<OfferCell>(list->tableView(), 0);
    EXPECT_TRUE(card->offerButton()->isHidden());
    EXPECT_EQ(card->favrateButton()->frame().size.width, card->contentFrame().size.width);

    auto detail = openRow(0);
    ASSERT_TRUE(detail);
    const int last = detail->tableView()->numberOfSections() - 1;
    EXPECT_EQ(detail->tableView()->numberOfRowsInSection(last), 1);  // the remark, no quote row
    const int final = rowTitled(*detail, 2, "最终报价");
    ASSERT_GE(final, 0);
    auto cell = cellOf<OfferInfoCell>(detail->tableView(), final, 2);
    EXPECT_TRUE(cell->contentTextView()->textColor()->isEqual(*UIColor::redColor()));
    navigation(1)->popViewControllerAnimated(false);

    // The title bar's first title brings the first tab back.
    tap(list->segmentBar()->viewWithTag(10)->subviews().front());
    ASSERT_TRUE(runUntil([&] {
        return !list->dataArray().empty() && list->dataArray()[0]->sectionStr() == "offer_ing";
    }));

    // The tab switch ended with its list: a quotation the service refuses leaves the rows.
    const size_t rows = list->dataArray().size();
    const std::string refused = "brisfoldID=" + app->APPUserID() +
                                "&askpriceID=" + list->dataArray()[0]->askPriceIDStr() +
                                "&price=1234567890";
    watch(refused);
    tap(cellOf<OfferCell>(list->tableView(), 0)->offerButton());
    enterAmount(navigation(1), "1234567890");
    ASSERT_TRUE(runUntil([&] { return replies(refused) == 1; }));
    EXPECT_EQ(requests->replyForKey(refused)["code"], "0");
    EXPECT_EQ(list->dataArray().size(), rows);

    // A pull-down invites a pull-up again.
    list->bottomLabel()->setText("已经是最后页");
    list->refreshViewBeginRefreshing(nullptr);
    EXPECT_EQ(list->bottomLabel()->text(), "上拉可以加载页面");
}

TEST_F(OfferScreensTest, RepliesAreLoggedSwipesOnlySidewaysAndQuotingAgainAsksTheAmount) {
    testsupport::LogCapture log;
    const nlohmann::json listless = {{"pageindex", 1}, {"totalPages", 1}};
    list->updateDataWithDictionary(listless);
    EXPECT_TRUE(log.contains("offer:" + describe(listless)));
    EXPECT_TRUE(log.contains("数据不存在"));
    EXPECT_TRUE(list->dataArray().empty());

    // The table's two swipes change the tab; an up or down one does nothing, and a recogniser
    // of no one direction is only logged.
    const auto up = sendAddedSwipe(*list, *list->tableView(), UISwipeGestureRecognizerDirectionUp);
    EXPECT_FALSE(log.contains("no swipe"));
    up->setDirection(UISwipeGestureRecognizerDirectionUp | UISwipeGestureRecognizerDirectionLeft);
    list->swipAction(*up);
    EXPECT_TRUE(log.contains("no swipe"));
    EXPECT_EQ(list->currentSelectSectionStr(), "询价中");
    EXPECT_FALSE(requests->isInFlight(notWonPage));

    // Quoting again is the plain amount, whatever the goods.
    list->setupPop_upWindowWithAskpriceID("A1");
    const auto popup = shownPopup(navigation(1));
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->waterMark(), "请在此填写报价金额");
    EXPECT_EQ(popup->askPriceID(), "A1");
    popup->forkBtnClick();
}

TEST_F(OfferScreensTest, DetailShowsThreeEarlierPricesAndAnEditedRemarkGoesWithTheCurrentPrice) {
    const std::string inquiry = quotedFiveTimes();
    size_t row = 0;
    while (row < list->dataArray().size() && list->dataArray()[row]->askPriceIDStr() != inquiry)
        ++row;
    ASSERT_LT(row, list->dataArray().size());
    auto detail = openRow(row);
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->currentOfferStr(), "4200");
    const int history = rowTitled(*detail, 2, "历史报价");
    ASSERT_GE(history, 0);
    auto cell = cellOf<OfferInfoCell>(detail->tableView(), history, 2);
    ASSERT_EQ(cell->historyLabels().size(), 3u);
    EXPECT_EQ(cell->history_oneLabel()->text(), "4400");
    EXPECT_EQ(cell->history_twoLabel(), cell->historyLabels()[1]);
    EXPECT_EQ(cell->history_threeLabel()->text(), "4800");
    screenshot("quotation-detail.png");
    // A row of one earlier price has one box.
    const auto one = OfferInfoCell::create("offerInfoCell");
    one->setupUIConfigWithFrame(CGRectMake(0, 0, 320, 40), 4, 1, {}, nullptr);
    EXPECT_TRUE(one->history_oneLabel());
    EXPECT_FALSE(one->history_twoLabel());
    EXPECT_FALSE(one->history_threeLabel());

    const int remarkSection = detail->tableView()->numberOfSections() - 1;
    auto remarkCell = cellOf<OfferInfoCell>(detail->tableView(), 0, remarkSection);
    ASSERT_TRUE(remarkCell && remarkCell->contentLabel());
    EXPECT_EQ(remarkCell->contentLabel()->text(), "需客户提供机房门禁卡");
    // The row's arrow stands beside the remark, not over its end.
    for (const auto& v : remarkCell->contentView()->subviews()) {
        if (std::dynamic_pointer_cast<UIImageView>(v)) {
            EXPECT_FALSE(CGRectIntersectsRect(v->frame(), remarkCell->contentLabel()->frame()));
        }
    }
    tap(remarkCell->contentLabel());
    auto remark =
        std::dynamic_pointer_cast<RemarkViewController>(navigation(1)->topViewController());
    ASSERT_TRUE(remark);
    ASSERT_TRUE(runUntil([&] { return remark->contentTextView() != nullptr; }));
    tap(remark->contentTextView());
    ASSERT_TRUE(host.typeText("，周末"));
    const std::string edited = "需客户提供机房门禁卡，周末";
    const std::string body = "brisfoldID=" + app->APPUserID() + "&askpriceID=" + inquiry +
                             "&price=4200&remark=" + edited;
    watch(body);
    tap(CustomNavBar::shareManager()->rightButton());
    const std::string detailBody = "engineerID=" + app->APPUserID() + "&askpriceID=" + inquiry;
    ASSERT_TRUE(runUntil([&] { return replies(body) == 1 && replies(detailBody) == 2; }));
    EXPECT_EQ(navigation(1)->topViewController(), detail);

    navigation(1)->popViewControllerAnimated(false);
    auto again = openRow(row);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->remarkStr(), edited);
}

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
    int blockCalls = 0;
    std::string handed;
};

TEST_F(RemarkFavoritesSearchTest, RemarkConfirmHandsTheTextOnceBackAndSwipeDoNotNoticeShowsLast) {
    auto remark = openRemark("原来", false);
    // The confirm item carries its word, and the title's last character shows: white ink over
    // the bar at its right end.
    EXPECT_EQ(CustomNavBar::shareManager()->rightButton()->titleForState(UIControlStateNormal),
              "确定");
    EXPECT_EQ(CustomNavBar::shareManager()->titleLabel()->text(), "添加备注");
    // The system bar, hidden under the page's own, has its look and back item set all the same.
    const auto& attributes = navigation(0)->navigationBar()->titleTextAttributes();
    ASSERT_TRUE(attributes.font && attributes.foregroundColor);
    EXPECT_EQ(attributes.font->pointSize(), 19);
    EXPECT_TRUE(attributes.foregroundColor->isEqual(*inquiry::accentColor()));
    const auto systemBack = std::dynamic_pointer_cast<UIButton>(
        remark->navigationItem()->leftBarButtonItem()->customView());
    ASSERT_TRUE(systemBack);
    EXPECT_EQ(systemBack->frame().size, CGSizeMake(25, 25));
    EXPECT_EQ(systemBack->backgroundImageForState(UIControlStateSelected),
              UIImage::imageNamed("ic_back_arrow_selected_orige.png"));
    const auto image = host.compose();
    int ink = 0;
    for (CGFloat x = 178; x < 196; x += 0.5)
        for (CGFloat y = 30; y < 56; y += 0.5)
            if (testsupport::coloursClose(testsupport::screenPixel(image, x, y),
                                          testsupport::kWhite, 0.1))
                ++ink;
    EXPECT_GT(ink, 20);
    tap(remark->contentTextView());
    ASSERT_TRUE(host.typeText("的"));
    // Another screen over it and back: the text being edited stays.
    const auto textView = remark->contentTextView();
    navigation(0)->pushViewController(UIViewController::create(), false);
    navigation(0)->popViewControllerAnimated(false);
    host.runFor(0);
    EXPECT_EQ(remark->contentTextView(), textView);
    EXPECT_EQ(textView->text(), "原来的");
    // The page's text is the engineer's: nothing else replaces it.
    remark->updateDataSourceWithStr("别的");
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
    testsupport::LogCapture log;
    sendAddedSwipe(*remark, *remark->view(), UISwipeGestureRecognizerDirectionUp);
    EXPECT_TRUE(isTop(remark));
    EXPECT_FALSE(log.contains("no swipe"));
    swipe(40, 260);
    EXPECT_FALSE(isTop(remark));
    EXPECT_EQ(blockCalls, 1);
    // The system bar's back item goes back too, handing nothing.
    remark = openRemark("不要", false);
    std::static_pointer_cast<UIButton>(remark->navigationItem()->leftBarButtonItem()->customView())
        ->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(isTop(remark));
    EXPECT_EQ(blockCalls, 1);

    // Notice mode, with two notices on the service: the last one stays on the page.
    devserver::Database(server.dataFile()).run("DELETE FROM notices WHERE notice_id > 2");
    auto notice = openRemark("", true);
    ASSERT_TRUE(runUntil([&] { return requests->replyForKey("")["List"].size() == 2; }));
    const auto list = requests->replyForKey("")["List"];
    EXPECT_TRUE(log.contains("RemarkVC:" + describe(requests->replyForKey(""))));
    EXPECT_EQ(notice->contentTextView()->text(),
              UIWebViewTextFromHTML(list[1]["Detail"].get<std::string>()));
    EXPECT_EQ(notice->noticeTitle(), list[1]["NoticeName"]);
    tap(CustomNavBar::shareManager()->rightButton());
    EXPECT_FALSE(isTop(notice));
}

TEST_F(RemarkFavoritesSearchTest, FavoritesListDeleteInEditModeAndFollowTheDetail) {
    std::vector<std::string> starred;
    for (int row = 0; row < 3; ++row) {
        tap(cellOf<HomeCell>(home->tableView(), row)->favrateButton());
        starred.push_back(home->dataArray()[static_cast<size_t>(row)]->askPriceIDStr());
    }
    ASSERT_EQ(favouriteIDs(favoriteFile()), starred);

    auto favorites = openFavorites();
    std::vector<std::string> listed;
    for (const auto& row : favorites->dataArray()) listed.push_back(row->askPriceIDStr());
    EXPECT_EQ(listed, starred);
    // A quotation reply is only reported: without a tip it has nothing to show.
    ASSERT_TRUE(runUntil([&] { return !toastShown(); }));
    {
        testsupport::LogCapture log;
        favorites->updateDataWithDictionary({{"code", "1"}, {"tip", ""}});
        EXPECT_FALSE(toastShown());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"成功"});
        favorites->updateDataWithDictionary({{"code", 0}});
        EXPECT_EQ(log.lines().back(), "失败");
        const nlohmann::json neither = {{"List", nlohmann::json::array()}};
        favorites->updateDataWithDictionary(neither);
        EXPECT_EQ(log.lines().back(), "favorate:" + describe(neither));
        EXPECT_EQ(favorites->dataArray().size(), 3u);
    }

    tap(CustomNavBar::shareManager()->rightButton());
    ASSERT_TRUE(favorites->isEditing());
    tap(cellOf<HomeCell>(favorites->tableView(), 0)->subTitleLabel());
    tap(cellOf<HomeCell>(favorites->tableView(), 2)->subTitleLabel());
    EXPECT_EQ(favorites->selectArray().size(), 2u);
    screenshot("favourites-edit.png");
    tap(favorites->deletePartButton());
    EXPECT_EQ(favouriteIDs(favoriteFile()), std::vector<std::string>{starred[1]});
    EXPECT_TRUE(favorites->isEditing());
    EXPECT_TRUE(app->dataBaseUpdate());

    // Nothing selected: a hint, and the store's changed mark stays as it was.
    tap(favorites->deletePartButton());
    EXPECT_EQ(toast(), "先选择后删除");
    EXPECT_TRUE(app->dataBaseUpdate());

    tap(favorites->deleteAllButton());
    EXPECT_TRUE(favouriteIDs(favoriteFile()).empty());
    EXPECT_FALSE(favorites->isEditing());
    EXPECT_TRUE(favorites->dataArray().empty());

    // A favourite unstarred on its detail leaves the open list.
    favorites->backButtonClick();
    ASSERT_TRUE(runUntil([&] { return navigation(0)->topViewController() != favorites; }));
    tap(cellOf<HomeCell>(home->tableView(), 0)->favrateButton());
    favorites = openFavorites();
    ASSERT_EQ(favorites->dataArray().size(), 1u);
    const std::string body = "engineerID=" + app->APPUserID() + "&askpriceID=" + starred[0];
    watch(body);
    tap(cellOf<HomeCell>(favorites->tableView(), 0)->subTitleLabel());
    auto detail =
        std::dynamic_pointer_cast<HomeInfoViewController>(navigation(0)->topViewController());
    ASSERT_TRUE(detail);
    ASSERT_TRUE(runUntil([&] { return replies(body) == 1; }));
    tap(detail->faverateBtn());
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_TRUE(favorites->dataArray().empty());
    EXPECT_TRUE(favouriteIDs(favoriteFile()).empty());
}

TEST_F(RemarkFavoritesSearchTest, CardsInEditModeNarrowBesideTheirMarksAndStayOnScreen) {
    for (int row = 0; row < 3; ++row)
        tap(cellOf<HomeCell>(home->tableView(), row)->favrateButton());
    auto favorites = openFavorites();
    tap(CustomNavBar::shareManager()->rightButton());
    ASSERT_TRUE(favorites->isEditing());
    const auto card = cellOf<HomeCell>(favorites->tableView(), 1);
    ASSERT_TRUE(card);
    // Laid out as the screen is drawn.
    const auto image = host.compose();
    const CGFloat screen = host.window()->bounds().size.width;
    const auto inWindow = [](const std::shared_ptr<UIView>& v) {
        return v->convertRectToView(v->bounds(), nullptr);
    };
    const CGRect panel = inWindow(card->pannelView());
    EXPECT_NEAR(panel.origin.x, UITableViewCell::kSelectionMarkWidth + 5, 0.01);
    EXPECT_NEAR(CGRectGetMaxX(panel), screen - 5, 0.01);
    for (const auto& v : std::initializer_list<std::shared_ptr<UIView>>{
             card->timeLabel(), card->favrateButton(), card->offerButton()})
        EXPECT_LE(CGRectGetMaxX(inWindow(v)), CGRectGetMaxX(panel) + 0.01);
    EXPECT_EQ(card->favrateButton()->titleForState(UIControlStateNormal), "取消收藏");
    EXPECT_TRUE(readsWhole(*card->timeLabel())) << card->timeLabel()->text();

    // On screen: the card's white ends 5 points short of the edge, where the list's grey shows,
    // and the favourite button's yellow reaches the card's end.
    const CGFloat middle = panel.origin.y + 37;  // between the first two lines
    const CGColor listGrey{229.0 / 255, 229.0 / 255, 229.0 / 255, 1};
    EXPECT_TRUE(testsupport::colourNear(testsupport::screenPixel(image, screen - 2, middle),
                                        listGrey, 0.03));
    EXPECT_TRUE(testsupport::colourNear(testsupport::screenPixel(image, screen - 8, middle),
                                        testsupport::kWhite, 0.03));
    const CGRect favourite = inWindow(card->favrateButton());
    const CGColor yellow =
        testsupport::screenPixel(image, CGRectGetMidX(favourite), favourite.origin.y + 3);
    EXPECT_TRUE(testsupport::colourNear(
        testsupport::screenPixel(image, CGRectGetMaxX(favourite) - 3, favourite.origin.y + 3),
        yellow, 0.03));
    EXPECT_TRUE(testsupport::colourNear(
        testsupport::screenPixel(image, screen - 2, favourite.origin.y + 3), listGrey, 0.03));

    // Out of edit mode the card has the whole row again.
    tap(CustomNavBar::shareManager()->rightButton());
    host.compose();
    EXPECT_NEAR(inWindow(card->pannelView()).origin.x, 5, 0.01);
    EXPECT_NEAR(CGRectGetMaxX(inWindow(card->pannelView())), screen - 5, 0.01);
}

TEST_F(RemarkFavoritesSearchTest, SearchSendsTheChosenIDsAndListsOnlyMatchingInquiries) {
    for (const char* body : {"Index=SSHY", "Index=SBCS", "Index=SBLX", "Index=GOODSNAME"})
        watch(body);
    // The home list's right item is the search: grey, orange while pressed.
    const auto item = CustomNavBar::shareManager()->rightButton();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->imageForState(UIControlStateNormal),
              UIImage::imageNamed("ic_search_normal.png"));
    EXPECT_EQ(item->imageForState(UIControlStateSelected),
              UIImage::imageNamed("ic_search_selected.png"));
    EXPECT_TRUE(UIImage::imageNamed("ic_search_selected.png"));
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
        ASSERT_FALSE(search->choices(group).empty());
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

// The screen the engineer quoted from: counts the refreshes the travel screen asks for.
class QuotingScreen : public UIViewController, public CustomVC {
  public:
    static std::shared_ptr<QuotingScreen> create() {
        return std::shared_ptr<QuotingScreen>(new QuotingScreen());
    }
    void doRefresh() override { ++refreshes; }
    int refreshes = 0;

  private:
    QuotingScreen() = default;
};

// The signed-in engineer on the home tab's navigation stack, with the quoting screen on top and
// the travel screen pushed over it for an open inquiry of the travel-excluded product.
class TravelTest : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        userID = app->APPUserID();
        askPriceID =
            stored("SELECT ask_price_id FROM inquiries WHERE goods_id = ? AND ordered = 0 LIMIT 1",
                   std::string(kTravelExcludedGoodsID));
        ASSERT_FALSE(askPriceID.empty());
        // Signing in loads the home list behind its overlay, which would take the first tap.
        ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
        nav = navigation(0);
        ASSERT_TRUE(nav);
        nav->pushViewController(quoting, false);
        travel = TravelViewController::create(askPriceID, quoting);
        nav->pushViewController(travel, true);
        ASSERT_TRUE(runUntil([&] { return travel->isAppeared(); }));
    }
    void TearDown() override {
        EXPECT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
        MessagesFixture::TearDown();
    }

    // Submits and waits for the service's answer to exactly this body.
    void submitExpecting(const std::string& body) {
        tapView(host, travel->submitButton());
        ASSERT_TRUE(requests->isInFlight(body));
        ASSERT_TRUE(runUntil([&] { return !requests->isInFlight(body); }));
        EXPECT_FALSE(requests->replyForKey(body).is_null());
    }

    std::string userID;
    std::string askPriceID;
    std::shared_ptr<UINavigationController> nav;
    std::shared_ptr<QuotingScreen> quoting = QuotingScreen::create();
    std::shared_ptr<TravelViewController> travel;
};

TEST_F(TravelTest, AcceptedQuotationIsStoredRefreshesTheQuotingScreenAndGoesBack) {
    tapView(host, travel->transportButtons()[2]);
    tapView(host, travel->hotelButtons()[1]);
    EXPECT_TRUE(travel->transportButtons()[2]->isSelected());
    EXPECT_FALSE(travel->transportButtons()[0]->isSelected());
    tapView(host, travel->priceField());
    ASSERT_TRUE(host.typeText("1200"));
    ASSERT_NO_FATAL_FAILURE(submitExpecting("brisfoldID=" + userID + "&askpriceID=" + askPriceID +
                                            "&transID=3&hotelID=2&price=1200"));

    EXPECT_EQ(quoting->refreshes, 1);
    EXPECT_EQ(toast(), "报价成功");
    EXPECT_EQ(nav->topViewController(), quoting);

    devserver::Database db(server.dataFile());
    auto offer = db.query(
        "SELECT price, trans_id, hotel_id FROM offers WHERE ask_price_id = ? AND engineer_id = ? "
        "ORDER BY offer_id DESC LIMIT 1",
        askPriceID, userID);
    ASSERT_TRUE(offer.step());
    EXPECT_EQ(offer.integer(0), 1200);
    EXPECT_EQ(offer.text(1), "3");
    EXPECT_EQ(offer.text(2), "2");
}

TEST_F(TravelTest, RefusedOrEmptyQuotationShowsWhyAndStaysAndTheLeftItemGoesBack) {
    const auto offers = [&] {
        devserver::Database db(server.dataFile());
        return db.scalar("SELECT COUNT(*) FROM offers");
    };
    const int64_t before = offers();
    tapView(host, travel->submitButton());
    EXPECT_EQ(toast(), "报价金额不可为空(如无需求,可填写'0')");

    // An amount that tries to bring in keys of its own (the decimal pad types no such text, a
    // paste can leave it) stays one value: the service reads it as an amount and refuses it.
    travel->priceField()->setText("1&hotelID=9=");
    ASSERT_NO_FATAL_FAILURE(submitExpecting("brisfoldID=" + userID + "&askpriceID=" + askPriceID +
                                            "&transID=1&hotelID=1&price=1%26hotelID%3D9%3D"));
    EXPECT_EQ(toast(), "报价金额无效，请填写金额(最多两位小数)");
    EXPECT_EQ(quoting->refreshes, 0);
    EXPECT_EQ(nav->topViewController(), travel);
    EXPECT_EQ(offers(), before);

    // The bar's left item goes back without quoting.
    const auto bar = CustomNavBar::shareManager();
    ASSERT_EQ(bar->superview(), travel->view());
    EXPECT_EQ(bar->titleLabel()->text(), "差旅报价");
    tapView(host, bar->leftButton());
    EXPECT_EQ(nav->topViewController(), quoting);
    EXPECT_EQ(quoting->refreshes, 0);
    ASSERT_TRUE(runUntil([&] { return !travel->isAppeared(); }));
    EXPECT_NE(bar->superview(), travel->view());
}

}  // namespace
