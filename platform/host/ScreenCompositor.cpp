#include "ScreenCompositor.h"

#include <cmath>

#include "Foundation/Clock.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"

bool ScreenCompositor::needsCompose() const { return composedAt_ != CALayer::changeCount(); }

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
    cairo_t* cr = cairo_create(screen_->surface());
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_scale(cr, scale, scale);
    const CFTimeInterval now = Clock::now();
    for (const auto& window : app->windows()) {
        const auto& layer = window->layer();
        cairo_save(cr);
        const CGAffineTransform t = layer->transformToSuperlayer();
        const cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
        cairo_transform(cr, &m);
        layer->renderInContext(cr, now);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(screen_->surface());
    composedAt_ = CALayer::changeCount();
    return screen_;
}
