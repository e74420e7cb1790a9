#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Database.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLErrorDescription.h"
#include "Foundation/NSUserDefaults.h"
#include "ScreenPixels.h"
#include "Security/SecItem.h"
#include "ShellHome.h"
#include "TestDevServer.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UINavigationController.h"
#include "VMAnalytics.h"
#include "VMMapManifest.h"
#include "VMMapServices.h"
#include "WriteFaults.h"
#include "host/HeadlessHost.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/CustomNavBar.h"
#include "shell/CustomTabBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/HomeViewController.h"
#include "shell/LeftViewController.h"
#include "shell/LoginView.h"
#include "shell/ShowAlertView.h"

namespace {

nlohmann::json passwordItem() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrService, "com.brisfold.engineer.signin"},
            {kSecAttrAccount, "APPPassWord"}};
}

std::string passwordInKeychain() {
    auto query = passwordItem();
    query[kSecReturnData] = true;
    query[kSecMatchLimit] = kSecMatchLimitOne;
    std::optional<NSData> data;
    if (SecItemCopyMatching(query, &data) != errSecSuccess || !data) return {};
    return std::string(data->begin(), data->end());
}

// The user name as the defaults file holds it, read afresh.
std::string storedUserName() {
    NSUserDefaults::resetStandardUserDefaults();
    return NSUserDefaults::standardUserDefaults()->stringForKey("APPUserName").value_or("");
}

using testsupport::runUntil;

std::shared_ptr<TabContainerViewController> containerAt(const BrisfoldAppDelegate& app,
                                                        size_t index) {
    auto nav = std::dynamic_pointer_cast<UINavigationController>(
        app.tabBarController()->viewControllers().at(index));
    return nav ? std::dynamic_pointer_cast<TabContainerViewController>(nav->topViewController())
               : nullptr;
}

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(0, &error)) << error;
        base = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    }
    // Signing in loads the home list: its reply is awaited so that no request of this test is
    // still in flight in the shared request layer when the next one starts.
    void TearDown() override {
        EXPECT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
        server.stop();
    }

    // Signs in through the sign-in view as a person would.
    void signIn(HeadlessHost& host, const BrisfoldAppDelegate& app,
                const std::string& user = "zhangwei", const std::string& password = "zw123456") {
        auto login = app.loginView();
        ASSERT_TRUE(login);
        tapView(host, login->userField());
        ASSERT_TRUE(host.typeText(user));
        tapView(host, login->passwordField());
        ASSERT_TRUE(host.typeText(password));
        tapView(host, login->loginButton());
        ASSERT_TRUE(runUntil([&] { return !app.loginView(); }));
    }

    ShellHome home;
    devserver::DevServer server{home.dir.path() / "devserver.sqlite",
                                testsupport::devServerTestOptions()};
    std::string base;
};

TEST_F(SessionTest, SigningInStoresTheSessionShowsTheShellAndTheNextStartSignsInByItself) {
    {
        HeadlessHost host;
        auto app = BrisfoldAppDelegate::launch(host.window(), base);
        EXPECT_FALSE(app->autoLogin());
        ASSERT_TRUE(app->loginView());
        EXPECT_TRUE(app->loginView()->window());
        signIn(host, *app);

        const auto defaults = NSUserDefaults::standardUserDefaults();
        EXPECT_EQ(defaults->stringForKey("APPUserID"), app->APPUserID());
        EXPECT_EQ(app->APPUserToken().size(), 32u);
        EXPECT_EQ(defaults->stringForKey("APPUserToken"), app->APPUserToken());
        EXPECT_EQ(defaults->integerForKey("APPNotReadCount"), app->notReadCount());
        // The password is the keychain's, not the defaults file's.
        EXPECT_FALSE(defaults->objectForKey("APPPassWord").is_string());
        EXPECT_EQ(passwordInKeychain(), "zw123456");
        EXPECT_GT(app->notReadCount(), 0);
        EXPECT_FALSE(app->fullName().empty());
        // The home tab shows with both bars, and the messages tab will reload when it shows.
        auto homeTab = containerAt(*app, 0);
        ASSERT_TRUE(std::dynamic_pointer_cast<HomeViewController>(homeTab));
        EXPECT_TRUE(homeTab->isAppeared());
        EXPECT_EQ(CustomNavBar::shareManager()->superview(), homeTab->view());
        EXPECT_EQ(CustomTabBar::shareManager()->superview(), homeTab->view());
        EXPECT_EQ(CustomNavBar::shareManager()->titleLabel()->text(), "首页");
        EXPECT_TRUE(app->messageViewController()->needRefreshLoad());
    }
    NSUserDefaults::resetStandardUserDefaults();
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    EXPECT_TRUE(app->autoLogin());
    ASSERT_TRUE(app->loginView());
    EXPECT_EQ(app->loginView()->userField()->text(), "zhangwei");
    ASSERT_TRUE(runUntil([&] { return !app->loginView(); }));
    EXPECT_TRUE(containerAt(*app, 0)->isAppeared());
}

