#include "XScreen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

struct XScreen::Connection {
    Display* display = nullptr;
    ~Connection() { XCloseDisplay(display); }
};

std::unique_ptr<XScreen> XScreen::open(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->display = d;
    return std::unique_ptr<XScreen>(new XScreen(std::move(connection)));
}

XScreen::XScreen(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

XScreen::~XScreen() = default;

std::vector<std::uint32_t> XScreen::grab(int width, int height) const {
    std::vector<std::uint32_t> pixels;
    Display* d = connection_->display;
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffff);
    XDestroyImage(image);
    return pixels;
}
