// Checks the picture the guide's program writes: kit_picture_probe PNG. Without a map data server
// the map is its plain background, so the pins are the only red, the route the only blue of its
// shade, the user location's dot the only blue of its own, and the logo the only ink in the
// bottom-left corner. Exits 1 naming what is missing or too much.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CoreGraphics/CGImage.h"

namespace {

bool near(const CGColor& a, const CGColor& b, double tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// The program's route colour.
const CGColor kRoute{0.1, 0.45, 0.95, 1};
// The kit's user location dot, over its white rim at the opacities its pulse runs through.
const CGColor kDot{24 / 255.0, 137 / 255.0, 234 / 255.0, 1};
constexpr double kDotLeastOpacity = 0.85;

bool isDot(const CGColor& c) {
    for (double alpha = kDotLeastOpacity; alpha <= 1.0001; alpha += 0.025) {
        const CGColor over{alpha * kDot.r + (1 - alpha), alpha * kDot.g + (1 - alpha),
                           alpha * kDot.b + (1 - alpha), 1};
        if (near(c, over, 0.03)) return true;
    }
    return false;
}

bool isRed(const CGColor& c) { return c.r > 0.75 && c.g < 0.35 && c.b < 0.35; }

// A pin's head is one patch of red; a patch smaller than this is no pin.
constexpr int kLeastPinPixels = 150;

struct Counts {
    int red = 0;    // the pins' heads
    int pins = 0;   // patches of red
    int route = 0;  // the route's stroke
    int dot = 0;    // the user location's dot
    int logo = 0;   // not background inside the logo's frame
};

// The patches of red of at least kLeastPinPixels, each pixel joined to its eight neighbours.
int countPins(const CGImage& image) {
    const int width = image.width(), height = image.height();
    std::vector<char> red(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) red[y * width + x] = isRed(image.pixelAt(x, y));
    }
    int pins = 0;
    std::vector<int> stack;
    for (int start = 0; start < width * height; ++start) {
        if (!red[start]) continue;
        int size = 0;
        red[start] = 0;
        stack.push_back(start);
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            ++size;
            const int x = at % width, y = at / width;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    const int next = ny * width + nx;
                    if (!red[next]) continue;
                    red[next] = 0;
                    stack.push_back(next);
                }
            }
        }
        pins += size >= kLeastPinPixels;
    }
    return pins;
}

// The logo's frame: 55 × 13 points, 5 points from the left and bottom edges, at scale 2.
struct LogoFrame {
    int left, top, right, bottom;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};
LogoFrame logoFrame(const CGImage& image) {
    const int bottom = image.height() - 10;
    return {10, bottom - 26, 120, bottom};
}

Counts count(const CGImage& image) {
    Counts counts;
    // The logo's own blue is no dot: it is left out, with a margin for its edges.
    const LogoFrame logo = logoFrame(image);
    const LogoFrame aroundLogo{logo.left - 4, logo.top - 4, logo.right + 4, logo.bottom + 4};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const CGColor c = image.pixelAt(x, y);
            const bool dot = !aroundLogo.contains(x, y) && isDot(c);
            counts.red += isRed(c);
            counts.route += near(c, kRoute, 0.1) && !dot;
            counts.dot += dot;
        }
    }
    counts.pins = countPins(image);
    const CGColor background = image.pixelAt(image.width() / 2, logo.bottom - 13);
    for (int y = logo.top; y < logo.bottom; ++y) {
        for (int x = logo.left; x < logo.right; ++x)
            counts.logo += !near(image.pixelAt(x, y), background, 0.1);
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: kit_picture_probe PNG\n", stderr);
        return 2;
    }
    const auto image = CGImage::createWithContentsOfFile(argv[1]);
    if (!image) {
        std::fprintf(stderr, "%s is not a picture\n", argv[1]);
        return 1;
    }
    // A phone screen of 320 × 568 points at twice the scale.
    if (image->width() != 640 || image->height() != 1136) {
        std::fprintf(stderr, "%s is %d × %d, not 640 × 1136\n", argv[1], image->width(),
                     image->height());
        return 1;
    }
    const Counts counts = count(*image);
    std::printf(
        "%s: %d pin(s) of %d pixels, %d route pixels, %d user location pixels, %d logo "
        "pixels\n",
        argv[1], counts.pins, counts.red, counts.route, counts.dot, counts.logo);
    std::string faults;
    const auto fault = [&](const std::string& what) {
        faults += (faults.empty() ? "" : "; ") + what;
    };
    if (counts.pins < 1) fault("no pin at the site");
    if (counts.route < 400) fault("no route");
    // The dot's blue is 12.5 points across at the least of its pulse: some 490 pixels.
    if (counts.dot < 300) fault("no blue dot at the user location");
    if (counts.logo < 100) fault("no logo");
    // The user location drawn as a pin, as when the delegate makes a pin for every annotation.
    if (counts.pins > 1) fault(std::to_string(counts.pins) + " red pins: the user location is one");
    if (faults.empty()) return 0;
    std::fprintf(stderr, "%s: %s\n", argv[1], faults.c_str());
    return 1;
}
