#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "CGColor.h"
#include "CGGeometry.h"
#include "CGImage.h"
#include "CGPath.h"

enum CGLineCap { kCGLineCapButt, kCGLineCapRound, kCGLineCapSquare };
enum CGLineJoin { kCGLineJoinMiter, kCGLineJoinRound, kCGLineJoinBevel };
enum CGPathDrawingMode {
    kCGPathFill,
    kCGPathEOFill,
    kCGPathStroke,
    kCGPathFillStroke,
    kCGPathEOFillStroke
};
enum CGBlendMode {
    kCGBlendModeNormal,
    kCGBlendModeMultiply,
    kCGBlendModeClear,
    kCGBlendModeCopy,
    kCGBlendModeSourceIn,
    kCGBlendModeDestinationIn
};
enum CGTextDrawingMode { kCGTextFill, kCGTextStroke, kCGTextFillStroke };
enum CGGradientDrawingOptions {
    kCGGradientDrawsBeforeStartLocation = 1,
    kCGGradientDrawsAfterEndLocation = 2
};
// 8-bit alpha, and 32-bit pixels with alpha (or padding) first or last in either byte order.
enum CGBitmapInfo : uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaNoneSkipFirst = 6,
    kCGImageAlphaOnly = 7,
    kCGImageAlphaNoneSkipLast = 5,
    kCGBitmapByteOrder32Little = 2 << 12,
    kCGBitmapByteOrder32Big = 4 << 12,
};

// The drawing backend's drawing state and paint sources: opaque outside the platform's own sources.
struct CGBackendContext;
struct CGBackendPattern;

struct CGGradient {
    struct Stop {
        CGFloat location;
        CGColor color;
    };
    std::vector<Stop> stops;
};
using CGGradientRef = std::shared_ptr<const CGGradient>;
// RGBA components, count stops; locations may be null for an even spread.
CGGradientRef CGGradientCreateWithColorComponents(CGColorSpaceRef space, const CGFloat* components,
                                                  const CGFloat* locations, size_t count);
CGGradientRef CGGradientCreateWithColors(const std::vector<CGColor>& colors,
                                         const CGFloat* locations);

// A transparency layer's finished picture with what it was composited under, kept so that a layer
// whose drawing has not changed can be composited again instead of drawn: the same pixels, since
// it lands on the same pixels under the same transform, clip and drawing state. The caller's
// stamp says what was drawn (see CGContextEndTransparencyLayerKeeping).
class CGTransparencyLayerPicture {
  public:
    CGTransparencyLayerPicture() = default;
    ~CGTransparencyLayerPicture();
    CGTransparencyLayerPicture(const CGTransparencyLayerPicture&) = delete;
    CGTransparencyLayerPicture& operator=(const CGTransparencyLayerPicture&) = delete;

    bool empty() const { return pattern_ == nullptr; }
    void clear();

  private:
    friend class CGContext;
    // Everything outside a layer that decides its pixels.
    struct Situation {
        CGAffineTransform ctm{};
        std::vector<CGRect> clip;
        // The target's pixels in device space: they bound the layer's picture too.
        double targetX = 0, targetY = 0;
        int targetWidth = 0, targetHeight = 0;
        CGColor fill, stroke;
        int textMode = 0;
        double lineWidth = 0;
        int lineCap = 0, lineJoin = 0, antialias = 0;
        bool operator==(const Situation& o) const;
    };
    CGBackendPattern* pattern_ = nullptr;
    Situation situation_;
    uint64_t stamp_ = 0;
};

