#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "Database.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSNotificationCenter.h"
#include "ShellHome.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWindow.h"
#include "host/HeadlessHost.h"
#include "inquiries/MiddleViewController.h"
#include "inquiries/Pop_upWindow.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/LoginView.h"
#include "shell/ShowAlertView.h"
#include "shell/TabContainerViewController.h"

// The askPriceID column of favorite.db, read straight from the file.
inline std::vector<std::string> storedIDs(const std::filesystem::path& file) {
    std::vector<std::string> ids;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, "SELECT askPriceID FROM favoriteInfo ORDER BY id", -1, &select,
                           nullptr);
        while (select && sqlite3_step(select) == SQLITE_ROW)
            ids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
        sqlite3_finalize(select);
    }
    sqlite3_close(db);
    return ids;
}

// The app signed in as the first sample engineer against a devserver of its own, on a headless
// screen that the tests touch. Each reply of the request layer is counted by its body.
class InquiryScreensFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(0, &error)) << error;
        port = server.port();
        app = BrisfoldAppDelegate::launch(host.window(),
                                          "http://127.0.0.1:" + std::to_string(port) + "/");
        auto login = app->loginView();
        ASSERT_TRUE(login);
        tap(login->userField());
        ASSERT_TRUE(host.typeText("zhangwei"));
        tap(login->passwordField());
        ASSERT_TRUE(host.typeText("zw123456"));
        tap(login->loginButton());
        ASSERT_TRUE(testsupport::runUntil([&] { return !app->loginView(); }));
        home = std::dynamic_pointer_cast<MiddleViewController>(tabList(0));
        ASSERT_TRUE(home);
        ASSERT_TRUE(testsupport::runUntil([&] { return home->dataArray().size() == 10; }));
    }
    void TearDown() override {
        for (const auto& [body, token] : watched_)
            NSNotificationCenter::defaultCenter()->removeObserver(token);
        server.stop();
    }

    std::shared_ptr<UIViewController> tabList(size_t tab) {
        auto nav = std::dynamic_pointer_cast<UINavigationController>(
            app->tabBarController()->viewControllers().at(tab));
        if (!nav) return nullptr;
        auto container =
            std::dynamic_pointer_cast<TabContainerViewController>(nav->viewControllers().front());
        return container ? container->listScreen() : nullptr;
    }
    std::shared_ptr<UINavigationController> navigation(size_t tab) {
        return std::dynamic_pointer_cast<UINavigationController>(
            app->tabBarController()->viewControllers().at(tab));
    }

    // From now on, counts the replies to requests with this body.
    void watch(const std::string& body) {
        if (watched_.count(body)) return;
        watched_[body] = NSNotificationCenter::defaultCenter()->addObserverForName(
            body, nullptr, [this, body](const NSNotification&) { ++replies_[body]; });
    }
    int replies(const std::string& body) { return replies_[body]; }

    // Once the loading overlay, which takes every touch, has gone.
    void tap(const std::shared_ptr<UIView>& view) {
        ASSERT_TRUE(view);
        ASSERT_TRUE(testsupport::runUntil([] { return !FactoryClass::isLoadingShown(); }));
        const CGRect f = view->convertRectToView(view->bounds(), nullptr);
        host.tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
        host.runFor(0);
    }
    // A quick finger stroke across the screen, as a swipe is made.
    void swipe(CGFloat fromX, CGFloat toX, CGFloat y = 300) {
        host.touchDown(0, CGPointMake(fromX, y));
        host.touchMove(0, CGPointMake((fromX + toX) / 2, y));
        host.touchMove(0, CGPointMake(toX, y));
        host.touchUp(0, CGPointMake(toX, y));
        host.runFor(0);
    }
    std::shared_ptr<UITableViewCell> cellAt(const std::shared_ptr<UITableView>& table, int row,
                                            int section = 0) {
        const auto path = NSIndexPath::indexPathForRow(row, section);
        table->scrollToRowAtIndexPath(path, UITableViewScrollPositionTop, false);
        host.runFor(0);
        return table->cellForRowAtIndexPath(path);
    }
    std::shared_ptr<Pop_upWindow> shownPopup(const std::shared_ptr<UINavigationController>& nav) {
        for (const auto& v : nav->view()->subviews())
            if (auto p = std::dynamic_pointer_cast<Pop_upWindow>(v)) return p;
        return nullptr;
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
    std::string toast() {
        for (const auto& v : host.window()->subviews())
            if (auto t = std::dynamic_pointer_cast<ShowAlertView>(v)) return t->message();
        return "";
    }
    // With BRISFOLD_SCREENSHOT_DIR set, the screen as it stands goes there for the README.
    void screenshot(const std::string& name) {
        const char* dir = std::getenv("BRISFOLD_SCREENSHOT_DIR");
        if (!dir || !*dir) return;
        EXPECT_TRUE(testsupport::runUntil([&] { return toast().empty(); }));
        host.runFor(0);
        EXPECT_TRUE(host.writePNG((std::filesystem::path(dir) / name).string())) << name;
    }
    std::filesystem::path favoriteFile() const {
        return shellHome.dir.path() / "Documents" / "favorite.db";
    }
    // The inquiry the first sample engineer quoted five times.
    std::string quotedFiveTimes() {
        devserver::Database db(server.dataFile());
        auto five =
            db.query("SELECT ask_price_id FROM offers WHERE engineer_id = ? GROUP BY ask_price_id "
                     "HAVING COUNT(*) = 5",
                     app->APPUserID());
        return five.step() ? five.text(0) : std::string();
    }

    ShellHome shellHome;
    devserver::DevServer server{shellHome.dir.path() / "devserver.sqlite"};
    int port = 0;
    HeadlessHost host;
    std::shared_ptr<BrisfoldAppDelegate> app;
    std::shared_ptr<MiddleViewController> home;
    const std::shared_ptr<DataRequestManager> requests = DataRequestManager::shareManger();

  private:
    std::map<std::string, NSNotificationCenter::Token> watched_;
    std::map<std::string, int> replies_;
};