TEST_F(SessionTest, MapKitTalksToTheServersOfTheServiceApi) {
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    const auto kit = VMMapServices::sharedServices();
    EXPECT_EQ(kit->internalServerAddress(), base);
    EXPECT_EQ(kit->trafficServerAddress(), base + "trafficengine/vadedu/");
    EXPECT_EQ(kit->manifestServerAddress(), base + "v3/config/resource");
    EXPECT_EQ(VMAnalytics::sharedInstance()->logServerAddress(), base + "ws/log/upload");
    // The devserver knows the app's key and answers the kit's configuration.
    std::optional<nlohmann::json> answer;
    std::atomic<bool> answered = false;
    VMMapManifest::performManifestRequestWithType(VMMapManifestTypeRealStatus,
                                                  [&](std::optional<nlohmann::json> result) {
                                                      answer = std::move(result);
                                                      answered = true;
                                                  });
    ASSERT_TRUE(runUntil([&] { return answered.load(); }));
    ASSERT_TRUE(answer && answer->is_object()) << "the configuration was refused";
    EXPECT_EQ((*answer)["realstatus"]["url"],
              "http://127.0.0.1:" + std::to_string(server.port()) + "/trafficengine/vadedu/");
}

TEST_F(SessionTest, AnotherVersionsSessionIsClearedAndMissingReplyValuesAreKeptAsEmptyText) {
    const auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setString("0.9", "AppVersion");
    defaults->setString("zhangwei", "APPUserName");
    defaults->setString("zw123456", "APPPassWord");
    defaults->setString("U-old", "APPUserID");
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    EXPECT_FALSE(app->autoLogin());
    EXPECT_EQ(app->APPUserID(), "");
    EXPECT_FALSE(defaults->stringForKey("APPUserID"));
    EXPECT_EQ(defaults->stringForKey("AppVersion"), "1.0");
    EXPECT_EQ(app->loginView()->userField()->text(), "");

    // A sign-in reply missing values keeps them as empty text.
    app->didLogin({{"code", "1"}, {"UserID", 7}}, "u", "p");
    EXPECT_EQ(app->APPUserID(), "7");
    EXPECT_EQ(app->APPUserToken(), "");
    EXPECT_EQ(app->fullName(), "");
    EXPECT_EQ(app->notReadCount(), 0);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->stringForKey("APPUserToken"), "");
    EXPECT_FALSE(app->loginView());
}

TEST_F(SessionTest, PasswordOfAnOlderDefaultsFileMovesToTheKeychain) {
    {
        const auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setString("1.0", "AppVersion");
        defaults->setString("zhangwei", "APPUserName");
        defaults->setString("zw123456", "APPPassWord");
        ASSERT_TRUE(defaults->synchronize());
    }
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    EXPECT_TRUE(app->autoLogin());
    EXPECT_EQ(app->password(), "zw123456");
    EXPECT_EQ(passwordInKeychain(), "zw123456");
    const std::string file = NSUserDefaults::standardUserDefaults()->path();
    const auto bytes = NSDataWithContentsOfFile(file);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()).find("zw123456"), std::string::npos);
    ASSERT_TRUE(runUntil([&] { return !app->loginView(); }));
}

