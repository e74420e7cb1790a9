#include "TileEndpoints.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGText.h"
#include "HttpServer.h"
#include "RequestBody.h"

namespace devserver {

namespace {

constexpr const char* kTilePattern = R"(/(\d{1,2})/(\d{1,9})/(\d{1,9})\.png)";
constexpr double kMaxScale = 4;

std::optional<std::int64_t> number(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The tile named by the three captures from `first` on, or nothing (answered 404) when it lies
// outside the tiling or the scale is not a number in 1..4 (answered 400).
std::optional<TileRequest> parseTile(const httplib::Request& request, size_t first,
                                     httplib::Response& response) {
    const auto z = number(request.matches[first]);
    const auto x = number(request.matches[first + 1]);
    const auto y = number(request.matches[first + 2]);
    if (!z || !x || !y || *z > kTileMaxZoom || *x >= (std::int64_t{1} << *z) ||
        *y >= (std::int64_t{1} << *z)) {
        response.status = 404;
        response.set_content("no such tile\n", "text/plain");
        return std::nullopt;
    }
    double scale = 1;
    if (request.has_param("scale")) {
        const std::string text = request.get_param_value("scale");
        char* end = nullptr;
        scale = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !(scale >= 1) ||
            scale > kMaxScale) {
            response.status = 400;
            response.set_content("scale must be a number from 1 to 4\n", "text/plain");
            return std::nullopt;
        }
    }
    return TileRequest{*x, *y, *z, static_cast<int>(std::lround(kTileSide * scale))};
}

std::string renderTile(const TileRequest& tile) {
    const auto context =
        CGBitmapContextCreate(nullptr, tile.side, tile.side, 8, 0, nullptr,
                              kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGContext* c = context.get();
    const double side = tile.side;
    const TileColour fill = tileColour(tile.x, tile.y, tile.z);
    CGContextSetRGBFillColor(c, fill.r / 255.0, fill.g / 255.0, fill.b / 255.0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, side, side));
    CGContextSetShouldAntialias(c, false);
    CGContextSetRGBStrokeColor(c, kTileBorderColour.r / 255.0, kTileBorderColour.g / 255.0,
                               kTileBorderColour.b / 255.0, 1);
    CGContextStrokeRectWithWidth(c, CGRectMake(0.5, 0.5, side - 1, side - 1), 1);
    CGContextSetShouldAntialias(c, true);
    const std::string label =
        std::to_string(tile.z) + "/" + std::to_string(tile.x) + "/" + std::to_string(tile.y);
    CGTextStyle style;
    style.font = {side / 12, true};
    style.alignment = NSTextAlignmentCenter;
    style.numberOfLines = 1;
    const CGFloat lineHeight = CGFontGetMetrics(style.font).lineHeight;
    // A bitmap context's y grows upwards; text is laid out from the top down.
    CGContextTranslateCTM(c, 0, side);
    CGContextScaleCTM(c, 1, -1);
    CGTextDrawInRect(c, label, CGRectMake(0, (side - lineHeight) / 2, side, lineHeight), style,
                     CGColor{kTileBorderColour.r / 255.0, kTileBorderColour.g / 255.0,
                             kTileBorderColour.b / 255.0, 1});
    const CGImageRef image = CGBitmapContextCreateImage(c);
    if (!image) return {};
    const NSData png = image->pngData();
    return std::string(png.begin(), png.end());
}

}  // namespace

void TileEndpoints::answerTile(const TileRequest& tile, const httplib::Request& request,
                               httplib::Response& response) {
    std::string png;
    {
        // A scale-4 bitmap takes 4 MiB while it is drawn: a few at a time bound the memory
        // that many requests at once can take.
        renders_.acquire();
        const struct Done {
            std::counting_semaphore<kRendersAtOnce>& renders;
            ~Done() { renders.release(); }
        } done{renders_};
        png = renderTile(tile);
    }
    if (png.empty()) {
        response.status = 500;
        response.set_content("cannot draw the tile\n", "text/plain");
        return;
    }
    const size_t size = png.size();
    response.set_content(std::move(png), "image/png");
    answerRange(request, response, size);
}

TileColour tileColour(std::int64_t x, std::int64_t y, std::int64_t z) {
    const auto channel = [](std::int64_t v) {
        return static_cast<std::uint8_t>(64 + ((v % 160) + 160) % 160);
    };
    return {channel(37 * x + 11 * z), channel(59 * y + 23 * z), channel(41 * z + 13 * x + 7 * y)};
}

void TileEndpoints::registerOn(httplib::Server& server) {
    server.Get(std::string("/tiles") + kTilePattern,
               [this](const httplib::Request& request, httplib::Response& response) {
                   note(request.target);
                   if (const auto tile = parseTile(request, 1, response)) {
                       answerTile(*tile, request, response);
                   }
               });
    server.Get(std::string(R"(/tiles/held/([\w-]{1,64}))") + kTilePattern,
               [this](const httplib::Request& request, httplib::Response& response) {
                   note(request.target);
                   const auto tile = parseTile(request, 2, response);
                   if (!tile) return;
                   if (!waitAtGate(request.matches[1])) {
                       response.status = 503;
                       response.set_content("the gate was not released\n", "text/plain");
                       return;
                   }
                   answerTile(*tile, request, response);
               });
    server.Post(R"(/tiles/release/([\w-]{1,64}))", [this](const httplib::Request& request,
                                                          httplib::Response& response,
                                                          const httplib::ContentReader& reader) {
        // The release takes no body, but one is bounded as every other is.
        std::string body;
        if (const int status = readBody(request, reader, body); status != 200) {
            refuseWith(response, status);
            return;
        }
        response.set_content(std::to_string(release(request.matches[1])) + "\n", "text/plain");
    });
    server.Get("/tiles/empty", [this](const httplib::Request& request, httplib::Response&) {
        note(request.target);
    });
    server.Get("/tiles/page.html",
               [this](const httplib::Request& request, httplib::Response& response) {
                   note(request.target);
                   response.set_content(
                       "<!DOCTYPE html>\n<html><head><title>Sign in</title></head>"
                       "<body><p>Sign in to the network to continue.</p></body></html>\n",
                       "text/html; charset=utf-8");
               });
    server.Get("/tiles/log", [this](const httplib::Request&, httplib::Response& response) {
        std::string text;
        for (const std::string& line : log()) text += line + "\n";
        response.set_content(std::move(text), "text/plain; charset=utf-8");
    });
}

void TileEndpoints::releaseAll() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    released_.notify_all();
}

std::vector<std::string> TileEndpoints::log() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void TileEndpoints::note(const std::string& target) {
    std::string line = target.substr(0, kLogLineBytes);
    std::lock_guard lock(mutex_);
    if (log_.size() == kLogLines) log_.pop_front();
    log_.push_back(std::move(line));
}

bool TileEndpoints::waitAtGate(const std::string& gate) {
    std::unique_lock lock(mutex_);
    if (stopping_ || open_.contains(gate)) return true;
    if (waiting_.size() >= maxHeld_) return false;
    waiting_.push_back(gate);
    const bool released =
        released_.wait_for(lock, holdDeadline_, [&] { return stopping_ || open_.contains(gate); });
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), gate));
    return released;
}

std::size_t TileEndpoints::held() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

std::size_t TileEndpoints::release(const std::string& gate) {
    std::lock_guard lock(mutex_);
    // Else a server that runs for long would keep every gate it was ever sent.
    if (open_.insert(gate).second) {
        opened_.push_back(gate);
        if (opened_.size() > kOpenGates) {
            open_.erase(opened_.front());
            opened_.pop_front();
        }
    }
    released_.notify_all();
    return static_cast<std::size_t>(std::count(waiting_.begin(), waiting_.end(), gate));
}

}  // namespace devserver
