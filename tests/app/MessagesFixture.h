#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "Database.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSNotificationCenter.h"
#include "MapDataAtExit.h"
#include "ShellHome.h"
#include "TestDevServer.h"
#include "TestHTTPServer.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UIWindow.h"
#include "VAvaSearchServices.h"
#include "host/HeadlessHost.h"
#include "inquiries/Pop_upWindow.h"
#include "messages/MessageViewController.h"
#include "orders/OrderInfoViewController.h"
#include "orders/OrderMiddleViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/LoginView.h"
#include "shell/ShowAlertView.h"
#include "shell/TabContainerViewController.h"

// The app signed in as the first sample engineer against a devserver of its own, on a headless
// screen, with the position from a location file. Replies of the request layer can be counted
// by their body.
class MessagesFixture : public ::testing::Test {
  protected:
    static constexpr size_t kOrderTab = 2;
    static constexpr size_t kMessageTab = 3;

    void SetUp() override {
        // Keys repeat from test to test (the same seed, the same engineer): a reply kept from an
        // earlier one would pass for this one's.
        requests->forgetReplies();
        std::string error;
        ASSERT_TRUE(server.start(0, &error)) << error;
        launch();
    }
    void TearDown() override {
        // The screens' last requests are answered here: once the server is gone they would fail
        // later, into whatever the next test shows.
        EXPECT_TRUE(testsupport::runUntil([&] { return !requests->hasRequestsInFlight(); }));
        for (const auto& [body, token] : watched_)
            NSNotificationCenter::defaultCenter()->removeObserver(token);
        CLLocationManager::setSource(nullptr);
        server.stop();
    }
    // The position comes from a location file, as the app takes it from --location.
    void locateAt(const std::string& latitudeLongitude) {
        const auto file = shellHome.dir.path() / "track.txt";
        std::ofstream(file) << "0 fix " << latitudeLongitude << " 10\n";
        std::string error;
        const auto source = CLLocationSource::fromFile(file.string(), &error);
        ASSERT_TRUE(source) << error;
        CLLocationManager::setSource(source);
    }
    void launch() {
        locateAt("23.12911 113.26436");
        app = BrisfoldAppDelegate::launch(
            host.window(), "http://127.0.0.1:" + std::to_string(server.port()) + "/");
        auto login = app->loginView();
        ASSERT_TRUE(login);
        if (!app->autoLogin()) {
            login->userField()->setText("zhangwei");
            login->passwordField()->setText("zw123456");
            login->loginButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        }
        ASSERT_TRUE(testsupport::runUntil([&] { return !app->loginView(); }));
    }

