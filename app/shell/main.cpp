// The field engineers' application: the sign-in screen against the service API, in a
// phone-sized window or headless, optionally writing a screenshot and exiting.

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIScreen.h"
#include "host/HeadlessHost.h"
#include "host/SDLHost.h"
#include "shell/AppOptions.h"
#include "shell/DevServerProcess.h"
#include "shell/LoginView.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onSignal(int) { gInterrupted = 1; }

// Real seconds of run-loop time, or until interrupted when seconds is negative.
void runMainLoop(double seconds) {
    auto loop = NSRunLoop::mainRunLoop();
    const double deadline = Clock::realNow() + seconds;
    while (!gInterrupted && (seconds < 0 || Clock::realNow() < deadline)) {
        const double left = seconds < 0 ? 0.2 : std::min(0.2, deadline - Clock::realNow());
        loop->runOnce(std::max(left, 0.0));
    }
}

template <class Host>
void show(Host& host, const std::string& serviceBase) {
    auto window = host.window();
    window->setBackgroundColor(UIColor::whiteColor());
    window->addSubview(LoginView::create(window->bounds(), serviceBase));
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = AppOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "brisfold: %s\n%s", error.c_str(), AppOptions::usage());
        return 2;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    NSRunLoop::mainRunLoop();
    if (!options->home.empty()) NSSetHomeDirectory(options->home);

    std::unique_ptr<DevServerProcess> devserver;
    std::string server = options->server;
    if (server.empty()) {
        const std::string data = NSHomeDirectory() + "/devserver.sqlite";
        devserver = DevServerProcess::start(DevServerProcess::defaultExecutable(), data, error);
        if (!devserver) {
            std::fprintf(stderr, "brisfold: %s\n", error.c_str());
            return 1;
        }
        server = devserver->baseURL();
        NSLog("devserver at %s", server.c_str());
    }

    std::unique_ptr<SDLHost> window;
    if (!options->headless) {
        window = SDLHost::create();
        if (!window) NSLog("no display: running headless");
    }
    std::unique_ptr<HeadlessHost> headless;
    if (!window) {
        headless = std::make_unique<HeadlessHost>();
        headless->compositor().setDrawsStatusBar(true);
    }
    if (window) {
        window->compositor().setDrawsStatusBar(true);
        show(*window, server);
    } else {
        show(*headless, server);
    }

    if (!options->screenshot.empty()) {
        if (window)
            window->runFor(options->after);
        else
            runMainLoop(options->after);
        const bool written = window ? window->writePNG(options->screenshot)
                                    : headless->writePNG(options->screenshot);
        if (!written) {
            std::fprintf(stderr, "brisfold: cannot write %s\n", options->screenshot.c_str());
            return 1;
        }
        return 0;
    }
    if (window)
        window->run();
    else
        runMainLoop(-1);
    return 0;
}
