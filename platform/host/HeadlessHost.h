#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "UIKit/UITouch.h"
#include "UIKit/UIWindow.h"
#include "host/ScreenCompositor.h"

// A screen without a display: one key window of the screen's size, touches posted the way
// fingers make them, keys typed to the first responder, and the composed screen on demand.
class HeadlessHost {
  public:
    struct Finger {
        int id;
        UITouchPhase phase;
        CGPoint point;
    };

    HeadlessHost();
    ~HeadlessHost();
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    const std::shared_ptr<UIWindow>& window() const { return window_; }

    // One event with the given fingers changing (others held down are stationary).
    // Times default to Clock::now().
    void post(const std::vector<Finger>& changes, std::optional<CFTimeInterval> time = {});
    void touchDown(int finger, CGPoint p, std::optional<CFTimeInterval> time = {});
    void touchMove(int finger, CGPoint p, std::optional<CFTimeInterval> time = {});
    void touchUp(int finger, CGPoint p, std::optional<CFTimeInterval> time = {});
    void touchCancel(int finger, std::optional<CFTimeInterval> time = {});
    void tap(CGPoint p);
    size_t fingersDown() const { return touches_.size(); }

    // Key input to the current first responder; false when there is none.
    bool typeText(const std::string& text);
    bool pressBackspace();
    bool pressReturn();

    ScreenCompositor& compositor() { return compositor_; }
    CGImageRef compose() { return compositor_.compose(); }
    bool needsCompose() const { return compositor_.needsCompose(); }
    bool writePNG(const std::string& path);

  private:
    std::shared_ptr<UIWindow> window_;
    std::map<int, std::shared_ptr<UITouch>> touches_;
    ScreenCompositor compositor_;
};