TEST_F(SessionTest, TabsAreTheFourContainersOfTheTabListAndTheTabBarSwitchesThem) {
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    app->didLogin({{"code", "1"},
                   {"UserID", "U1"},
                   {"FullName", "张伟"},
                   {"Photo", "/images/engineers/GC20260001.png"}},
                  "zhangwei", "p");
    ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
    ASSERT_EQ(app->tabBarController()->viewControllers().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(containerAt(*app, i)) << i;
        EXPECT_EQ(CustomTabBar::shareManager()->tabs()[i].name, containerAt(*app, i)->className());
    }
    EXPECT_EQ(app->messageViewController(), containerAt(*app, 3));

    const auto tabBar = CustomTabBar::shareManager();
    tapView(host, tabBar->buttons()[2]);
    host.runFor(0);
    EXPECT_EQ(app->tabBarController()->selectedIndex(), 2);
    EXPECT_EQ(tabBar->superview(), containerAt(*app, 2)->view());
    EXPECT_TRUE(tabBar->buttons()[2]->isSelected());
    EXPECT_FALSE(tabBar->buttons()[0]->isSelected());
    EXPECT_FALSE(containerAt(*app, 0)->view()->viewWithTag(CustomNavBar::kTag));
    EXPECT_EQ(CustomNavBar::shareManager()->titleLabel()->text(), "订单");

    // The bar's left item opens the side menu with the engineer, and closes it again; first the
    // order list's loading overlay goes.
    ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
    auto order = containerAt(*app, 2);
    tapView(host, CustomNavBar::shareManager()->leftButton());
    ASSERT_TRUE(order->isShowLeftView());
    auto menu = std::dynamic_pointer_cast<LeftViewController>(order->sideSlipView()->contentVC());
    ASSERT_TRUE(menu);
    EXPECT_FALSE(order->sideSlipView()->isHidden());
    EXPECT_EQ(menu->nameLabel()->text(), "张伟");
    // The engineer's own picture from the servers takes the stock one's place once it came.
    const auto stock = UIImage::imageNamed("logo_sliding_menu_user_logo");
    ASSERT_TRUE(runUntil([&] { return menu->pictureView()->image() != stock; }));
    const auto picture = menu->pictureView()->image()->CGImage();
    const CGColor blue{46 / 255.0, 125 / 255.0, 209 / 255.0, 1};
    EXPECT_TRUE(testsupport::colourNear(testsupport::screenPixel(picture, 2, 2, 1), blue));
    EXPECT_TRUE(
        testsupport::colourNear(testsupport::screenPixel(picture, 60, 45, 1), CGColor{1, 1, 1, 1}));
    tapView(host, CustomNavBar::shareManager()->leftButton());
    EXPECT_FALSE(order->isShowLeftView());
    EXPECT_TRUE(order->sideSlipView()->isHidden());
}

// The side menu's "退出登录" of the home tab, tapped as a person would.
void tapLogoutInTheSideMenu(HeadlessHost& host, const BrisfoldAppDelegate& app) {
    const auto home = containerAt(app, 0);
    ASSERT_TRUE(home);
    tapView(host, CustomNavBar::shareManager()->leftButton());
    ASSERT_TRUE(home->isShowLeftView());
    const auto menu =
        std::dynamic_pointer_cast<LeftViewController>(home->sideSlipView()->contentVC());
    ASSERT_TRUE(menu);
    ASSERT_TRUE(menu->logoutRow());
    EXPECT_EQ(menu->logoutRow()->titleForState(UIControlStateNormal), "退出登录");
    tapView(host, menu->logoutRow());
}

