#include "shell/BrisfoldAppDelegate.h"

#include <filesystem>
#include <map>
#include <utility>

#include "Foundation/JSONValue.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLErrorDescription.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSURLUtilities.h"
#include "Foundation/NSUserDefaults.h"
#include "Security/SecItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UINavigationController.h"
#include "VAvaSearchServices.h"
#include "VMAnalytics.h"
#include "VMMapServices.h"
#include "shell/CustomTabBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/LoginView.h"
#include "shell/ShowAlertView.h"
#include "shell/TabContainerViewController.h"
#include "shell/ViewControllerClasses.h"

namespace {

constexpr const char* kVersionKey = "AppVersion";
constexpr const char* kUserNameKey = "APPUserName";
constexpr const char* kPasswordKey = "APPPassWord";
constexpr const char* kUserIdKey = "APPUserID";
constexpr const char* kTokenKey = "APPUserToken";
constexpr const char* kEngineerNoKey = "APPEngineerNo";
constexpr const char* kMobileKey = "APPMobile";
constexpr const char* kPhotoKey = "APPPhoto";
constexpr const char* kFullNameKey = "APPFullName";
constexpr const char* kLevelKey = "APPLevel";
constexpr const char* kNotReadCountKey = "APPNotReadCount";

constexpr const char* kSessionKeys[] = {kUserNameKey,   kPasswordKey,    kUserIdKey, kTokenKey,
                                        kEngineerNoKey, kMobileKey,      kPhotoKey,  kFullNameKey,
                                        kLevelKey,      kNotReadCountKey};

std::shared_ptr<BrisfoldAppDelegate>& current() {
    static std::shared_ptr<BrisfoldAppDelegate> app;
    return app;
}

// The map kit talks to the servers of the service API, under the key the app registers for
// its searches.
void configureMapKit(const std::string& base) {
    const auto kit = VMMapServices::sharedServices();
    kit->setApiKey(BrisfoldAppDelegate::kVendorApiKey);
    kit->setInternalServerAddress(base);
    kit->setTrafficServerAddress(base + "trafficengine/vadedu/");
    kit->setManifestServerAddress(base + "v3/config/resource");
    VMAnalytics::sharedInstance()->setLogServerAddress(base + "ws/log/upload");
}

std::string stored(NSUserDefaults& defaults, const char* key) {
    return defaults.stringForKey(key).value_or("");
}

// The password for the automatic sign-in lives in the keychain, not in the defaults file.
nlohmann::json passwordItem() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrService, "com.brisfold.engineer.signin"},
            {kSecAttrAccount, kPasswordKey}};
}

std::string keychainPassword() {
    auto query = passwordItem();
    query[kSecReturnData] = true;
    query[kSecMatchLimit] = kSecMatchLimitOne;
    std::optional<NSData> data;
    if (SecItemCopyMatching(query, &data) != errSecSuccess || !data) return {};
    return std::string(data->begin(), data->end());
}

// False when the password is still in the keychain.
bool forgetPassword() {
    const OSStatus status = SecItemDelete(passwordItem());
    if (status == errSecSuccess || status == errSecItemNotFound) return true;
    NSLog("The password for the automatic sign-in cannot be forgotten: %d",
          static_cast<int>(status));
    return false;
}

// One write at most, so that a process killed at any moment leaves the old password or the new
// one; the automatic sign-in at each start writes nothing.
void keepPassword(const std::string& password) {
    if (password.empty()) {
        forgetPassword();
        return;
    }
    if (keychainPassword() == password) return;
    const auto data = nlohmann::json::binary(NSData(password.begin(), password.end()));
    OSStatus status = SecItemUpdate(passwordItem(), {{kSecValueData, data}});
    if (status == errSecItemNotFound) {
        auto item = passwordItem();
        item[kSecAttrAccessible] = kSecAttrAccessibleAfterFirstUnlock;
        item[kSecValueData] = data;
        status = SecItemAdd(item);
    }
    if (status != errSecSuccess)
        NSLog("The password for the automatic sign-in cannot be kept: %d",
              static_cast<int>(status));
}

