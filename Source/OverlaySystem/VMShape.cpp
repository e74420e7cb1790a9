#include "VMShape.h"

std::string VMShape::title() const {
    std::lock_guard lock(mutex_);
    return title_;
}

void VMShape::setTitle(std::string title) {
    {
        std::lock_guard lock(mutex_);
        title_ = std::move(title);
    }
    didChange("title");
}

std::string VMShape::subtitle() const {
    std::lock_guard lock(mutex_);
    return subtitle_;
}

void VMShape::setSubtitle(std::string subtitle) {
    {
        std::lock_guard lock(mutex_);
        subtitle_ = std::move(subtitle);
    }
    didChange("subtitle");
}
