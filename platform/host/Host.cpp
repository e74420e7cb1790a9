#include "Host.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "host/HeadlessHost.h"
#include "host/SDLHost.h"

namespace {
// The longest single sleep of a run: bounds how long a run loop wait may be in one call.
constexpr double kLongestTurn = 1.0;
}  // namespace

std::unique_ptr<Host> Host::create(bool headless, const WindowOptions& window) {
    if (!headless) {
        std::string why;
        if (auto host = SDLHost::create(window, &why)) return host;
        std::fprintf(stderr, "no window (%s): running headless\n", why.c_str());
    }
    return std::make_unique<HeadlessHost>();
}

Host::Host() {
    window_ = UIWindow::create(UIScreen::mainScreen()->bounds());
    window_->setBackgroundColor(UIColor::whiteColor());
    window_->makeKeyAndVisible();
}

Host::~Host() {
    if (!touches_.empty()) {
        std::vector<Finger> lift;
        for (const auto& [id, t] : touches_)
            lift.push_back({id, UITouchPhaseCancelled, t->locationInWindow()});
        post(lift);
    }
    if (auto first = UIResponder::currentFirstResponder()) first->resignFirstResponder();
    window_->setHidden(true);
    auto app = UIApplication::sharedApplication();
    if (app->keyWindow() == window_) app->setKeyWindow(nullptr);
}

bool Host::writePNG(const std::string& path) {
    auto image = compose();
    return image && image->writePNG(path);
}

void Host::run() { runFor(std::numeric_limits<double>::infinity()); }

bool Host::runFor(double seconds) {
    stopped_ = false;
    willRun();
    const double end = Clock::realNow() + seconds;
    // At least one turn, so that what was scheduled for the next turn has run.
    do {
        const double left = end - Clock::realNow();
        if (!pump(left > 0 ? std::min(left, kLongestTurn) : 0)) return false;
    } while (!stopped_ && Clock::realNow() < end);
    return !stopped_;
}

void Host::post(const std::vector<Finger>& changes, std::optional<CFTimeInterval> time) {
    const CFTimeInterval t = time.value_or(Clock::now());
    for (const Finger& f : changes) {
        auto it = touches_.find(f.id);
        if (f.phase == UITouchPhaseBegan) {
            if (it != touches_.end()) continue;  // a finger cannot go down twice
            touches_[f.id] = UITouch::create(f.point, t);
            continue;
        }
        if (it == touches_.end()) continue;
        it->second->update(f.phase, f.point, t);
    }
    UITouchSet all;
    for (const auto& [id, touch] : touches_) {
        const bool changed = std::any_of(changes.begin(), changes.end(),
                                         [id = id](const Finger& f) { return f.id == id; });
        if (!changed && touch->phase() != UITouchPhaseEnded &&
            touch->phase() != UITouchPhaseCancelled) {
            touch->update(UITouchPhaseStationary, touch->locationInWindow(), t);
        }
        all.push_back(touch);
    }
    if (all.empty()) return;
    auto event = UIEvent::create(all, t);
    UIApplication::sharedApplication()->sendEvent(*event);
    std::erase_if(touches_, [](const auto& e) {
        return e.second->phase() == UITouchPhaseEnded || e.second->phase() == UITouchPhaseCancelled;
    });
}

void Host::touchDown(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseBegan, p}}, time);
}
void Host::touchMove(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseMoved, p}}, time);
}
void Host::touchUp(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseEnded, p}}, time);
}
void Host::touchCancel(int finger, std::optional<CFTimeInterval> time) {
    auto it = touches_.find(finger);
    if (it == touches_.end()) return;
    post({{finger, UITouchPhaseCancelled, it->second->locationInWindow()}}, time);
}
void Host::tap(CGPoint p) {
    touchDown(0, p);
    touchUp(0, p);
}

bool Host::typeText(const std::string& text) {
    auto r = UIResponder::currentFirstResponder();
    if (!r) return false;
    r->insertText(text);
    return true;
}

bool Host::pressBackspace() {
    auto r = UIResponder::currentFirstResponder();
    if (!r) return false;
    r->deleteBackward();
    return true;
}

bool Host::pressReturn() { return typeText("\n"); }