    // From now on, counts the replies to requests with this body.
    void watch(const std::string& body) {
        if (watched_.count(body)) return;
        watched_[body] = NSNotificationCenter::defaultCenter()->addObserverForName(
            body, nullptr, [this, body](const NSNotification&) { ++replies_[body]; });
    }
    int replies(const std::string& body) { return replies_[body]; }
    std::string engineer() const { return "brisfoldID=" + app->APPUserID(); }
    std::shared_ptr<UINavigationController> navigation(size_t tab) {
        return std::dynamic_pointer_cast<UINavigationController>(
            app->tabBarController()->viewControllers().at(tab));
    }
    // Shows the messages tab and waits for its first page.
    std::shared_ptr<MessageMiddleViewController> showMessages() {
        app->tabBarController()->setSelectedIndex(kMessageTab);
        auto container = std::dynamic_pointer_cast<MessageViewController>(
            navigation(kMessageTab)->topViewController());
        EXPECT_TRUE(container);
        if (!container) return nullptr;
        container->view();
        EXPECT_TRUE(testsupport::runUntil(
            [&] { return container->midVC() && !container->midVC()->dataArray().empty(); }));
        return container->midVC();
    }
    // Shows the orders tab and waits for its first page.
    std::shared_ptr<OrderMiddleViewController> showOrders() {
        app->tabBarController()->setSelectedIndex(kOrderTab);
        auto container = std::dynamic_pointer_cast<TabContainerViewController>(
            navigation(kOrderTab)->topViewController());
        EXPECT_TRUE(container);
        if (!container) return nullptr;
        container->view();
        auto list = std::dynamic_pointer_cast<OrderMiddleViewController>(container->listScreen());
        EXPECT_TRUE(list);
        if (!list) return nullptr;
        EXPECT_TRUE(testsupport::runUntil([&] { return list->dataArray().size() == 10; }));
        return list;
    }
    // Once the loading overlay, which takes every touch, has gone.
    void tap(const std::shared_ptr<UIView>& view) {
        ASSERT_TRUE(view);
        ASSERT_TRUE(testsupport::runUntil([] { return !FactoryClass::isLoadingShown(); }));
        const CGRect f = view->convertRectToView(view->bounds(), nullptr);
        host.tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
        host.runFor(0);
    }
    std::shared_ptr<UITableViewCell> cellAt(const std::shared_ptr<UITableView>& table, int row,
                                            int section = 0) {
        const auto path = NSIndexPath::indexPathForRow(row, section);
        table->scrollToRowAtIndexPath(path, UITableViewScrollPositionTop, false);
        host.runFor(0);
        return table->cellForRowAtIndexPath(path);
    }
    template <class Cell>
    std::shared_ptr<Cell> cellOf(const std::shared_ptr<UITableView>& table, int row,
                                 int section = 0) {
        return std::dynamic_pointer_cast<Cell>(cellAt(table, row, section));
    }
    // The row of the detail's section whose caption is the title; -1 when none.
    template <class Detail>
    static int rowTitled(const Detail& detail, int section, const std::string& title) {
        const auto& rows = detail.rowsOfSection(section);
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i]->titleStr() == title) return static_cast<int>(i);
        return -1;
    }
    // A finger pulls the list 70 points past its end and lets go, for the next page.
    template <class List>
    void pullPastEnd(List& list) {
        const auto table = list.tableView();
        list.scrollViewWillBeginDragging(table);
        const CGFloat content = table->contentSize().height;
        const CGFloat height = table->frame().size.height;
        table->setContentOffset(CGPointMake(0, (content >= height ? content - height : 0) + 70));
        list.scrollViewDidScroll(table);
        list.scrollViewDidEndDragging(table, false);
    }
    // The directions of the view's swipe recognisers, in the order they were added.
    static std::vector<unsigned> swipesOn(const UIView& view) {
        std::vector<unsigned> directions;
        for (const auto& r : view.gestureRecognizers())
            if (auto swipe = std::dynamic_pointer_cast<UISwipeGestureRecognizer>(r))
                directions.push_back(swipe->direction());
        return directions;
    }
    // Has the screen add a swipe of the direction to the view, which then holds the screen's left
    // and right swipes and that one, and sends the screen the new one as a stroke would.
    template <class Screen>
    std::shared_ptr<UISwipeGestureRecognizer> sendAddedSwipe(Screen& screen, UIView& view,
                                                             unsigned direction) {
        screen.creatSwipeGesture(direction);
        EXPECT_EQ(swipesOn(view),
                  (std::vector<unsigned>{UISwipeGestureRecognizerDirectionLeft,
                                         UISwipeGestureRecognizerDirectionRight, direction}));
        auto added =
            std::static_pointer_cast<UISwipeGestureRecognizer>(view.gestureRecognizers().back());
        screen.swipAction(*added);
        return added;
    }
    std::shared_ptr<Pop_upWindow> shownPopup(const std::shared_ptr<UINavigationController>& nav) {
        for (const auto& v : nav->view()->subviews())
            if (auto p = std::dynamic_pointer_cast<Pop_upWindow>(v)) return p;
        return nullptr;
    }
    std::string toast() {
        for (const auto& v : host.window()->subviews())
            if (auto t = std::dynamic_pointer_cast<ShowAlertView>(v)) return t->message();
        return "";
    }
    std::string stored(const std::string& sql, const std::string& id) {
        devserver::Database db(server.dataFile());
        auto row = db.query(sql, id);
        if (!row.step()) return "";
        return row.text(0);
    }
    // The address search goes to a server that answers with the address only when the test
    // opens its gate.
    void searchAtGate(testsupport::TestHTTPServer& search, const std::string& address) {
        search.server().Post("/api/Search/ReGeocode", [&search, address](const httplib::Request&,
                                                                         httplib::Response& res) {
            search.waitAtGate();
            res.set_content(R"({"code":"1","regeocode":{"formattedAddress":")" + address +
                                R"(","addressComponent":{"province":"广东省",)"
                                R"("city":"广州市"}}})",
                            "application/json");
        });
        VAvaSearchServices::sharedServices()->setSearchServer(search.url("/"));
    }
    // With BRISFOLD_SCREENSHOT_DIR set, the screen as it stands goes there for the README.
    void screenshot(const std::string& name) {
        const char* dir = std::getenv("BRISFOLD_SCREENSHOT_DIR");
        if (!dir || !*dir) return;
        EXPECT_TRUE(testsupport::runUntil([&] { return toast().empty(); }));
        host.runFor(0.5);
        EXPECT_TRUE(host.writePNG((std::filesystem::path(dir) / name).string())) << name;
    }

    ShellHome shellHome;
    devserver::DevServer server{shellHome.dir.path() / "devserver.sqlite",
                                testsupport::devServerTestOptions()};
    HeadlessHost host;
    std::shared_ptr<BrisfoldAppDelegate> app;
    const std::shared_ptr<DataRequestManager> requests = DataRequestManager::shareManger();

  private:
    std::map<std::string, NSNotificationCenter::Token> watched_;
    std::map<std::string, int> replies_;
};
