#pragma once

#include <mutex>
#include <string>

#include "Foundation/NSObject.h"
#include "VMOverlay.h"

// Base of the shape models: a title and a subtitle, safe to read and set from any thread.
class VMShape : public NSObject, public virtual VMAnnotation {
  public:
    std::string title() const override;
    void setTitle(std::string title);
    std::string subtitle() const override;
    void setSubtitle(std::string subtitle);

  protected:
    VMShape() = default;

  private:
    mutable std::mutex mutex_;
    std::string title_;
    std::string subtitle_;
};
