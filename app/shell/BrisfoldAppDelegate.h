#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIRemoteNotificationSource.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIWindow.h"

class LoginView;
class TabContainerViewController;

// The application delegate: owns the window's tab bar shell and the session, which it mirrors in
// the defaults store so that the next start can sign in by itself. While an engineer is signed
// in it hears the servers' remote notifications for them.
class BrisfoldAppDelegate : public NSObject, public UIApplicationDelegate {
  public:
    // The key the map and search vendor issued to this app.
    static constexpr const char* kVendorApiKey = "brisfold-dev-search-key";

    // The delegate of the last launch; null before any.
    static std::shared_ptr<BrisfoldAppDelegate> getApp();
    // The launch on the window: white background, the session from the defaults store, the tab
    // bar shell with its four containers, and the sign-in over it, which signs in by itself when
    // a user name and password are stored. serviceBase: the servers' base address ("http://h:p/").
    static std::shared_ptr<BrisfoldAppDelegate> launch(std::shared_ptr<UIWindow> window,
                                                       std::string serviceBase);

    // Lets go of the launch's screens, and with them their map views and GL contexts, before
    // the window, GL and statics go: called as the app ends.
    static void terminate();

    const std::shared_ptr<UIWindow>& window() const { return window_; }
    const std::shared_ptr<UITabBarController>& tabBarController() const { return tabs_; }
    // The sign-in while it shows, else null.
    const std::shared_ptr<LoginView>& loginView() const { return login_; }
    // The service API's address of a path such as "Order/OrderList".
    std::string serviceURL(std::string_view path) const;

    // The session.
    bool autoLogin() const { return autoLogin_; }
    const std::string& userName() const { return userName_; }
    const std::string& password() const { return password_; }
    const std::string& APPUserID() const { return userId_; }
    const std::string& APPUserToken() const { return token_; }
    const std::string& engineerNo() const { return engineerNo_; }
    const std::string& mobile() const { return mobile_; }
    const std::string& photo() const { return photo_; }
    // The address of the engineer's picture: the photo as given when it is one, else a path
    // under the servers' base address; empty without a photo.
    std::string photoURL() const;
    const std::string& fullName() const { return fullName_; }
    const std::string& level() const { return level_; }
    const nlohmann::json& statistics() const { return statistics_; }

    // The unread messages. Setting it mirrors it under "APPNotReadCount" and shows it on the
    // badge: hidden at 0 or below, "99+" from 100.
    long notReadCount() const { return notReadCount_; }
    void setNotReadCount(long count);
    const std::shared_ptr<UILabel>& remoteLab() const { return remoteLab_; }
    void setRemoteLab(std::shared_ptr<UILabel> label) { remoteLab_ = std::move(label); }
    // The favourites store changed; the list screens re-mark their stars when it is set.
    bool dataBaseUpdate() const { return dataBaseUpdate_; }
    void setDataBaseUpdate(bool changed) { dataBaseUpdate_ = changed; }
    // The messages container, not owned.
    std::shared_ptr<TabContainerViewController> messageViewController() const {
        return messageViewController_.lock();
    }
    void setMessageViewController(std::weak_ptr<TabContainerViewController> controller) {
        messageViewController_ = std::move(controller);
    }

    // The marketing name of the device model ("iphone 5s"); the identifier itself when unknown.
    std::string deviceString() const;
    static std::string deviceStringForHardware(const std::string& identifier);

    // A new message for the engineer: one more unread.
    void applicationDidReceiveRemoteNotification(UIApplication& application,
                                                 const nlohmann::json& userInfo) override;
    const std::shared_ptr<UIRemoteNotificationSource>& notificationSource() const {
        return notificationSource_;
    }

    // An accepted login: keeps and mirrors the session and shows the tab bar shell. Missing
    // reply values are kept as empty text.
    void didLogin(const nlohmann::json& reply, const std::string& userName,
                  const std::string& password);
    // The side menu's sign-out: asks the server to end the session, then, whatever it answered,
    // forgets the session here (the stored session, the servers' cookies and the password),
    // marks the favourites as changed and shows the sign-in over fresh tabs, so that nothing of
    // this engineer is left for the next. When the server did not end the session a toast says
    // why.
    void logout();
    bool isLoggingOut() const { return loggingOut_; }

  private:
    BrisfoldAppDelegate() = default;
    void loadConfig();
    void buildTabs();
    void showLogin();
    void didLogout(long status, const NSData& body, const NSErrorOpt& error);

    std::shared_ptr<UIWindow> window_;
    std::string serviceBase_;
    std::shared_ptr<UITabBarController> tabs_;
    std::shared_ptr<LoginView> login_;

    bool autoLogin_ = false;
    std::string userName_;
    std::string password_;
    std::string userId_;
    std::string token_;
    std::string engineerNo_;
    std::string mobile_;
    std::string photo_;
    std::string fullName_;
    std::string level_;
    nlohmann::json statistics_ = nlohmann::json::object();
    long notReadCount_ = 0;
    bool dataBaseUpdate_ = false;
    bool loggingOut_ = false;
    std::shared_ptr<UILabel> remoteLab_;
    std::weak_ptr<TabContainerViewController> messageViewController_;
    std::shared_ptr<UIRemoteNotificationSource> notificationSource_;
};
