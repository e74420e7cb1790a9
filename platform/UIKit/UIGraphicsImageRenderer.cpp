#include "UIGraphicsImageRenderer.h"

#include <algorithm>
#include <cmath>

#include "UIGraphics.h"
#include "UIImage.h"
#include "UIScreen.h"

UIGraphicsImageRenderer::UIGraphicsImageRenderer(CGSize size, bool opaque, CGFloat scale)
    : size_(size), opaque_(opaque), scale_(scale > 0 ? scale : UIScreen::mainScreen()->scale()) {}

std::shared_ptr<UIImage> UIGraphicsImageRenderer::image(
    const std::function<void(CGContextRef)>& actions) const {
    const int w = std::max(1, static_cast<int>(std::ceil(size_.width * scale_)));
    const int h = std::max(1, static_cast<int>(std::ceil(size_.height * scale_)));
    auto bitmap = CGImage::create(w, h);
    if (!bitmap) return nullptr;
    {
        CGContext context(*bitmap, scale_);
        if (opaque_) {
            CGContextSetRGBFillColor(&context, 0, 0, 0, 1);
            CGContextFillRect(&context, CGRectMake(0, 0, w / scale_, h / scale_));
        }
        UIGraphicsPushContext(&context);
        if (actions) actions(&context);
        UIGraphicsPopContext();
    }
    return UIImage::imageWithCGImage(std::move(bitmap), scale_);
}
