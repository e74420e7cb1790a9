#include "shell/AppOptions.h"

#include <charconv>

namespace {

bool parseSeconds(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && out >= 0;
}

}  // namespace

const char* AppOptions::usage() {
    return "usage: brisfold [--home DIR] [--server URL] [--location FILE|LAT,LON] [--headless]\n"
           "                [--screenshot PATH [--after SECONDS]]\n";
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
        if (a == "--home") {
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
                error = "--after needs a number of seconds";
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
