#include "HeadlessHost.h"

#include <algorithm>

#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"

HeadlessHost::HeadlessHost() {
    window_ = UIWindow::create(UIScreen::mainScreen()->bounds());
    window_->setBackgroundColor(UIColor::whiteColor());
    window_->makeKeyAndVisible();
}

HeadlessHost::~HeadlessHost() {
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

void HeadlessHost::post(const std::vector<Finger>& changes, std::optional<CFTimeInterval> time) {
    const CFTimeInterval t = time.value_or(Clock::now());
    std::vector<std::shared_ptr<UITouch>> ended;
    for (const Finger& f : changes) {
        auto it = touches_.find(f.id);
        if (f.phase == UITouchPhaseBegan) {
            if (it != touches_.end()) continue;  // a finger cannot go down twice
            touches_[f.id] = UITouch::create(f.point, t);
            continue;
        }
        if (it == touches_.end()) continue;
        it->second->update(f.phase, f.point, t);
        if (f.phase == UITouchPhaseEnded || f.phase == UITouchPhaseCancelled)
            ended.push_back(it->second);
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

void HeadlessHost::touchDown(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseBegan, p}}, time);
}
void HeadlessHost::touchMove(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseMoved, p}}, time);
}
void HeadlessHost::touchUp(int finger, CGPoint p, std::optional<CFTimeInterval> time) {
    post({{finger, UITouchPhaseEnded, p}}, time);
}
void HeadlessHost::touchCancel(int finger, std::optional<CFTimeInterval> time) {
    auto it = touches_.find(finger);
    if (it == touches_.end()) return;
    post({{finger, UITouchPhaseCancelled, it->second->locationInWindow()}}, time);
}
void HeadlessHost::tap(CGPoint p) {
    touchDown(0, p);
    touchUp(0, p);
}

bool HeadlessHost::typeText(const std::string& text) {
    auto r = UIResponder::currentFirstResponder();
    if (!r) return false;
    r->insertText(text);
    return true;
}

bool HeadlessHost::pressBackspace() {
    auto r = UIResponder::currentFirstResponder();
    if (!r) return false;
    r->deleteBackward();
    return true;
}

bool HeadlessHost::pressReturn() { return typeText("\n"); }

bool HeadlessHost::writePNG(const std::string& path) {
    auto image = compose();
    return image && image->writePNG(path);
}
