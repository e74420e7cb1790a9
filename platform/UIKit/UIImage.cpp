#include "UIImage.h"

#include <filesystem>
#include <map>
#include <vector>

#include "CoreGraphics/CGImageDrawing.h"
#include "Foundation/NSBundle.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScreen.h"

namespace {

std::map<std::string, std::shared_ptr<UIImage>>& namedCache() {
    static std::map<std::string, std::shared_ptr<UIImage>> cache;
    return cache;
}

bool hasImageExtension(const std::string& name, std::string& base, std::string& ext) {
    for (const char* e : {".png", ".jpg", ".jpeg", ".PNG", ".JPG"}) {
        const std::string x = e;
        if (name.size() > x.size() && name.ends_with(x)) {
            base = name.substr(0, name.size() - x.size());
            ext = x;
            return true;
        }
    }
    return false;
}

CGFloat scaleFromPath(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    if (stem.ends_with("@3x")) return 3;
    if (stem.ends_with("@2x")) return 2;
    return 1;
}

}  // namespace

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    auto bundle = NSBundle::mainBundle();
    const std::string key = bundle->bundlePath() + '\n' + name;
    auto& cache = namedCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    std::string base = name, ext;
    std::vector<std::string> exts;
    if (hasImageExtension(name, base, ext)) {
        exts = {ext};
    } else {
        exts = {".png", ".jpg"};
    }
    const bool retina = UIScreen::mainScreen()->scale() >= 2;
    std::vector<std::string> candidates;
    for (const auto& e : exts) {
        if (retina) candidates.push_back(base + "@2x" + e);
        candidates.push_back(base + e);
    }
    for (const auto& c : candidates) {
        if (auto path = bundle->pathForResource(c)) {
            if (auto image = imageWithContentsOfFile(*path)) {
                cache[key] = image;
                return image;
            }
        }
    }
    return nullptr;
}

void UIImage::clearNamedCache() { namedCache().clear(); }

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path) {
    // On a scale-2 screen a sibling "name@2x.ext" stands in for "name.ext", as on the platform.
    const std::filesystem::path p(path);
    if (UIScreen::mainScreen()->scale() >= 2 && scaleFromPath(path) == 1) {
        const auto twoX = p.parent_path() / (p.stem().string() + "@2x" + p.extension().string());
        std::error_code ec;
        if (std::filesystem::exists(twoX, ec)) {
            if (auto cg = CGImage::createWithContentsOfFile(twoX.string()))
                return imageWithCGImage(cg, 2);
        }
    }
    auto cg = CGImage::createWithContentsOfFile(path);
    if (!cg) return nullptr;
    return imageWithCGImage(std::move(cg), scaleFromPath(path));
}

std::shared_ptr<UIImage> UIImage::imageWithData(std::span<const uint8_t> data, CGFloat scale) {
    auto cg = CGImage::createWithData(data);
    if (!cg) return nullptr;
    return imageWithCGImage(std::move(cg), scale);
}

std::shared_ptr<UIImage> UIImage::imageWithCGImage(CGImageRef image, CGFloat scale) {
    if (!image) return nullptr;
    return std::shared_ptr<UIImage>(new UIImage(std::move(image), scale > 0 ? scale : 1));
}

CGSize UIImage::size() const { return {image_->width() / scale_, image_->height() / scale_}; }

std::shared_ptr<UIImage> UIImage::stretchableImageWithLeftCapWidth(int left, int top) const {
    // The platform's rule: the stretching part is the one column (row) after the cap.
    const CGSize s = size();
    UIEdgeInsets insets{};
    if (left > 0) {
        insets.left = left;
        insets.right = std::max(0.0, s.width - left - 1);
    }
    if (top > 0) {
        insets.top = top;
        insets.bottom = std::max(0.0, s.height - top - 1);
    }
    return resizableImageWithCapInsets(insets);
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets insets) const {
    auto copy = std::shared_ptr<UIImage>(new UIImage(image_, scale_));
    copy->capInsets_ = insets;
    copy->resizable_ = true;
    return copy;
}

void UIImage::drawInRect(CGRect rect, CGFloat alpha) const {
    CGContextRef ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    alpha *= ctx->state().alpha;
    if (resizable_ && capInsets_ != UIEdgeInsetsZero) {
        const CGEdgeInsetsPx caps{capInsets_.top * scale_, capInsets_.left * scale_,
                                  capInsets_.bottom * scale_, capInsets_.right * scale_};
        CGPaintImageNineGrid(ctx, *image_, rect, caps, 1 / scale_, alpha);
        return;
    }
    CGPaintImage(ctx, *image_, rect, alpha);
}

void UIImage::drawAtPoint(CGPoint point) const { drawInRect({point, size()}); }

namespace {
struct ImageContext {
    std::shared_ptr<CGImage> bitmap;
    std::unique_ptr<CGContext> context;
    CGFloat scale;
};
std::vector<ImageContext>& imageContexts() {
    static std::vector<ImageContext> stack;
    return stack;
}
}  // namespace

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale) {
    if (scale <= 0) scale = UIScreen::mainScreen()->scale();
    const int w = std::max(1, static_cast<int>(std::ceil(size.width * scale)));
    const int h = std::max(1, static_cast<int>(std::ceil(size.height * scale)));
    auto bitmap = CGImage::create(w, h);
    if (!bitmap) return;
    auto ctx = std::make_unique<CGContext>(*bitmap, scale);
    if (opaque) {
        CGContextSetRGBFillColor(ctx.get(), 0, 0, 0, 1);
        CGContextFillRect(ctx.get(), CGRectMake(0, 0, w / scale, h / scale));
    }
    UIGraphicsPushContext(ctx.get());
    imageContexts().push_back({std::move(bitmap), std::move(ctx), scale});
}

void UIGraphicsBeginImageContext(CGSize size) {
    UIGraphicsBeginImageContextWithOptions(size, false, 1);
}

std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
    auto& stack = imageContexts();
    if (stack.empty() || UIGraphicsGetCurrentContext() != stack.back().context.get())
        return nullptr;
    return UIImage::imageWithCGImage(CGBitmapContextCreateImage(stack.back().context.get()),
                                     stack.back().scale);
}

void UIGraphicsEndImageContext() {
    auto& stack = imageContexts();
    if (stack.empty()) return;
    if (UIGraphicsGetCurrentContext() == stack.back().context.get()) UIGraphicsPopContext();
    stack.pop_back();
}
