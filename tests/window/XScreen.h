#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A connection to an X server's first screen, for reading what it shows.
class XScreen {
  public:
    // Null when the display cannot be opened.
    static std::unique_ptr<XScreen> open(const std::string& display);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    // The top left width by height pixels as 0xRRGGBB words, row by row; empty on failure.
    std::vector<std::uint32_t> grab(int width, int height) const;

  private:
    struct Connection;
    explicit XScreen(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};
