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

// The phone screen as the app and the tests see it, whether it is shown in a desktop window
// (SDLHost) or nowhere (HeadlessHost): one key window of the screen's size, fingers and keys
// delivered as the platform delivers them, the main run loop run on the app's behalf, and the
// composed screen on demand.
// How a desktop window shows the screen.
struct WindowOptions {
    // Window pixels per screen point.
    double displayFactor = 1.0;
    std::string title = "Brisfold";
};

class Host {
  public:
    struct Finger {
        int id;
        UITouchPhase phase;
        CGPoint point;
    };

    // A window when a display can be opened and headless is not asked for; otherwise, with one
    // line on stderr saying why, a headless host.
    static std::unique_ptr<Host> create(bool headless, const WindowOptions& window = {});
    virtual ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const std::shared_ptr<UIWindow>& window() const { return window_; }
    ScreenCompositor& compositor() { return compositor_; }
    CGImageRef compose() { return compositor_.compose(); }
    bool needsCompose() const { return compositor_.needsCompose(); }
    bool writePNG(const std::string& path);

    // Runs the main run loop, and the window's input, until stop() or the window is closed.
    void run();
    // At least one turn, and for at most the given real seconds; false when stop() or a closed
    // window ended it first.
    bool runFor(double seconds);
    // Ends run() or runFor() after the current turn of the main run loop (main thread only).
    void stop() { stopped_ = true; }

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

  protected:
    Host();
    // Handles waiting input, turns the main run loop once (sleeping up to maxWait seconds when
    // there is nothing to do) and shows what changed; false once the window has been closed.
    virtual bool pump(double maxWait) = 0;
    // Called as run() or runFor() begins.
    virtual void willRun() {}

  private:
    std::shared_ptr<UIWindow> window_;
    std::map<int, std::shared_ptr<UITouch>> touches_;
    ScreenCompositor compositor_;
    bool stopped_ = false;
};
