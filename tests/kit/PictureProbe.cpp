// Checks the picture the kit example writes: kit_picture_probe PNG. Without a map data server the
// map is its plain background, so the pin is the only red, the route the only blue of its shade,
// and the logo the only ink in the bottom-left corner. Exits 1 naming what is missing.
#include <cmath>
#include <cstdio>
#include <string>

#include "CoreGraphics/CGImage.h"

namespace {

bool near(const CGColor& a, const CGColor& b, double tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// The example's route colour.
const CGColor kRoute{0.1, 0.45, 0.95, 1};

struct Counts {
    int red = 0;    // the pin's head
    int route = 0;  // the route's stroke
    int logo = 0;   // not background inside the logo's frame
};

Counts count(const CGImage& image) {
    Counts counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const CGColor c = image.pixelAt(x, y);
            counts.red += c.r > 0.75 && c.g < 0.35 && c.b < 0.35;
            counts.route += near(c, kRoute, 0.1);
        }
    }
    // The logo's frame: 55 × 13 points, 5 points from the left and bottom edges, at scale 2.
    const int bottom = image.height() - 10;
    const CGColor background = image.pixelAt(image.width() / 2, bottom - 13);
    for (int y = bottom - 26; y < bottom; ++y) {
        for (int x = 10; x < 120; ++x) counts.logo += !near(image.pixelAt(x, y), background, 0.1);
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
    std::printf("%s: %d pin pixels, %d route pixels, %d logo pixels\n", argv[1], counts.red,
                counts.route, counts.logo);
    std::string missing;
    if (counts.red < 150) missing += " the pin";
    if (counts.route < 400) missing += " the route";
    if (counts.logo < 100) missing += " the logo";
    if (missing.empty()) return 0;
    std::fprintf(stderr, "%s lacks%s\n", argv[1], missing.c_str());
    return 1;
}