// A drawing destination on a bitmap. Contexts made by UIKit (drawRect, image contexts)
// have their origin at the top left; bitmap contexts made here keep the platform's bottom-left
// origin, which is why images drawn with CGContextDrawImage come out flipped in the former.
class CGContext {
  public:
    CGContext(CGBackendSurface* surface, bool topLeftOrigin, CGFloat scale);
    // Draws into the image's own pixels, top-left origin, scale pixels per point.
    CGContext(const CGImage& image, CGFloat scale);
    // What was drawn is in the pixels once the context is gone.
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    CGBackendContext* drawing() const { return cr_; }
    CGBackendSurface* surface() const { return surface_; }
    CGFloat scale() const { return scale_; }
    // Pixel height in points; bottom-left contexts flip about it.
    CGFloat height() const { return height_; }

    struct State {
        CGColor fill{0, 0, 0, 1};
        CGColor stroke{0, 0, 0, 1};
        CGFloat alpha = 1;
        CGBlendMode blend = kCGBlendModeNormal;
        CGTextDrawingMode textMode = kCGTextFill;
        CGImageRef mask;
        CGAffineTransform maskMatrix{};
        CGRect maskRect;
        // A clip set through this context is in force (it goes with the state that set it).
        bool clipped = false;
    };
    State& state() { return states_.back(); }
    void save();
    void restore();

    // Paints the current path or a pattern honouring alpha, blend mode and the mask clip.
    void fillCurrentPath(bool evenOdd, bool preserve);
    void strokeCurrentPath(bool preserve);
    void paintSource(CGBackendPattern* pattern);
    // See CGContextBeginTransparencyLayer.
    void beginTransparencyLayer();
    void endTransparencyLayer(const std::function<void()>& drawMask,
                              CGTransparencyLayerPicture* keep = nullptr, uint64_t stamp = 0);
    bool drawTransparencyLayerPicture(const CGTransparencyLayerPicture& picture, uint64_t stamp);

    void* bitmapData() const;

    // Bitmap contexts whose byte layout the backend does not draw in keep the caller's bytes as a
    // mirror of the backend's bitmap: read in at creation, written back after every drawing call.
    struct ByteLayout {
        int a, r, g, b;  // byte index of each channel within a pixel
        bool opaque;     // alpha is padding
    };
    void setMirror(unsigned char* bytes, size_t bytesPerRow, ByteLayout layout);
    // Drawing code outside this file (text, images, layers) calls this when it has drawn.
    void didDraw();
    void ownBuffer(size_t bytes) { owned_.assign(bytes, 0); }
    unsigned char* ownedBuffer() { return owned_.data(); }

  private:
    // Null where a kept picture could not be told apart from another (a clip that is not
    // whole pixels, a dash).
    std::optional<CGTransparencyLayerPicture::Situation> situation() const;
    void applyBlend();
    template <class Op>
    void withMask(Op op);

    CGBackendSurface* surface_;
    CGBackendContext* cr_;
    CGFloat scale_;
    CGFloat height_;
    std::vector<State> states_{State{}};
    int openLayers_ = 0;
    unsigned char* mirror_ = nullptr;
    size_t mirrorStride_ = 0;
    ByteLayout layout_{};
    std::vector<unsigned char> owned_;
};

using CGContextRef = CGContext*;

std::unique_ptr<CGContext> CGBitmapContextCreate(void* data, size_t width, size_t height,
                                                 size_t bitsPerComponent, size_t bytesPerRow,
                                                 CGColorSpaceRef space, uint32_t bitmapInfo);
void* CGBitmapContextGetData(CGContextRef c);
size_t CGBitmapContextGetWidth(CGContextRef c);
size_t CGBitmapContextGetHeight(CGContextRef c);
CGImageRef CGBitmapContextCreateImage(CGContextRef c);

