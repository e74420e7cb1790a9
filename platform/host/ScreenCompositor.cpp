#include "ScreenCompositor.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "Foundation/Clock.h"
#include "UIKit/NSStringDrawing.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"

namespace {
int currentMinute() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 60 + local.tm_min;
}
}  // namespace

bool ScreenCompositor::needsCompose() const {
    if (drawsStatusBar_ && currentMinute() != shownMinute_) return true;
    return composedAt_ != CALayer::changeCount();
}

void ScreenCompositor::drawStatusBar(CGContextRef ctx) {
    auto app = UIApplication::sharedApplication();
    if (app->isStatusBarHidden()) return;
    const CGRect bar = app->statusBarFrame();
    const CGColor ink = app->statusBarStyle() == UIStatusBarStyleLightContent ? CGColor{1, 1, 1, 1}
                                                                              : CGColor{0, 0, 0, 1};
    CGContextSetFillColorWithColor(ctx, ink);
    CGContextSetStrokeColorWithColor(ctx, ink);
    // Signal: five dots on the left.
    for (int i = 0; i < 5; ++i)
        CGContextFillEllipseInRect(ctx, CGRectMake(6 + i * 6.5, 7, 5.5, 5.5));
    shownMinute_ = currentMinute();
    char time[24];
    std::snprintf(time, sizeof time, "%02d:%02d", shownMinute_ / 60, shownMinute_ % 60);
    const NSTextStyle style{UIFont::boldSystemFontOfSize(12), NSTextAlignmentCenter};
    const CGSize s = NSStringBoundingSize(time, style, 0);
    NSStringDrawInRect(ctx, time,
                       CGRectMake(0, (bar.size.height - s.height) / 2, bar.size.width, s.height),
                       style, ink);
    // Battery on the right.
    const CGRect body = CGRectMake(bar.size.width - 32, 6, 24, 10.5);
    CGContextSetLineWidth(ctx, 1);
    CGContextStrokeRect(ctx, CGRectInset(body, 0.5, 0.5));
    CGContextFillRect(ctx, CGRectInset(body, 2, 2));
    CGContextFillRect(ctx, CGRectMake(CGRectGetMaxX(body) + 0.5, 9, 1.5, 4.5));
}

CGImageRef ScreenCompositor::compose() {
    const auto screen = UIScreen::mainScreen();
    const CGFloat scale = screen->scale();
    const int w = static_cast<int>(std::lround(screen->bounds().size.width * scale));
    const int h = static_cast<int>(std::lround(screen->bounds().size.height * scale));
    if (!screen_ || screen_->width() != w || screen_->height() != h)
        screen_ = CGImage::create(w, h);
    if (!screen_) return nullptr;

    auto app = UIApplication::sharedApplication();
    app->layoutWindows();
    {
        CGContext ctx(*screen_, scale);
        CGContextSetRGBFillColor(&ctx, 0, 0, 0, 1);
        CGContextFillRect(&ctx, CGRectMake(0, 0, w / scale, h / scale));
        const CFTimeInterval now = Clock::now();
        for (const auto& window : app->windows()) {
            const auto& layer = window->layer();
            CGContextSaveGState(&ctx);
            CGContextConcatCTM(&ctx, layer->transformToSuperlayer());
            layer->renderInContext(&ctx, now);
            CGContextRestoreGState(&ctx);
        }
        if (drawsStatusBar_) drawStatusBar(&ctx);
    }
    composedAt_ = CALayer::changeCount();
    return screen_;
}