// The user name reaches the disk before the password kept with it, and another engineer's name
// only once the password of the one before is gone: a process killed at any point leaves the
// sign-in it had, the new one or none, never one engineer's name with another's password.
void keepSignIn(NSUserDefaults& defaults, const std::string& userName,
                const std::string& password) {
    if (stored(defaults, kUserNameKey) != userName) {
        if (!forgetPassword()) {
            // That password stays: it loses its name rather than gain another's.
            defaults.removeObjectForKey(kUserNameKey);
            defaults.synchronize();
            return;
        }
        defaults.setString(userName, kUserNameKey);
    }
    if (defaults.synchronize()) keepPassword(password);
}

// The session as it is stored: its defaults, the servers' cookies and the password. False when
// the cookies or the password are still on the disk.
bool forgetStoredSession(NSUserDefaults& defaults) {
    for (const char* key : kSessionKeys) defaults.removeObjectForKey(key);
    const bool cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    return forgetPassword() && cookies;
}

// A full disk takes no rewrite of the defaults file, but its removal needs no room: the file
// goes, and what it held besides the session (the version) is written again into the room it
// freed. Should even that fail, only the version is lost, and the next start forgets a session
// that is gone already. False when the file still holds the session.
bool saveWithoutSession(NSUserDefaults& defaults) {
    if (defaults.synchronize()) return true;
    std::error_code ec;
    std::filesystem::remove(defaults.path(), ec);
    if (ec) {
        NSLog("The signed-out session stays in %s: %s", defaults.path().c_str(),
              ec.message().c_str());
        return false;
    }
    defaults.synchronize();
    return true;
}

}  // namespace

std::shared_ptr<BrisfoldAppDelegate> BrisfoldAppDelegate::getApp() { return current(); }

std::shared_ptr<BrisfoldAppDelegate> BrisfoldAppDelegate::launch(std::shared_ptr<UIWindow> window,
                                                                 std::string serviceBase) {
    auto app = std::shared_ptr<BrisfoldAppDelegate>(new BrisfoldAppDelegate());
    current() = app;
    UIApplication::sharedApplication()->setDelegate(app);
    app->window_ = std::move(window);
    app->serviceBase_ = std::move(serviceBase);
    app->window_->setBackgroundColor(UIColor::whiteColor());
    VAvaSearchServices::sharedServices()->setApiKey(kVendorApiKey);
    VAvaSearchServices::sharedServices()->setSearchServer(app->serviceBase_);
    configureMapKit(app->serviceBase_);
    app->loadConfig();
    app->setRemoteLab(CustomTabBar::shareManager()->badge());
    app->setNotReadCount(app->notReadCount_);
    app->buildTabs();
    app->window_->setRootViewController(app->tabs_);
    app->showLogin();
    app->window_->makeKeyAndVisible();
    return app;
}

void BrisfoldAppDelegate::terminate() {
    const auto app = std::exchange(current(), nullptr);
    if (!app) return;
    if (app->login_) app->login_->removeFromSuperview();
    app->login_.reset();
    if (app->window_) {
        app->window_->setRootViewController(nullptr);
        for (const auto& view : app->window_->subviews()) view->removeFromSuperview();
    }
    app->tabs_.reset();
    app->remoteLab_.reset();
    // What the screens left for later turns goes now, while GL and the run loop are still here.
    NSRunLoop::mainRunLoop()->runUntilIdle();
}

std::string BrisfoldAppDelegate::serviceURL(std::string_view path) const {
    return serviceBase_ + "api/" + std::string(path);
}

void BrisfoldAppDelegate::applicationDidReceiveRemoteNotification(UIApplication&,
                                                                  const nlohmann::json&) {
    setNotReadCount(notReadCount_ + 1);
}

std::string BrisfoldAppDelegate::photoURL() const {
    if (photo_.empty()) return {};
    if (photo_.starts_with("http://") || photo_.starts_with("https://")) return photo_;
    return serviceBase_ + (photo_.front() == '/' ? photo_.substr(1) : photo_);
}

