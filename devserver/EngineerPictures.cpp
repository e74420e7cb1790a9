#include "EngineerPictures.h"

#include <httplib.h>

#include <string>

#include "CoreGraphics/CGContext.h"
#include "SeedData.h"

namespace devserver {

namespace {

constexpr std::string_view kPicturePrefix = "/images/engineers/";

std::string drawPicture() {
    constexpr double side = kEngineerPictureSide;
    const auto context =
        CGBitmapContextCreate(nullptr, kEngineerPictureSide, kEngineerPictureSide, 8, 0, nullptr,
                              kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGContext* c = context.get();
    const PictureColour fill = kEngineerPictureColour;
    CGContextSetRGBFillColor(c, fill.r / 255.0, fill.g / 255.0, fill.b / 255.0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, side, side));
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    // A bitmap context's y grows upwards: the shoulders lie at the bottom, the head above.
    CGContextFillEllipseInRect(c, CGRectMake(side * 0.2, -side * 0.25, side * 0.6, side * 0.6));
    CGContextFillEllipseInRect(c, CGRectMake(side * 0.33, side * 0.42, side * 0.34, side * 0.34));
    const CGImageRef image = CGBitmapContextCreateImage(c);
    if (!image) return {};
    const NSData png = image->pngData();
    return std::string(png.begin(), png.end());
}

}  // namespace

bool ownsEngineerPicture(std::string_view path) { return path.starts_with(kPicturePrefix); }

void registerEngineerPictures(httplib::Server& server) {
    server.Get(R"(/images/engineers/[^/]{1,64}\.png)",
               [](const httplib::Request& request, httplib::Response& response) {
                   bool known = false;
                   for (const auto& seed : kSeedEngineers)
                       known = known || (!seed.photo.empty() && seed.photo == request.path);
                   if (!known) {
                       response.status = 404;
                       response.set_content("no picture\n", "text/plain");
                       return;
                   }
                   std::string png = drawPicture();
                   if (png.empty()) {
                       response.status = 500;
                       response.set_content("cannot draw the picture\n", "text/plain");
                       return;
                   }
                   response.set_content(std::move(png), "image/png");
               });
}

}  // namespace devserver