void CGContextSaveGState(CGContextRef c);
void CGContextRestoreGState(CGContextRef c);
void CGContextSetRGBFillColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat a);
void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat a);
void CGContextSetFillColorWithColor(CGContextRef c, CGColor color);
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColor color);
void CGContextSetLineWidth(CGContextRef c, CGFloat width);
void CGContextSetLineCap(CGContextRef c, CGLineCap cap);
void CGContextSetLineJoin(CGContextRef c, CGLineJoin join);
void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat* lengths, size_t count);
void CGContextSetAlpha(CGContextRef c, CGFloat alpha);
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode);
void CGContextSetShouldAntialias(CGContextRef c, bool on);
// How text drawn into the context uses the fill and the stroke (colour and line width).
void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode);
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(CGContextRef c, CGFloat angle);
void CGContextConcatCTM(CGContextRef c, CGAffineTransform t);
// The user-space transform relative to the context's base space (in points).
CGAffineTransform CGContextGetCTM(CGContextRef c);

void CGContextBeginPath(CGContextRef c);
void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(CGContextRef c, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y,
                              CGFloat x, CGFloat y);
void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cx, CGFloat cy, CGFloat x, CGFloat y);
void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat start,
                     CGFloat end, int clockwise);
void CGContextAddRect(CGContextRef c, CGRect r);
void CGContextAddEllipseInRect(CGContextRef c, CGRect r);
void CGContextAddPath(CGContextRef c, const CGPathRef& path);
void CGContextClosePath(CGContextRef c);
void CGContextFillPath(CGContextRef c);
void CGContextEOFillPath(CGContextRef c);
void CGContextStrokePath(CGContextRef c);
void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode);
void CGContextFillRect(CGContextRef c, CGRect r);
void CGContextStrokeRect(CGContextRef c, CGRect r);
void CGContextStrokeRectWithWidth(CGContextRef c, CGRect r, CGFloat width);
void CGContextClearRect(CGContextRef c, CGRect r);
void CGContextFillEllipseInRect(CGContextRef c, CGRect r);
void CGContextStrokeEllipseInRect(CGContextRef c, CGRect r);
void CGContextStrokeLineSegments(CGContextRef c, const CGPoint* points, size_t count);
void CGContextClip(CGContextRef c);
void CGContextEOClip(CGContextRef c);
void CGContextClipToRect(CGContextRef c, CGRect r);
// Later fills are shown only where the mask image (its alpha, stretched over rect) has ink.
void CGContextClipToMask(CGContextRef c, CGRect r, const CGImageRef& mask);
CGRect CGContextGetClipBoundingBox(CGContextRef c);
// Transparency layers: what is drawn between begin and end is composited as one picture, with
// the alpha, blend mode and clip in effect at begin (inside, alpha starts again at 1).
void CGContextBeginTransparencyLayer(CGContextRef c);
void CGContextEndTransparencyLayer(CGContextRef c);
// Ends the layer showing it only where drawMask, drawn in the same user space, leaves ink (by
// the alpha of what it draws).
void CGContextEndTransparencyLayerWithMask(CGContextRef c, const std::function<void()>& drawMask);
// Ends the layer as the two above do (drawMask may be empty) and keeps its picture in `keep`
// under the caller's stamp, a value that changes whenever what the layer draws changes.
void CGContextEndTransparencyLayerKeeping(CGContextRef c, const std::function<void()>& drawMask,
                                          CGTransparencyLayerPicture& keep, uint64_t stamp);
// Composites a kept picture, with the context's alpha, blend mode and mask as ending its layer
// would, when it was kept under the same stamp and in the same situation (transform, clip,
// target, drawing state); false, with nothing drawn, when not: the layer must be drawn.
bool CGContextDrawTransparencyLayerPicture(CGContextRef c,
                                           const CGTransparencyLayerPicture& picture,
                                           uint64_t stamp);
// Draws upright in the platform's y-up convention (see CGContext).
void CGContextDrawImage(CGContextRef c, CGRect r, const CGImageRef& image);
void CGContextDrawLinearGradient(CGContextRef c, const CGGradientRef& g, CGPoint start, CGPoint end,
                                 uint32_t options);
void CGContextDrawRadialGradient(CGContextRef c, const CGGradientRef& g, CGPoint startCentre,
                                 CGFloat startRadius, CGPoint endCentre, CGFloat endRadius,
                                 uint32_t options);