void BrisfoldAppDelegate::loadConfig() {
    const auto defaults = NSUserDefaults::standardUserDefaults();
    const auto version =
        NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleShortVersionString");
    const std::string bundleVersion = version.is_string() ? version.get<std::string>() : "";
    // Another version may keep its session differently: it signs in afresh.
    if (stored(*defaults, kVersionKey) != bundleVersion) {
        forgetStoredSession(*defaults);
        defaults->setString(bundleVersion, kVersionKey);
    }
    userName_ = stored(*defaults, kUserNameKey);
    password_ = keychainPassword();
    // An older version kept it in the defaults file: it moves once and is gone from there.
    if (const auto old = defaults->stringForKey(kPasswordKey)) {
        if (password_.empty()) {
            password_ = *old;
            keepPassword(password_);
        }
        defaults->removeObjectForKey(kPasswordKey);
        defaults->synchronize();
    }
    userId_ = stored(*defaults, kUserIdKey);
    token_ = stored(*defaults, kTokenKey);
    engineerNo_ = stored(*defaults, kEngineerNoKey);
    mobile_ = stored(*defaults, kMobileKey);
    photo_ = stored(*defaults, kPhotoKey);
    fullName_ = stored(*defaults, kFullNameKey);
    level_ = stored(*defaults, kLevelKey);
    notReadCount_ = static_cast<long>(defaults->integerForKey(kNotReadCountKey));
    autoLogin_ = !userName_.empty() && !password_.empty();
}

void BrisfoldAppDelegate::buildTabs() {
    tabs_ = UITabBarController::create();
    std::vector<std::shared_ptr<UIViewController>> navigations;
    for (const TabItem& tab : CustomTabBar::shareManager()->tabs()) {
        auto screen = ViewControllerClasses::create(tab.name);
        if (!screen) screen = TabContainerViewController::create(tab.name);
        if (tab.name == "MessageViewController")
            setMessageViewController(std::dynamic_pointer_cast<TabContainerViewController>(screen));
        auto navigation = UINavigationController::create(screen);
        navigation->setNavigationBarHidden(true);
        navigations.push_back(navigation);
    }
    tabs_->setViewControllers(std::move(navigations));
    // The custom tab bar takes its place.
    tabs_->tabBar()->setHidden(true);
}

void BrisfoldAppDelegate::showLogin() {
    login_ = LoginView::create(window_->bounds(), serviceBase_);
    std::weak_ptr<BrisfoldAppDelegate> weak = sharedSelf<BrisfoldAppDelegate>();
    login_->setLoginHandler(
        [weak](const nlohmann::json& reply, const std::string& user, const std::string& password) {
            if (auto self = weak.lock()) self->didLogin(reply, user, password);
        });
    window_->addSubview(login_);
    if (!autoLogin_) return;
    login_->userField()->setText(userName_);
    login_->passwordField()->setText(password_);
    std::weak_ptr<LoginView> view = login_;
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [view] {
        if (auto v = view.lock()) v->login();
    });
}

void BrisfoldAppDelegate::didLogin(const nlohmann::json& reply, const std::string& userName,
                                   const std::string& password) {
    userName_ = userName;
    password_ = password;
    userId_ = replyText(reply, "UserID");
    token_ = replyText(reply, "Token");
    engineerNo_ = replyText(reply, "EngineerNo");
    mobile_ = replyText(reply, "Mobile");
    photo_ = replyText(reply, "Photo");
    fullName_ = replyText(reply, "FullName");
    level_ = replyText(reply, "Level");
    const auto stats = reply.find("Statistics");
    statistics_ = stats != reply.end() && stats->is_object() ? *stats : nlohmann::json::object();
    autoLogin_ = true;

    const auto defaults = NSUserDefaults::standardUserDefaults();
    keepSignIn(*defaults, userName_, password_);
    defaults->setString(userId_, kUserIdKey);
    defaults->setString(token_, kTokenKey);
    defaults->setString(engineerNo_, kEngineerNoKey);
    defaults->setString(mobile_, kMobileKey);
    defaults->setString(photo_, kPhotoKey);
    defaults->setString(fullName_, kFullNameKey);
    defaults->setString(level_, kLevelKey);
    const auto unread = reply.find("NotReadCount");
    setNotReadCount(unread == reply.end() ? 0 : static_cast<long>(integerValue(*unread)));
    // The session must outlive a process that is killed right after signing in.
    defaults->synchronize();

    if (login_) {
        login_->removeFromSuperview();
        login_.reset();
    }
    // The poll names no one: the session's cookie, which it carries, tells whose it is.
    notificationSource_ = UIRemoteNotificationSource::start(serviceBase_ + "push/poll");
    if (auto messages = messageViewController()) messages->setNeedRefreshLoad(true);
    // The tabs stood behind the sign-in view: the home list loads for the engineer signed in.
    const auto navigation = std::dynamic_pointer_cast<UINavigationController>(
        tabs_->viewControllers().empty() ? nullptr : tabs_->viewControllers().front());
    const auto home = std::dynamic_pointer_cast<TabContainerViewController>(
        navigation ? navigation->topViewController() : nullptr);
    if (home && home->listScreen()) ::doRefresh(*home->listScreen());
}

