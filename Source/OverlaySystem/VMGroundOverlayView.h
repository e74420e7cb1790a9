#pragma once

#include <memory>

#include "OpenGLES/EAGLContext.h"
#include "VMGroundOverlay.h"
#include "VMOverlayView.h"

// Draws a ground overlay's image as one textured quad, faded by the model's alpha. The texture
// is made with a context current, made again when the view draws in another one, and deleted in
// the context that made it.
class VMGroundOverlayView : public VMOverlayView {
  public:
    static std::shared_ptr<VMGroundOverlayView> initWithGroundOverlay(
        std::shared_ptr<VMGroundOverlay> groundOverlay);
    ~VMGroundOverlayView() override;

    std::shared_ptr<VMGroundOverlay> groundOverlay() const;
    GLuint textureID() const { return textureID_; }
    void setTextureID(GLuint texture) { textureID_ = texture; }
    void referenceDidChange() override;
    void glRender() override;

  private:
    VMGroundOverlayView() = default;
    // Makes the texture at the first chance the map's context is current.
    void loadTexture();

    GLuint textureID_ = 0;
    bool textureLoaded_ = false;
    std::weak_ptr<EAGLContext> textureContext_;
};
