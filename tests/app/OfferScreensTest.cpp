#include <gtest/gtest.h>

#include <string>

#include "InquiryScreensFixture.h"
#include "inquiries/OfferCell.h"
#include "inquiries/OfferInfoCell.h"
#include "inquiries/OfferInfoViewController.h"
#include "inquiries/OfferMiddleViewController.h"
#include "inquiries/RemarkViewController.h"
#include "shell/CustomNavBar.h"

namespace {

using testsupport::runUntil;

class OfferScreensTest : public InquiryScreensFixture {
  protected:
    // Opens the quotation tab and waits for its first page.
    void openQuotations() {
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
        auto card =
            std::dynamic_pointer_cast<OfferCell>(cellAt(list->tableView(), static_cast<int>(row)));
        tap(card->subTitleLabel());
        auto detail =
            std::dynamic_pointer_cast<OfferInfoViewController>(navigation(1)->topViewController());
        if (!detail || !runUntil([&] { return replies(body) == before + 1; })) return nullptr;
        return detail;
    }
    // Row index of the caption in a detail section, or -1.
    int rowTitled(const OfferInfoViewController& detail, int section, const std::string& title) {
        const auto& rows = detail.rowsOfSection(section);
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i]->titleStr() == title) return static_cast<int>(i);
        return -1;
    }
    std::shared_ptr<OfferMiddleViewController> list;
    std::string firstPage;
    std::string notWonPage;
};

TEST_F(OfferScreensTest, TabsBySegmentAndSwipeNotWonHasNoQuoteButtonAndAFinalPrice) {
    openQuotations();
    for (const auto& row : list->dataArray()) EXPECT_EQ(row->sectionStr(), "offer_ing");
    EXPECT_FALSE(std::dynamic_pointer_cast<OfferCell>(cellAt(list->tableView(), 0))
                     ->offerButton()
                     ->isHidden());
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
    auto card = std::dynamic_pointer_cast<OfferCell>(cellAt(list->tableView(), 0));
    EXPECT_TRUE(card->offerButton()->isHidden());
    EXPECT_EQ(card->favrateButton()->frame().size.width, card->contentFrame().size.width);

    auto detail = openRow(0);
    ASSERT_TRUE(detail);
    const int last = detail->tableView()->numberOfSections() - 1;
    EXPECT_EQ(detail->tableView()->numberOfRowsInSection(last), 1);  // the remark, no quote row
    const int final = rowTitled(*detail, 2, "最终报价");
    ASSERT_GE(final, 0);
    auto cell = std::dynamic_pointer_cast<OfferInfoCell>(cellAt(detail->tableView(), final, 2));
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
    tap(std::dynamic_pointer_cast<OfferCell>(cellAt(list->tableView(), 0))->offerButton());
    enterAmount(navigation(1), "1234567890");
    ASSERT_TRUE(runUntil([&] { return replies(refused) == 1; }));
    EXPECT_EQ(requests->replyForKey(refused)["code"], "0");
    EXPECT_EQ(list->dataArray().size(), rows);
}

TEST_F(OfferScreensTest, DetailShowsThreeEarlierPricesAndAnEditedRemarkGoesWithTheCurrentPrice) {
    openQuotations();
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
    auto cell = std::dynamic_pointer_cast<OfferInfoCell>(cellAt(detail->tableView(), history, 2));
    ASSERT_EQ(cell->historyLabels().size(), 3u);
    EXPECT_EQ(cell->historyLabels()[0]->text(), "4400");
    EXPECT_EQ(cell->historyLabels()[2]->text(), "4800");
    screenshot("quotation-detail.png");

    const int remarkSection = detail->tableView()->numberOfSections() - 1;
    auto remarkCell =
        std::dynamic_pointer_cast<OfferInfoCell>(cellAt(detail->tableView(), 0, remarkSection));
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

}  // namespace

namespace {

TEST_F(OfferScreensTest, PullingDownInvitesAPullUpAgain) {
    openQuotations();
    list->bottomLabel()->setText("已经是最后页");
    list->refreshViewBeginRefreshing(nullptr);
    EXPECT_EQ(list->bottomLabel()->text(), "上拉可以加载页面");
}

}  // namespace
