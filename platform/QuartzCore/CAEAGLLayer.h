#pragma once

#include <memory>
#include <string>

#include "OpenGLES/EAGLDrawable.h"
#include "QuartzCore/CALayer.h"

inline const std::string kEAGLColorFormatRGBA8 = "EAGLColorFormatRGBA8";
inline const std::string kEAGLColorFormatRGB565 = "EAGLColorFormatRGB565";

// The drawable properties of a GL layer.
struct EAGLDrawableProperties {
    // Whether the renderbuffer keeps its pixels after a present; a context here always reads
    // the whole buffer back, so the flag only records what was asked.
    bool retainedBacking = false;
    std::string colorFormat = kEAGLColorFormatRGBA8;
};

// A layer whose contents come from GL: a context gives a renderbuffer storage of the layer's
// pixel size (bounds times contents scale) from it, and each present turns the frame into the
// layer's contents, so composition and screenshots show GL content like any other layer.
class CAEAGLLayer : public CALayer, public EAGLDrawable {
  public:
    static std::shared_ptr<CAEAGLLayer> layer();

    const EAGLDrawableProperties& drawableProperties() const { return properties_; }
    void setDrawableProperties(EAGLDrawableProperties properties);

    int drawableWidth() const override;
    int drawableHeight() const override;
    EAGLColorStorage colorStorage() const override;
    // Composited images hold native-endian ARGB words, which are BGRA in memory here.
    EAGLPixelOrder preferredPixelOrder() const override;

  protected:
    CAEAGLLayer() = default;
    void presentFrame(const std::uint8_t* bottomUp, int width, int height,
                      EAGLPixelOrder order) override;

  private:
    EAGLDrawableProperties properties_;
};
