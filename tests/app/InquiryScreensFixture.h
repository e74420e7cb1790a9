#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MessagesFixture.h"
#include "UIKit/UITableView.h"
#include "inquiries/MiddleViewController.h"
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
        auto five =
            db.query("SELECT ask_price_id FROM offers WHERE engineer_id = ? GROUP BY ask_price_id "
                     "HAVING COUNT(*) = 5",
                     app->APPUserID());
        return five.step() ? five.text(0) : std::string();
    }

    int port = 0;
    std::shared_ptr<MiddleViewController> home;
};