TEST_F(SessionTest, SideMenuSignsOutEverywhereAndTheOtherEngineerSignsIn) {
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    signIn(host, *app);
    ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
    const std::string engineer = app->APPUserID();
    const auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    const auto server = NSURL::URLWithString(base);
    ASSERT_FALSE(cookies->cookieHeaderForURL(*server).empty());
    const auto sessions = [&](const std::string& id) {
        return devserver::Database(home.dir.path() / "devserver.sqlite")
            .scalar("SELECT COUNT(*) FROM sessions WHERE engineer_id = ?", id);
    };
    ASSERT_EQ(sessions(engineer), 1);
    const auto oldHome = containerAt(*app, 0);
    app->setDataBaseUpdate(false);

    tapLogoutInTheSideMenu(host, *app);
    EXPECT_TRUE(app->isLoggingOut());
    ASSERT_TRUE(runUntil([&] { return app->loginView() != nullptr; }));
    // Ended on the server, and nothing of it is kept here.
    EXPECT_EQ(sessions(engineer), 0);
    EXPECT_TRUE(cookies->cookies().empty());
    EXPECT_EQ(passwordInKeychain(), "");
    const auto defaults = NSUserDefaults::standardUserDefaults();
    for (const char* key : {"APPUserName", "APPUserID", "APPUserToken", "APPFullName"})
        EXPECT_FALSE(defaults->objectForKey(key).is_string()) << key;
    EXPECT_FALSE(app->autoLogin());
    EXPECT_EQ(app->APPUserID(), "");
    EXPECT_FALSE(app->notificationSource());
    EXPECT_EQ(app->notReadCount(), 0);
    EXPECT_TRUE(app->remoteLab()->isHidden());
    EXPECT_TRUE(app->dataBaseUpdate());
    // The sign-in shows, empty, over fresh tabs: no screen of the engineer who left is left.
    EXPECT_EQ(app->loginView()->superview(), host.window());
    EXPECT_EQ(app->loginView()->userField()->text(), "");
    EXPECT_NE(containerAt(*app, 0), oldHome);
    EXPECT_FALSE(FactoryClass::isLoadingShown());

    signIn(host, *app, "lina", "ln123456");
    EXPECT_EQ(app->fullName(), "李娜");
    EXPECT_NE(app->APPUserID(), engineer);
    EXPECT_TRUE(app->messageViewController()->needRefreshLoad());
    const std::string firstPage =
        "brisfoldID=" + app->APPUserID() + "&IsOffer=0&rows=10&pageindex=1&lastDateTime=";
    ASSERT_TRUE(runUntil(
        [&] { return DataRequestManager::shareManger()->replyForKey(firstPage).is_object(); }));
    EXPECT_EQ(DataRequestManager::shareManger()->replyForKey(firstPage)["totalCount"], 72);
}

// A server that cannot be reached cannot end the session, but the phone forgets it all the same
// and says why.
TEST_F(SessionTest, SignOutWithoutTheServerStillForgetsTheSessionAndSaysWhy) {
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    signIn(host, *app);
    ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
    server.stop();

    tapLogoutInTheSideMenu(host, *app);
    ASSERT_TRUE(runUntil([&] { return app->loginView() != nullptr; }));
    EXPECT_EQ(passwordInKeychain(), "");
    EXPECT_TRUE(NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookies().empty());
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->objectForKey("APPUserID").is_string());
    std::string toast;
    for (const auto& v : host.window()->subviews())
        if (auto t = std::dynamic_pointer_cast<ShowAlertView>(v)) toast = t->message();
    EXPECT_EQ(toast, NSURLErrorDescription(NSURLErrorCannotConnectToHost));
}

