#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "InquiryScreensFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIApplication.h"
#include "inquiries/HomeCell.h"
#include "inquiries/HomeInfoCell.h"
#include "inquiries/HomeInfoViewController.h"
#include "inquiries/InquiryScreenKit.h"

namespace {

using testsupport::runUntil;

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
            auto card = std::dynamic_pointer_cast<HomeCell>(
                cellAt(home->tableView(), static_cast<int>(row)));
            tap(card->subTitleLabel());
            auto detail = std::dynamic_pointer_cast<HomeInfoViewController>(
                navigation(0)->topViewController());
            if (!detail || !runUntil([&] { return replies(detailBody) == 1; })) return nullptr;
            return detail;
        }
        return nullptr;
    }
    std::vector<std::string> captions(const HomeInfoViewController& detail, int section) {
        std::vector<std::string> out;
        for (const auto& row : detail.rowsOfSection(section)) out.push_back(row->titleStr());
        return out;
    }
    std::string inquiry;
    std::string detailBody;
};

TEST_F(HomeInfoViewControllerTest, PlainAndCatalogueDetailsShowTheirRowsAndPageDevicesByThree) {
    auto detail = openFromHome(false);
    ASSERT_TRUE(detail);
    EXPECT_TRUE(requests->replyForKey(detailBody).is_object());
    // Only a tap on the arrow says there is no more.
    EXPECT_NE(toast(), "没有更多数据");
    screenshot("inquiry-detail.png");
    EXPECT_FALSE(detail->titleLabel()->text().empty());
    EXPECT_EQ(detail->leftLabel()->text(), "包含差旅费");
    EXPECT_EQ(detail->tableView()->numberOfSections(), 5);
    EXPECT_EQ(captions(*detail, 1).front(), "行业");
    const auto second = captions(*detail, 2);
    EXPECT_EQ(second.front(), "期望开工时间");
    EXPECT_NE(std::find(second.begin(), second.end(), "设备成交价格"), second.end());
    const auto third = captions(*detail, 3);
    EXPECT_NE(std::find(third.begin(), third.end(), "差旅条件"), third.end());
    EXPECT_EQ(std::find(third.begin(), third.end(), "计划交通工具"), third.end());
    const int lowest =
        static_cast<int>(std::find(second.begin(), second.end(), "当前最低报价") - second.begin());
    auto red = std::dynamic_pointer_cast<HomeInfoCell>(cellAt(detail->tableView(), lowest, 2));
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
    const auto cSecond = captions(*catalogue, 2);
    EXPECT_EQ(std::find(cSecond.begin(), cSecond.end(), "设备成交价格"), cSecond.end());
    const auto cThird = captions(*catalogue, 3);
    EXPECT_EQ(std::find(cThird.begin(), cThird.end(), "差旅条件"), cThird.end());
    EXPECT_NE(std::find(cThird.begin(), cThird.end(), "计划交通工具"), cThird.end());
    EXPECT_NE(std::find(cThird.begin(), cThird.end(), "期望住宿条件"), cThird.end());
}

TEST_F(HomeInfoViewControllerTest, QuoteReloadsTheDetailAndTheHomeList) {
    auto detail = openFromHome(false);
    ASSERT_TRUE(detail);
    const std::string phone = detail->phoneNum();
    const std::string quote =
        "brisfoldID=" + app->APPUserID() + "&askpriceID=" + inquiry + "&price=1234";
    const std::string listPage1 =
        "brisfoldID=" + app->APPUserID() + "&IsOffer=0&rows=10&pageindex=1&lastDateTime=";
    watch(quote);
    watch(listPage1);
    const int sections = detail->tableView()->numberOfSections();
    auto quoteRow = std::dynamic_pointer_cast<HomeInfoCell>(
        cellAt(detail->tableView(), detail->tableView()->numberOfRowsInSection(sections - 1) - 1,
               sections - 1));
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

TEST_F(HomeInfoViewControllerTest, StarWritesTheStoreAndCallOpensTheNumber) {
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
    EXPECT_EQ(storedIDs(favoriteFile()), std::vector<std::string>{inquiry});
    EXPECT_TRUE(app->dataBaseUpdate());

    std::string removed;
    const auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        "didDeleteOneCollection", nullptr,
        [&](const NSNotification& n) { removed = n.userInfo.value("askPriceID", ""); });
    tap(detail->faverateBtn());
    NSNotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_EQ(toast(), "取消收藏成功");
    EXPECT_EQ(removed, inquiry);
    EXPECT_TRUE(storedIDs(favoriteFile()).empty());

    tap(detail->phoneBtn());
    ASSERT_FALSE(UIApplication::sharedApplication()->openedURLs().empty());
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs().back(), "tel:" + detail->phoneNum());
    // Whatever the reply put in the number stays inside the URL.
    EXPECT_EQ(inquiry::telURL("010 8888;ext=1"), "tel:010%208888%3Bext%3D1");
    EXPECT_TRUE(UIApplication::sharedApplication()->openURL(inquiry::telURL("010 8888;ext=1")));
}

}  // namespace
