#include "VAvaCalloutBackgroundView.h"

#include <array>
#include <cstdint>
#include <map>

#include "Foundation/NSLog.h"
#include "UIKit/UIScreen.h"

namespace {

// Class methods by the names a caller may ask for, "$" and all.
const std::map<std::string, const char* (*)(), std::less<>>& embeddedImages() {
    static const std::map<std::string, const char* (*)(), std::less<>> table{
        {"CalloutArrow", &VAvaCalloutBackgroundView::CalloutArrow},
        {"CalloutArrow$2x", &VAvaCalloutBackgroundView::CalloutArrow2x},
    };
    return table;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::shared_ptr<VAvaCalloutBackgroundView> VAvaCalloutBackgroundView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<VAvaCalloutBackgroundView>(new VAvaCalloutBackgroundView()),
                        frame);
}

std::optional<NSData> VAvaCalloutBackgroundView::dataWithBase64EncodedString(
    std::string_view text) {
    NSData bytes;
    uint32_t group = 0;
    int count = 0;
    for (char c : text) {
        const int v = base64Value(c);
        if (v < 0) continue;
        group = (group << 6) | static_cast<uint32_t>(v);
        if (++count == 4) {
            bytes.push_back(static_cast<uint8_t>(group >> 16));
            bytes.push_back(static_cast<uint8_t>(group >> 8));
            bytes.push_back(static_cast<uint8_t>(group));
            group = 0;
            count = 0;
        }
    }
    // A last group of two or three characters carries one or two bytes; one alone carries none.
    if (count == 2) {
        bytes.push_back(static_cast<uint8_t>(group >> 4));
    } else if (count == 3) {
        bytes.push_back(static_cast<uint8_t>(group >> 10));
        bytes.push_back(static_cast<uint8_t>(group >> 2));
    }
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

std::shared_ptr<UIImage> VAvaCalloutBackgroundView::embeddedImageNamed(const std::string& name) {
    CGFloat scale = UIScreen::mainScreen()->scale();
    std::string key = name;
    if (scale > 1) {
        key += "$2x";
        scale = 2;
    }
    const auto& table = embeddedImages();
    const auto it = table.find(key);
    if (it == table.end()) {
        NSLog(
            "Could not find an embedded image. Ensure that you've added a class-level method "
            "named +%s",
            key.c_str());
        return nullptr;
    }
    const auto data = dataWithBase64EncodedString(it->second());
    if (!data) return nullptr;
    auto image = UIImage::imageWithData(*data);
    return image ? UIImage::imageWithCGImage(image->CGImage(), scale) : nullptr;
}
