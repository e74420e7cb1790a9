#include "SDLHost.h"

#include <SDL2/SDL.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "Foundation/NSRunLoop.h"
#include "UIKit/UIScreen.h"

namespace {

// How long the run loop may sleep before input is looked at again: short enough that input
// feels immediate, long enough that an idle window costs next to nothing.
constexpr double kInputPoll = 0.008;

struct SDLDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};

// SDL's video subsystem, initialised for as long as this lives.
class VideoSubsystem {
  public:
    static std::unique_ptr<VideoSubsystem> open(std::string& why) {
        const char* asked = std::getenv("SDL_VIDEODRIVER");
        if (!asked && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
            why = "no DISPLAY or WAYLAND_DISPLAY";
            return nullptr;
        }
        // The app decides what SIGINT and SIGTERM do, not SDL.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // The window must hold no GL context of its own: one current on the main thread keeps
        // the map views' EGL contexts from being made current there. Without this SDL probes
        // GL, and may present through it, behind the window's surface.
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            why = SDL_GetError();
            return nullptr;
        }
        std::unique_ptr<VideoSubsystem> video(new VideoSubsystem());
        // SDL falls back to drivers that show nothing; a window nobody can see is no window.
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool invisible =
            driver && (strcasecmp(driver, "offscreen") == 0 || strcasecmp(driver, "dummy") == 0);
        if (invisible && !(asked && strcasecmp(asked, driver) == 0)) {
            why = std::string("SDL found only its ") + driver + " video driver";
            return nullptr;
        }
        return video;
    }
    ~VideoSubsystem() {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

  private:
    VideoSubsystem() = default;
};

}  // namespace

// Everything of SDL's the host holds, released in reverse order of creation.
struct SDLHost::Window {
    SDLHost::Options options;
    std::unique_ptr<VideoSubsystem> video;
    std::unique_ptr<SDL_Window, SDLDeleter> window;
    bool twoFingers = false;
    bool closed = false;

    void present(ScreenCompositor& compositor);
    void handle(Host& host, const SDL_Event& e);
    void sendFingers(Host& host, UITouchPhase phase, CGPoint p) const;
};

std::unique_ptr<SDLHost> SDLHost::create(const Options& options, std::string* why) {
    std::string reason;
    auto sdl = std::make_unique<Window>();
    sdl->options = options;
    sdl->video = VideoSubsystem::open(reason);
    if (sdl->video) {
        const CGSize points = UIScreen::mainScreen()->bounds().size;
        const int w = static_cast<int>(points.width * options.displayFactor);
        const int h = static_cast<int>(points.height * options.displayFactor);
        sdl->window.reset(SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                           SDL_WINDOWPOS_CENTERED, w, h, 0));
        if (!sdl->window) reason = std::string("cannot open a window: ") + SDL_GetError();
    }
    if (sdl->window && !SDL_GetWindowSurface(sdl->window.get())) {
        reason = std::string("no window surface: ") + SDL_GetError();
        sdl->window.reset();
    }
    if (!sdl->window) {
        if (why) *why = reason;
        return nullptr;
    }
    SDL_StartTextInput();
    std::unique_ptr<SDLHost> host(new SDLHost(std::move(sdl)));
    host->compositor().setDrawsStatusBar(true);
    return host;
}

SDLHost::SDLHost(std::unique_ptr<Window> sdl) : sdl_(std::move(sdl)) {}

SDLHost::~SDLHost() = default;

void SDLHost::Window::sendFingers(Host& host, UITouchPhase phase, CGPoint p) const {
    const CGSize size = UIScreen::mainScreen()->bounds().size;
    std::vector<Finger> fingers{{0, phase, p}};
    if (twoFingers) fingers.push_back({1, phase, {size.width - p.x, size.height - p.y}});
    host.post(fingers);
}

void SDLHost::Window::handle(Host& host, const SDL_Event& e) {
    const double f = options.displayFactor;
    switch (e.type) {
        case SDL_QUIT:
            closed = true;
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button != SDL_BUTTON_LEFT || host.fingersDown() > 0) break;
            twoFingers = (SDL_GetModState() & KMOD_ALT) != 0;
            sendFingers(host, UITouchPhaseBegan, {e.button.x / f, e.button.y / f});
            break;
        case SDL_MOUSEMOTION:
            if (host.fingersDown() == 0) break;
            sendFingers(host, UITouchPhaseMoved, {e.motion.x / f, e.motion.y / f});
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button != SDL_BUTTON_LEFT || host.fingersDown() == 0) break;
            sendFingers(host, UITouchPhaseEnded, {e.button.x / f, e.button.y / f});
            break;
        case SDL_TEXTINPUT:
            host.typeText(e.text.text);
            break;
        case SDL_KEYDOWN:
            if (e.key.keysym.sym == SDLK_BACKSPACE) host.pressBackspace();
            if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER)
                host.pressReturn();
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED) present(host.compositor());
            break;
        default:
            break;
    }
}

void SDLHost::Window::present(ScreenCompositor& compositor) {
    auto image = compositor.compose();
    if (!image) return;
    // The surface is fetched each time: SDL replaces it when the window changes size.
    SDL_Surface* target = SDL_GetWindowSurface(window.get());
    if (!target) return;
    // The composed screen is native-endian ARGB words, which is SDL's ARGB8888.
    std::unique_ptr<SDL_Surface, SDLDeleter> source(SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<unsigned char*>(image->bytes()), image->width(), image->height(), 32,
        image->bytesPerRow(), SDL_PIXELFORMAT_ARGB8888));
    if (!source) return;
    SDL_SetSurfaceBlendMode(source.get(), SDL_BLENDMODE_NONE);
    if (source->w == target->w && source->h == target->h)
        SDL_BlitSurface(source.get(), nullptr, target, nullptr);
    else
        SDL_BlitScaled(source.get(), nullptr, target, nullptr);
    SDL_UpdateWindowSurface(window.get());
}

bool SDLHost::pump(double maxWait) {
    SDL_Event e;
    bool any = false;
    while (SDL_PollEvent(&e)) {
        sdl_->handle(*this, e);
        any = true;
    }
    if (sdl_->closed) return false;
    NSRunLoop::mainRunLoop()->runOnce(any ? 0 : std::min(maxWait, kInputPoll));
    if (needsCompose()) sdl_->present(compositor());
    return true;
}

void SDLHost::willRun() { sdl_->present(compositor()); }
