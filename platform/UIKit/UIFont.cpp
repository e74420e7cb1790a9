#include "UIFont.h"

std::shared_ptr<UIFont> UIFont::systemFontOfSize(CGFloat size) {
    return std::shared_ptr<UIFont>(new UIFont("System", size, false));
}

std::shared_ptr<UIFont> UIFont::boldSystemFontOfSize(CGFloat size) {
    return std::shared_ptr<UIFont>(new UIFont("System-Bold", size, true));
}

std::shared_ptr<UIFont> UIFont::fontWithName(const std::string& name, CGFloat size) {
    bool bold = false;
    for (const char* w : {"Bold", "bold", "Medium", "Heavy", "Black", "Semibold"}) {
        if (name.find(w) != std::string::npos) bold = true;
    }
    return std::shared_ptr<UIFont>(new UIFont(name, size, bold));
}

std::shared_ptr<UIFont> UIFont::fontWithSize(CGFloat size) const {
    return std::shared_ptr<UIFont>(new UIFont(name_, size, bold_));
}
