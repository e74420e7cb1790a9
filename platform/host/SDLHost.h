#pragma once

#include <memory>
#include <string>

#include "host/Host.h"

// A desktop window showing the phone screen. The mouse is one finger; with Alt held a drag is
// two fingers mirrored about the window centre, so moving in and out pinches and moving round
// rotates. Keys and text go to the first responder. Between events the main run loop runs
// (sleeping in it when idle), and the screen is composed and presented when it changed.
class SDLHost : public Host {
  public:
    using Options = WindowOptions;

    // Null, with the reason in why, when no display can be opened. SDL's own stand-ins for a
    // display (its offscreen and dummy drivers) count only when SDL_VIDEODRIVER names them.
    static std::unique_ptr<SDLHost> create(const Options& options, std::string* why = nullptr);
    ~SDLHost() override;

    // Handles the input already queued and runs one turn of the main run loop without waiting;
    // false once the window was closed.
    bool pumpEvents() { return pump(0); }

  protected:
    bool pump(double maxWait) override;
    void willRun() override;

  private:
    struct Window;
    explicit SDLHost(std::unique_ptr<Window> sdl);

    std::unique_ptr<Window> sdl_;
};
