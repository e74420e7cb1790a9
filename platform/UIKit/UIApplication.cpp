#include "UIApplication.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITouch.h"
#include "UIKit/UIWindow.h"

namespace {
const std::set<std::string> kDefaultSchemes = {"tel", "http", "https", "mailto", "sms"};

std::string schemeOf(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    std::string s = url.substr(0, colon);
    for (char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return {};
    }
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
// What a URL may contain: printable ASCII without spaces and the characters URLs exclude,
// with every "%" starting an escape. Server text pasted into "tel:" can break any of these.
bool wellFormedURL(const std::string& url) {
    for (size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if (c <= 0x20 || c >= 0x7f) return false;
        if (std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos) {
            return false;
        }
        if (c == '%' &&
            (i + 2 >= url.size() || !std::isxdigit(static_cast<unsigned char>(url[i + 1])) ||
             !std::isxdigit(static_cast<unsigned char>(url[i + 2])))) {
            return false;
        }
    }
    return true;
}

}  // namespace

UIApplication::UIApplication() : schemes_(kDefaultSchemes) {}

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
    static const std::shared_ptr<UIApplication> app(new UIApplication());
    return app;
}

void UIApplication::setKeyWindow(const std::shared_ptr<UIWindow>& window) {
    keyWindow_ = window;
    std::erase_if(windows_, [&](const auto& w) {
        auto s = w.lock();
        return !s || s == window;
    });
    if (window) windows_.push_back(window);
    if (layoutObserver_ == 0 && NSRunLoop::isMainThread()) {
        layoutObserver_ = NSRunLoop::mainRunLoop()->addBeforeWaitingObserver(
            [] { sharedApplication()->layoutWindows(); });
    }
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const {
    std::vector<std::shared_ptr<UIWindow>> out;
    for (const auto& w : windows_) {
        if (auto s = w.lock(); s && !s->isHidden()) out.push_back(s);
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a->windowLevel() < b->windowLevel();
    });
    return out;
}

void UIApplication::sendEvent(UIEvent& event) {
    // A touch is hit-tested against the views as they will be drawn: a reply that reloaded a
    // table in this turn of the loop, before it was laid out, must not send the touch to where
    // its cells were.
    layoutWindows();
    // A touch stays with the window it began in; a new one goes to the key window. Each window
    // hears only its own touches, or it would take the others' too.
    std::vector<std::pair<std::shared_ptr<UIWindow>, UITouchSet>> targets;
    for (const auto& t : event.allTouches()) {
        auto w = t->window();
        if (!w) w = keyWindow();
        if (!w) continue;
        auto it = std::find_if(targets.begin(), targets.end(),
                               [&w](const auto& target) { return target.first == w; });
        if (it == targets.end()) it = targets.insert(targets.end(), {w, {}});
        it->second.push_back(t);
    }
    if (targets.size() == 1 && targets.front().second.size() == event.allTouches().size())
        return targets.front().first->sendEvent(event);
    for (const auto& [w, touches] : targets)
        w->sendEvent(*UIEvent::create(touches, event.timestamp()));
}

void UIApplication::layoutWindows() {
    for (const auto& w : windows()) w->layoutIfNeeded();
}

CGRect UIApplication::statusBarFrame() const {
    if (statusBarHidden_) return CGRectZero;
    return CGRectMake(0, 0, UIScreen::mainScreen()->bounds().size.width, 20);
}

bool UIApplication::canOpenURL(const std::string& url) const {
    const std::string scheme = schemeOf(url);
    return !scheme.empty() && schemes_.contains(scheme) && wellFormedURL(url);
}

bool UIApplication::openURL(const std::string& url) {
    if (!canOpenURL(url)) return false;
    opened_.push_back(url);
    // No dialler, mail or browser stands behind this platform: the line is all a person sees.
    NSLog("openURL %s: nothing on this system opens it", url.c_str());
    return true;
}

void UIApplication::setApplicationState(UIApplicationState s) {
    auto center = NSNotificationCenter::defaultCenter();
    auto self = sharedSelf<NSObject>();
    auto step = [&](UIApplicationState next, const char* name) {
        state_ = next;
        center->postNotificationName(name, self);
    };
    while (state_ != s) {
        if (state_ == UIApplicationStateActive) {
            step(UIApplicationStateInactive, UIApplicationWillResignActiveNotification);
        } else if (state_ == UIApplicationStateInactive) {
            if (s == UIApplicationStateBackground)
                step(UIApplicationStateBackground, UIApplicationDidEnterBackgroundNotification);
            else
                step(UIApplicationStateActive, UIApplicationDidBecomeActiveNotification);
        } else {
            step(UIApplicationStateInactive, UIApplicationWillEnterForegroundNotification);
        }
    }
}

void UIApplication::didReceiveMemoryWarning() {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, sharedSelf<NSObject>());
}

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation o) {
    if (o == orientation_) return;
    const UIInterfaceOrientation old = orientation_;
    orientation_ = o;
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidChangeStatusBarOrientationNotification, sharedSelf<NSObject>(),
        {{"UIApplicationStatusBarOrientationUserInfoKey", static_cast<int>(old)}});
}

void UIApplication::reset() {
    keyWindow_.reset();
    windows_.clear();
    state_ = UIApplicationStateActive;
    networkActivity_ = false;
    statusBarHidden_ = false;
    statusBarStyle_ = UIStatusBarStyleDefault;
    orientation_ = UIInterfaceOrientationPortrait;
    schemes_ = kDefaultSchemes;
    opened_.clear();
    delegate_.reset();
}

void UIApplication::didReceiveRemoteNotification(const nlohmann::json& userInfo) {
    if (!NSRunLoop::isMainThread()) {
        NSRunLoop::mainRunLoop()->performBlock(
            [userInfo] { sharedApplication()->didReceiveRemoteNotification(userInfo); });
        return;
    }
    if (const auto d = delegate()) d->applicationDidReceiveRemoteNotification(*this, userInfo);
}
