#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIResponder.h"

class UIWindow;
class UIEvent;

inline constexpr const char* UIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* UIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* UIApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";
inline constexpr const char* UIApplicationDidChangeStatusBarOrientationNotification =
    "UIApplicationDidChangeStatusBarOrientationNotification";

using UIBackgroundTaskIdentifier = unsigned long;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

enum UIApplicationState {
    UIApplicationStateActive = 0,
    UIApplicationStateInactive = 1,
    UIApplicationStateBackground = 2,
};

enum UIStatusBarStyle {
    UIStatusBarStyleDefault = 0,  // dark text
    UIStatusBarStyleLightContent = 1,
};

enum UIInterfaceOrientation {
    UIInterfaceOrientationUnknown = 0,
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeLeft = 4,
    UIInterfaceOrientationLandscapeRight = 3,
};

class UIApplication;

// What the application tells its delegate. Every method is optional.
class UIApplicationDelegate {
  public:
    virtual ~UIApplicationDelegate() = default;
    // A remote notification came while the application runs; userInfo holds "aps" and whatever
    // else the sender put in.
    virtual void applicationDidReceiveRemoteNotification(UIApplication& /*application*/,
                                                         const nlohmann::json& /*userInfo*/) {}
};

// The application singleton: windows, state, status bar facts and the URL opener.
class UIApplication : public UIResponder {
  public:
    static std::shared_ptr<UIApplication> sharedApplication();

    std::shared_ptr<UIWindow> keyWindow() const { return keyWindow_.lock(); }
    void setKeyWindow(const std::shared_ptr<UIWindow>& window);
    // Visible windows from back to front (by window level, then by order made key).
    std::vector<std::shared_ptr<UIWindow>> windows() const;
    void sendEvent(UIEvent& event);
    // Lays out every window; runs before the main run loop waits.
    void layoutWindows();

    UIApplicationState applicationState() const { return state_; }
    // Moves to the state through the platform's steps, posting each step's notification on the
    // default centre (active and background are never neighbours: inactive lies between).
    void setApplicationState(UIApplicationState s);
    // What the system does when memory runs short: tells everyone to let caches go.
    void didReceiveMemoryWarning();
    bool isNetworkActivityIndicatorVisible() const { return networkActivity_; }
    void setNetworkActivityIndicatorVisible(bool v) { networkActivity_ = v; }

    bool isStatusBarHidden() const { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }
    // 20 points tall across the screen; empty when hidden.
    CGRect statusBarFrame() const;
    UIStatusBarStyle statusBarStyle() const { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle s) { statusBarStyle_ = s; }
    UIInterfaceOrientation statusBarOrientation() const { return orientation_; }
    // Posts the change, with the old orientation in the user info, when it changes.
    void setStatusBarOrientation(UIInterfaceOrientation o);

    // URLs are "opened" by handing them to the system: here that means recording them and
    // logging that nothing opens them, for the schemes the system knows ("tel", "http",
    // "https", "mailto", "sms" by default).
    // Malformed URLs (spaces, raw non-ASCII, stray "%") are refused, as the platform refuses
    // to make a URL of them.
    bool canOpenURL(const std::string& url) const;
    bool openURL(const std::string& url);
    const std::vector<std::string>& openedURLs() const { return opened_; }
    void registerURLScheme(const std::string& scheme) { schemes_.insert(scheme); }
    void unregisterURLScheme(const std::string& scheme) { schemes_.erase(scheme); }

    // Work that may go on after the app leaves the foreground until the system's time runs out.
    // Any thread may begin and end tasks; the handler runs on the main queue at expiry and must
    // end its task. Background time is given by the system: expireBackgroundTasks() is it
    // running out (tests call it), after which the unended tasks are ended.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(
        std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    void expireBackgroundTasks();
    std::size_t backgroundTaskCount() const;

    // Held weakly, as the application's owner keeps it.
    std::shared_ptr<UIApplicationDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIApplicationDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    // Hands a remote notification to the delegate, on the main thread.
    void didReceiveRemoteNotification(const nlohmann::json& userInfo);

    // Back to the state of a fresh launch (tests).
    void reset();

  private:
    UIApplication();
    std::weak_ptr<UIWindow> keyWindow_;
    std::vector<std::weak_ptr<UIWindow>> windows_;
    UIApplicationState state_ = UIApplicationStateActive;
    bool networkActivity_ = false;
    bool statusBarHidden_ = false;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
    UIInterfaceOrientation orientation_ = UIInterfaceOrientationPortrait;
    std::set<std::string> schemes_;
    std::vector<std::string> opened_;
    NSRunLoop::Token layoutObserver_ = 0;
    std::weak_ptr<UIApplicationDelegate> delegate_;
};