void BrisfoldAppDelegate::logout() {
    if (loggingOut_ || login_) return;
    loggingOut_ = true;
    FactoryClass::showloadingView();
    std::weak_ptr<BrisfoldAppDelegate> weak = sharedSelf<BrisfoldAppDelegate>();
    const auto url = NSURL::URLWithString(serviceURL("Engineer/Logout"));
    if (!url) {
        NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
            if (auto self = weak.lock())
                self->didLogout(0, {}, NSURLErrorWithCode(NSURLErrorBadURL, ""));
        });
        return;
    }
    auto request =
        DataRequestManager::shareManger()->requestForURL(url, "brisfoldID=" + formValue(userId_));
    // The cookie goes with this request: it is forgotten only once the answer is in.
    NSURLConnection::sendAsynchronousRequest(
        request, [weak](const std::shared_ptr<NSHTTPURLResponse>& response, const NSData& body,
                        const NSErrorOpt& error) {
            if (auto self = weak.lock())
                self->didLogout(response ? response->statusCode() : 0, body, error);
        });
}

void BrisfoldAppDelegate::didLogout(long status, const NSData& body, const NSErrorOpt& error) {
    loggingOut_ = false;
    FactoryClass::deleteLoingView();
    // A session the server no longer knows (401) has ended already.
    std::string failure;
    if (error) {
        failure = error->code == NSURLErrorNotConnectedToInternet ? "网络异常"
                                                                  : error->localizedDescription;
    } else if (status != 200 && status != 401) {
        failure = DataRequestManager::statusText(status);
    } else if (status == 200) {
        const auto reply = NSJSONSerialization::JSONObjectWithData(body);
        if (!reply || !reply->is_object())
            failure = "服务器返回的数据无法识别";
        else if (replyText(*reply, "code") != "1")
            failure = replyText(*reply, "tip").empty() ? "退出登录失败" : replyText(*reply, "tip");
    }
    if (!failure.empty()) NSLog("The server did not end the session: %s", failure.c_str());

    notificationSource_.reset();
    const auto defaults = NSUserDefaults::standardUserDefaults();
    bool forgotten = forgetStoredSession(*defaults);
    forgotten = saveWithoutSession(*defaults) && forgotten;
    loadConfig();
    statistics_ = nlohmann::json::object();
    setNotReadCount(notReadCount_);
    setDataBaseUpdate(true);
    // The screens of the engineer who left go with him.
    buildTabs();
    window_->setRootViewController(tabs_);
    showLogin();
    // The engineer must know that the phone may still hold his sign-in.
    if (!forgotten) login_->showStatus("未能清除本机保存的登录信息", false);
    if (!failure.empty())
        ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), failure, 1, login_)
            ->addAlertView();
}

void BrisfoldAppDelegate::setNotReadCount(long count) {
    notReadCount_ = count;
    NSUserDefaults::standardUserDefaults()->setInteger(count, kNotReadCountKey);
    if (!remoteLab_) return;
    remoteLab_->setHidden(count <= 0);
    remoteLab_->setText(count >= 100 ? "99+" : std::to_string(count));
}

std::string BrisfoldAppDelegate::deviceString() const {
    return deviceStringForHardware(UIDevice::currentDevice()->hardwareIdentifier());
}

std::string BrisfoldAppDelegate::deviceStringForHardware(const std::string& identifier) {
    static const std::map<std::string, std::string> kNames = {
        {"iPhone3,1", "iphone 4"},  {"iPhone3,2", "iphone 4"},       {"iPhone3,3", "iphone 4"},
        {"iPhone4,1", "iphone 4s"}, {"iPhone5,1", "iphone 5"},       {"iPhone5,2", "iphone 5"},
        {"iPhone5,3", "iphone 5c"}, {"iPhone5,4", "iphone 5c"},      {"iPhone6,1", "iphone 5s"},
        {"iPhone6,2", "iphone 5s"}, {"iPhone7,2", "iphone 6"},       {"iPhone7,1", "iphone 6 plus"},
        {"iPhone8,1", "iphone 6s"}, {"iPhone8,2", "iphone 6s plus"},
    };
    const auto found = kNames.find(identifier);
    return found == kNames.end() ? identifier : found->second;
}
