#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MessagesFixture.h"
#include "inquiries/TravelViewController.h"
#include "shell/CustomNavBar.h"

namespace {

using testsupport::runUntil;

constexpr const char* kTravelExcluded = "1dc8b16a1f97465a9ece37e8b88216fb";

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

// The message on the window, when it shows the text.
bool toastShows(const Host& host, const std::string& text) {
    for (const auto& view : host.window()->subviews()) {
        auto message = std::dynamic_pointer_cast<ShowAlertView>(view);
        if (message && message->message() == text) return true;
    }
    return false;
}

// The signed-in engineer on the home tab's navigation stack, with the quoting screen on top and
// the travel screen pushed over it for an open inquiry of the travel-excluded product.
class TravelTest : public MessagesFixture {
  protected:
    void SetUp() override {
        MessagesFixture::SetUp();
        userID = app->APPUserID();
        askPriceID =
            stored("SELECT ask_price_id FROM inquiries WHERE goods_id = ? AND ordered = 0 LIMIT 1",
                   kTravelExcluded);
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

    void enterPrice(const std::string& price) {
        tapView(host, travel->priceField());
        ASSERT_TRUE(host.typeText(price));
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
    enterPrice("1200");
    ASSERT_NO_FATAL_FAILURE(submitExpecting("brisfoldID=" + userID + "&askpriceID=" + askPriceID +
                                            "&transID=3&hotelID=2&price=1200"));

    EXPECT_EQ(quoting->refreshes, 1);
    EXPECT_TRUE(toastShows(host, "报价成功"));
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
    EXPECT_TRUE(toastShows(host, "报价金额不可为空(如无需求,可填写'0')"));

    // An amount that tries to bring in keys of its own (the decimal pad types no such text, a
    // paste can leave it) stays one value: the service reads it as an amount and refuses it.
    travel->priceField()->setText("1&hotelID=9=");
    ASSERT_NO_FATAL_FAILURE(submitExpecting("brisfoldID=" + userID + "&askpriceID=" + askPriceID +
                                            "&transID=1&hotelID=1&price=1%26hotelID%3D9%3D"));
    EXPECT_TRUE(toastShows(host, "报价金额无效，请填写金额(最多两位小数)"));
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
