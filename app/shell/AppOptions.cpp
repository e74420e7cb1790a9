#include "shell/AppOptions.h"

#include <charconv>
#include <cmath>

namespace {

bool parseSeconds(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out) && out >= 0;
}

}  // namespace

const char* AppOptions::usage() {
    return "usage: brisfold [--home DIR] [--server URL] [--location FILE|LAT,LON] [--headless]\n"
           "                [--screenshot PATH [--after SECONDS]]\n"
           "  --home DIR         the app's files (default $XDG_DATA_HOME/brisfold or\n"
           "                     ~/.local/share/brisfold)\n"
           "  --server URL       base address of the servers (default: a devserver started\n"
           "                     with its data in the home)\n"
           "  --location SOURCE  a track file or a fixed LAT,LON\n"
           "  --headless         no window, even when there is a display\n"
           "  --screenshot PATH  write the screen to a PNG after start-up and exit\n"
           "  --after SECONDS    run that long before the screenshot (default 0.5)\n"
           "  --help             this text\n"
           "Close the window, or press Ctrl-C (SIGINT or SIGTERM), to quit.\n";
}

std::optional<AppOptions> AppOptions::parse(const std::vector<std::string>& args,
                                            std::string& error) {
    AppOptions o;
    bool afterGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--home") {
            if (!value(o.home)) return std::nullopt;
        } else if (a == "--server") {
            if (!value(o.server)) return std::nullopt;
            if (o.server.rfind("http://", 0) != 0 && o.server.rfind("https://", 0) != 0) {
                error = "--server needs an http:// or https:// address";
                return std::nullopt;
            }
            if (o.server.back() != '/') o.server += '/';
        } else if (a == "--location") {
            if (!value(o.location)) return std::nullopt;
        } else if (a == "--headless") {
            o.headless = true;
        } else if (a == "--screenshot") {
            if (!value(o.screenshot)) return std::nullopt;
        } else if (a == "--after") {
            std::string text;
            if (!value(text)) return std::nullopt;
            if (!parseSeconds(text, o.after)) {
                error = "--after needs a finite number of seconds, 0 or more: " + text;
                return std::nullopt;
            }
            afterGiven = true;
        } else {
            error = "unknown argument: " + a;
            return std::nullopt;
        }
    }
    if (afterGiven && o.screenshot.empty()) {
        error = "--after goes with --screenshot";
        return std::nullopt;
    }
    return o;
}
