#include "SDLHost.h"

#include <SDL2/SDL.h>

#include <cstdio>

#include "Foundation/NSRunLoop.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"

namespace {
// How long the run loop may sleep before input is looked at again: short enough that input
// feels immediate, long enough that an idle window costs next to nothing.
constexpr double kInputPoll = 0.008;
}  // namespace

std::unique_ptr<SDLHost> SDLHost::create(const Options& options) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDLHost: no display: %s\n", SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<SDLHost> host(new SDLHost());
    host->options_ = options;
    const CGSize points = UIScreen::mainScreen()->bounds().size;
    const int w = static_cast<int>(points.width * options.displayFactor);
    const int h = static_cast<int>(points.height * options.displayFactor);
    host->sdlWindow_ = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, w, h, 0);
    if (!host->sdlWindow_) {
        std::fprintf(stderr, "SDLHost: cannot open a window: %s\n", SDL_GetError());
        return nullptr;
    }
    host->renderer_ = SDL_CreateRenderer(host->sdlWindow_, -1, 0);
    if (!host->renderer_)
        host->renderer_ = SDL_CreateRenderer(host->sdlWindow_, -1, SDL_RENDERER_SOFTWARE);
    if (!host->renderer_) {
        std::fprintf(stderr, "SDLHost: no renderer: %s\n", SDL_GetError());
        return nullptr;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    host->window_ = UIWindow::create(UIScreen::mainScreen()->bounds());
    host->window_->setBackgroundColor(UIColor::whiteColor());
    host->window_->makeKeyAndVisible();
    host->compositor_.setDrawsStatusBar(true);
    SDL_StartTextInput();
    return host;
}

SDLHost::~SDLHost() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (sdlWindow_) SDL_DestroyWindow(sdlWindow_);
    if (window_) {
        window_->setHidden(true);
        auto app = UIApplication::sharedApplication();
        if (app->keyWindow() == window_) app->setKeyWindow(nullptr);
    }
    SDL_Quit();
}

void SDLHost::sendFingers(UITouchPhase phase, CGPoint p) {
    const CGSize size = UIScreen::mainScreen()->bounds().size;
    const CGPoint mirror{size.width - p.x, size.height - p.y};
    const CFTimeInterval now = Clock::now();
    std::vector<std::pair<int, CGPoint>> fingers{{0, p}};
    if (twoFingers_) fingers.emplace_back(1, mirror);
    for (const auto& [id, point] : fingers) {
        if (phase == UITouchPhaseBegan) {
            touches_[id] = UITouch::create(point, now);
        } else if (auto it = touches_.find(id); it != touches_.end()) {
            it->second->update(phase, point, now);
        }
    }
    UITouchSet all;
    for (const auto& [id, t] : touches_) all.push_back(t);
    if (all.empty()) return;
    auto event = UIEvent::create(all, now);
    UIApplication::sharedApplication()->sendEvent(*event);
    if (phase == UITouchPhaseEnded || phase == UITouchPhaseCancelled) touches_.clear();
}

void SDLHost::handle(const SDL_Event& e) {
    const double f = options_.displayFactor;
    switch (e.type) {
        case SDL_QUIT:
            closed_ = true;
            running_ = false;
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button != SDL_BUTTON_LEFT || !touches_.empty()) break;
            twoFingers_ = (SDL_GetModState() & KMOD_ALT) != 0;
            sendFingers(UITouchPhaseBegan, {e.button.x / f, e.button.y / f});
            break;
        case SDL_MOUSEMOTION:
            if (touches_.empty()) break;
            sendFingers(UITouchPhaseMoved, {e.motion.x / f, e.motion.y / f});
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button != SDL_BUTTON_LEFT || touches_.empty()) break;
            sendFingers(UITouchPhaseEnded, {e.button.x / f, e.button.y / f});
            break;
        case SDL_TEXTINPUT:
            if (auto r = UIResponder::currentFirstResponder()) r->insertText(e.text.text);
            break;
        case SDL_KEYDOWN: {
            auto r = UIResponder::currentFirstResponder();
            if (!r) break;
            if (e.key.keysym.sym == SDLK_BACKSPACE) r->deleteBackward();
            if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER)
                r->insertText("\n");
            break;
        }
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED) present();
            break;
        default:
            break;
    }
}

void SDLHost::present() {
    auto image = compositor_.compose();
    if (!image) return;
    if (!texture_ || textureW_ != image->width() || textureH_ != image->height()) {
        if (texture_) SDL_DestroyTexture(texture_);
        textureW_ = image->width();
        textureH_ = image->height();
        // Cairo's ARGB32 is a native-endian 32-bit word, which is SDL's ARGB8888.
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                     SDL_TEXTUREACCESS_STREAMING, textureW_, textureH_);
        if (!texture_) return;
    }
    SDL_UpdateTexture(texture_, nullptr, cairo_image_surface_get_data(image->surface()),
                      cairo_image_surface_get_stride(image->surface()));
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
}

bool SDLHost::pumpOnce(double maxWait) {
    SDL_Event e;
    bool any = false;
    while (SDL_PollEvent(&e)) {
        handle(e);
        any = true;
    }
    if (closed_) return false;
    NSRunLoop::mainRunLoop()->runOnce(any ? 0 : maxWait);
    if (compositor_.needsCompose()) present();
    return true;
}

void SDLHost::run() {
    running_ = true;
    present();
    while (running_ && pumpOnce(kInputPoll)) {
    }
}

bool SDLHost::runFor(double seconds) {
    running_ = true;
    present();
    const double end = Clock::realNow() + seconds;
    while (running_ && Clock::realNow() < end) {
        if (!pumpOnce(std::min(kInputPoll, end - Clock::realNow()))) return false;
    }
    return !closed_;
}

bool SDLHost::writePNG(const std::string& path) {
    auto image = compositor_.compose();
    return image && image->writePNG(path);
}
