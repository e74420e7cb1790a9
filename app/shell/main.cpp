// The field engineers' application: the sign-in and the tab bar shell against the service API,
// in a phone-sized window or headless, optionally writing a screenshot and exiting.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CoreLocation/CLLocationManager.h"
#include "CoreLocation/CLLocationSource.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIApplication.h"
#include "host/Host.h"
#include "shell/AppHome.h"
#include "shell/AppOptions.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DevServerProcess.h"
#include "shell/QuitSignals.h"

namespace {

int run(Host& host, const AppOptions& options) {
    if (options.screenshot.empty()) {
        host.run();
        return 0;
    }
    if (!host.runFor(options.after)) {
        std::fprintf(stderr, "brisfold: stopped before the screenshot\n");
        return 1;
    }
    if (!host.writePNG(options.screenshot)) {
        std::fprintf(stderr, "brisfold: cannot write %s\n", options.screenshot.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = AppOptions::parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "brisfold: %s\n%s", error.c_str(), AppOptions::usage());
        return 2;
    }
    if (options->help) {
        std::fputs(AppOptions::usage(), stdout);
        return 0;
    }
    // Before any thread starts, so that every thread holds the quit signals back.
    QuitSignals quit;
    // Read before anything is written, so that a bad source leaves no trace.
    std::shared_ptr<CLLocationSource> location;
    if (!options->location.empty()) {
        location = CLLocationSource::fromArgument(options->location, &error);
        if (!location) {
            std::fprintf(stderr, "brisfold: --location %s: %s\n", options->location.c_str(),
                         error.c_str());
            return 2;
        }
    }
    const std::string home = options->home.empty() ? NSDefaultHomeDirectory() : options->home;
    if (!prepareAppHome(home, error)) {
        std::fprintf(stderr, "brisfold: %s\n", error.c_str());
        return 1;
    }
    NSSetHomeDirectory(home);
    NSRunLoop::mainRunLoop();
    if (location) CLLocationManager::setSource(location);

    std::unique_ptr<Host> host;
    std::unique_ptr<DevServerProcess> devserver;
    bool devserverFailed = false;
    std::string server = options->server;
    if (server.empty()) {
        const std::string data = NSHomeDirectory() + "/devserver.sqlite";
        // Without its server the app could do nothing: it ends, saying why.
        auto failed = [&](const std::string& reason) {
            std::fprintf(stderr, "brisfold: the devserver could not start: %s\n", reason.c_str());
            devserverFailed = true;
            if (host) host->stop();
        };
        devserver =
            DevServerProcess::start(DevServerProcess::defaultExecutable(), data, error, failed);
        if (!devserver) {
            std::fprintf(stderr, "brisfold: %s\n", error.c_str());
            return 1;
        }
        server = devserver->baseURL();
        NSLog("devserver at %s", server.c_str());
    }

    host = Host::create(options->headless);
    quit.onSignal([&host] {
        if (host) host->stop();
    });
    host->compositor().setDrawsStatusBar(true);
    // Every screen of the app has the brand-blue bar under the status bar.
    UIApplication::sharedApplication()->setStatusBarStyle(UIStatusBarStyleLightContent);
    BrisfoldAppDelegate::launch(host->window(), server);
    const int status = run(*host, *options);
    // The screens, their map views and the window go while main's world is still whole.
    BrisfoldAppDelegate::terminate();
    host.reset();
    return devserverFailed ? 1 : status;
}
