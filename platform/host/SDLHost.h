#pragma once

#include <map>
#include <memory>
#include <string>

#include "UIKit/UITouch.h"
#include "UIKit/UIWindow.h"
#include "host/ScreenCompositor.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;

// A desktop window showing the phone screen. The mouse is one finger; with Alt held a drag is
// two fingers mirrored about the window centre, so moving in and out pinches and moving round
// rotates. Keys and text go to the first responder. Between events the main run loop runs
// (sleeping in it when idle), and the screen is composed and presented when it changed.
class SDLHost {
  public:
    struct Options {
        // Window pixels per screen point.
        double displayFactor = 1.0;
        std::string title = "Brisfold";
    };

    // Null when no display can be opened.
    static std::unique_ptr<SDLHost> create(const Options& options);
    static std::unique_ptr<SDLHost> create() { return create(Options{}); }
    ~SDLHost();
    SDLHost(const SDLHost&) = delete;
    SDLHost& operator=(const SDLHost&) = delete;

    const std::shared_ptr<UIWindow>& window() const { return window_; }
    ScreenCompositor& compositor() { return compositor_; }

    // Until the window is closed or stop() is called.
    void run();
    // For at most the given real seconds (or until closed); false once the window was closed.
    bool runFor(double seconds);
    void stop() { running_ = false; }
    // Handles the input already queued and runs one turn of the main run loop without waiting;
    // false once the window was closed.
    bool pumpEvents() { return pumpOnce(0); }
    bool writePNG(const std::string& path);

  private:
    SDLHost() = default;
    bool pumpOnce(double maxWait);
    void handle(const SDL_Event& e);
    void sendFingers(UITouchPhase phase, CGPoint p);
    void present();

    Options options_;
    SDL_Window* sdlWindow_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureW_ = 0, textureH_ = 0;
    std::shared_ptr<UIWindow> window_;
    ScreenCompositor compositor_;
    std::map<int, std::shared_ptr<UITouch>> touches_;
    bool twoFingers_ = false;
    bool running_ = false;
    bool closed_ = false;
};