// A process killed during any write of a start and its sign-in leaves the sign-in it had or the
// one it signed in with: at the automatic sign-in of each start, and with a new password. Where
// another engineer signs in, none stored is also whole; his password under the name of the one
// before never is. With an item of the map kit beside it, the keychain is rewritten, not removed.
TEST_F(SessionTest, KillDuringAnyWriteOfASignInLeavesTheOldSignInTheNewOneOrNone) {
    using SignIn = std::pair<std::string, std::string>;
    const struct {
        SignIn had;
        SignIn given;
        bool kitItem;
    } cases[] = {{{"zhangwei", "zw123456"}, {"zhangwei", "zw123456"}, false},
                 {{"zhangwei", "zw000000"}, {"zhangwei", "zw123456"}, false},
                 {{"zhangwei", "zw123456"}, {"lina", "ln123456"}, false},
                 {{"zhangwei", "zw123456"}, {"lina", "ln123456"}, true}};
    const nlohmann::json kit = {
        {kSecClass, kSecClassGenericPassword}, {kSecAttrService, "kit"}, {kSecAttrAccount, "kit"}};
    for (const auto& [had, given, kitItem] : cases) {
        for (int killedAt = 1;; ++killedAt) {
            SCOPED_TRACE(::testing::Message()
                         << had.first << ":" << had.second << " to " << given.first << ":"
                         << given.second << (kitItem ? " beside the kit's" : "")
                         << ", killed at write " << killedAt);
            {
                const auto defaults = NSUserDefaults::standardUserDefaults();
                defaults->setString("1.0", "AppVersion");
                defaults->setString(had.first, "APPUserName");
                ASSERT_TRUE(defaults->synchronize());
                SecItemDelete(passwordItem());
                SecItemDelete(kit);
                auto item = passwordItem();
                item[kSecValueData] = nlohmann::json::binary(NSDataFromString(had.second));
                ASSERT_EQ(SecItemAdd(item), errSecSuccess);
                auto kept = kit;
                kept[kSecValueData] = nlohmann::json::binary(NSData{1});
                ASSERT_TRUE(!kitItem || SecItemAdd(kept) == errSecSuccess);
            }
            int writes = 0;
            {
                testsupport::FailingWrites killed(home.dir.path(), killedAt);
                HeadlessHost host;
                auto app = BrisfoldAppDelegate::launch(host.window(), base);
                ASSERT_TRUE(app->autoLogin());
                app->didLogin({{"code", "1"}, {"UserID", "U1"}}, given.first, given.second);
                ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
                BrisfoldAppDelegate::terminate();
                NSUserDefaults::resetStandardUserDefaults();
                writes = killed.writes();
            }
            // What the next start would sign in with.
            const SignIn stored = {storedUserName(), passwordInKeychain()};
            const bool none = stored.first.empty() || stored.second.empty();
            EXPECT_TRUE(stored == had || stored == given || (none && had.first != given.first))
                << stored.first << ":" << stored.second;
            if (writes < killedAt) break;
        }
    }
}

// A full disk takes no rewrite of the keychain and defaults files, but their removal needs no
// room. Where the keychain also keeps an item of the map kit, which its rewrite must keep, the
// password stays, and the sign-in says so.
TEST_F(SessionTest, SignOutOnAFullDiskForgetsTheStoredSignInOrSaysItCouldNot) {
    const auto signOutOnAFullDisk = [&](HeadlessHost& host, const BrisfoldAppDelegate& app) {
        testsupport::FailingWrites full(home.dir.path());
        tapLogoutInTheSideMenu(host, app);
        EXPECT_TRUE(runUntil([&] { return app.loginView() != nullptr; }));
        EXPECT_GT(full.writes(), 0);
        // What the next start on this disk finds.
        NSUserDefaults::resetStandardUserDefaults();
        return app.loginView() ? app.loginView()->statusLabel()->text() : "no sign-in";
    };
    {
        HeadlessHost host;
        auto app = BrisfoldAppDelegate::launch(host.window(), base);
        signIn(host, *app);
        ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
        EXPECT_EQ(signOutOnAFullDisk(host, *app), "");
        EXPECT_EQ(passwordInKeychain(), "");
        EXPECT_EQ(storedUserName(), "");
        BrisfoldAppDelegate::terminate();
    }
    HeadlessHost host;
    auto app = BrisfoldAppDelegate::launch(host.window(), base);
    EXPECT_FALSE(app->autoLogin());
    EXPECT_EQ(app->loginView()->userField()->text(), "");

    ASSERT_EQ(SecItemAdd({{kSecClass, kSecClassGenericPassword},
                          {kSecAttrService, "kit"},
                          {kSecAttrAccount, "kit"},
                          {kSecValueData, nlohmann::json::binary(NSData{1})}}),
              errSecSuccess);
    app->didLogin({{"code", "1"}, {"UserID", "U1"}}, "zhangwei", "zw123456");
    ASSERT_TRUE(runUntil([] { return !FactoryClass::isLoadingShown(); }));
    EXPECT_EQ(signOutOnAFullDisk(host, *app), "未能清除本机保存的登录信息");
    EXPECT_EQ(passwordInKeychain(), "zw123456");
}

TEST(DeviceString, NarrowPhonesHaveTheirMarketingNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"iPhone3,1", "iphone 4"}, {"iPhone5,3", "iphone 5c"}, {"x86_64", "x86_64"}};
    for (const auto& [hardware, name] : cases)
        EXPECT_EQ(BrisfoldAppDelegate::deviceStringForHardware(hardware), name) << hardware;
}

}  // namespace
