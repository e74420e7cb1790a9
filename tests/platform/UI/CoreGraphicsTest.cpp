#include <cstdlib>
#include <utility>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGImageDrawing.h"
#include "CoreGraphics/CGPath.h"
#include "PaintedImage.h"
#include "QuartzCore/CATransform3D.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

TEST(CGContext, BitmapContextsWriteTheCallersBytesBottomUp) {
    // RGBA bytes, as textures are uploaded: the context keeps them in step with its drawing.
    std::vector<uint8_t> rgba(4 * 2 * 4, 7);
    auto ctx = CGBitmapContextCreate(rgba.data(), 4, 2, 8, 16, CGColorSpaceCreateDeviceRGB(),
                                     kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big);
    ASSERT_TRUE(ctx);
    CGContextClearRect(ctx.get(), CGRectMake(0, 0, 4, 2));
    CGContextSetRGBFillColor(ctx.get(), 1, 0, 0, 1);
    CGContextFillRect(ctx.get(), CGRectMake(0, 0, 2, 1));  // y = 0 is the bottom row
    EXPECT_EQ((std::vector<uint8_t>(rgba.begin() + 16, rgba.begin() + 20)),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ((std::vector<uint8_t>(rgba.begin(), rgba.begin() + 4)),
              (std::vector<uint8_t>{0, 0, 0, 0}));

    // Images come out upright in such a context.
    CGContextDrawImage(ctx.get(), CGRectMake(0, 0, 4, 2),
                       paintedImage(2, 2, kBlue, CGRectMake(0, 0, 2, 1), kGreen));
    EXPECT_EQ(rgba[1], 255);       // top row green
    EXPECT_EQ(rgba[16 + 2], 255);  // bottom row blue

    // Alpha-only over caller memory (a glyph buffer), and layouts that cannot be honoured.
    std::vector<uint8_t> alpha(4 * 3, 0);
    auto mask = CGBitmapContextCreate(alpha.data(), 3, 3, 8, 4, nullptr, kCGImageAlphaOnly);
    ASSERT_TRUE(mask);
    CGContextSetGrayFillColor(mask.get(), 1, 1);
    CGContextFillRect(mask.get(), CGRectMake(0, 0, 3, 3));
    EXPECT_EQ(alpha[10], 255);
    EXPECT_FALSE(CGBitmapContextCreate(alpha.data(), 3, 3, 8, 2, nullptr, kCGImageAlphaOnly));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, nullptr, kCGImageAlphaNone));
    auto image = CGBitmapContextCreateImage(mask.get());
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->isMask());
}

TEST(CGContext, MasksGradientsPathsAndRenderedViewTrees) {
    UIGraphicsBeginImageContextWithOptions({40, 20}, false, 1);
    CGContextRef c = UIGraphicsGetCurrentContext();
    // Only the left half of the mask has ink; the mask follows the y-up image rule.
    auto mask = paintedImage(2, 1, {0, 0, 0, 0}, CGRectMake(0, 0, 1, 1), kBlack);
    CGContextSaveGState(c);
    CGContextClipToMask(c, CGRectMake(0, 0, 20, 20), mask);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 20));
    CGContextRestoreGState(c);
    const CGFloat comps[] = {0, 0, 0, 1, 1, 1, 1, 1};
    auto gradient =
        CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), comps, nullptr, 2);
    CGContextSaveGState(c);
    CGContextClipToRect(c, CGRectMake(20, 0, 20, 20));
    CGContextDrawLinearGradient(c, gradient, {20, 0}, {40, 0}, 0);
    CGContextRestoreGState(c);
    auto out = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    const CGImageRef& img = out->CGImage();
    EXPECT_TRUE(colourNear(img->pixelAt(2, 10), kBlue));
    EXPECT_EQ(img->pixelAt(17, 10).a, 0);
    EXPECT_NEAR(img->pixelAt(30, 10).r, 0.5, 0.05);

    auto path = CGPathCreateMutable();
    CGPathAddArc(path, nullptr, 50, 50, 10, 0, std::numbers::pi, false);
    CGPathCloseSubpath(path);
    const CGRect box = CGPathGetBoundingBox(path);
    EXPECT_NEAR(box.origin.x, 40, 1e-6);
    EXPECT_NEAR(box.size.width, 20, 1e-6);
    EXPECT_NEAR(box.size.height, 10, 0.01);  // half a circle below the centre (y grows down)
    EXPECT_TRUE(CGPathContainsPoint(path, nullptr, {50, 55}, false));
    EXPECT_FALSE(CGPathContainsPoint(path, nullptr, {50, 45}, false));
    auto rounded = CGPathCreateWithRoundedRect(CGRectMake(0, 0, 20, 20), 5, 5, nullptr);
    EXPECT_FALSE(CGPathContainsPoint(rounded, nullptr, {0.5, 0.5}, false));
    EXPECT_TRUE(CGPathContainsPoint(rounded, nullptr, {10, 0.5}, false));

    // A view tree renders into an image context.
    auto root = UIView::create(CGRectMake(0, 0, 20, 10));
    root->setBackgroundColor(UIColor::redColor());
    auto child = UIView::create(CGRectMake(10, 0, 10, 10));
    child->setBackgroundColor(UIColor::blueColor());
    root->addSubview(child);
    UIGraphicsBeginImageContextWithOptions(root->bounds().size, false, 0);
    root->layer()->renderInContext(UIGraphicsGetCurrentContext());
    auto snapshot = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(colourNear(snapshot->CGImage()->pixelAt(5, 5), kRed));
    EXPECT_TRUE(colourNear(snapshot->CGImage()->pixelAt(35, 15), kBlue));
}

}  // namespace

// GL reads rows bottom up in either byte order; the image is upright, and opaque whatever the
// alpha bytes say.
TEST(CGImage, OpaqueFramesFromBottomUpRowsInEitherByteOrder) {
    // Two rows of one pixel: the bottom row (first in memory) red, the top blue, alpha zero.
    const uint8_t rgba[] = {255, 0, 0, 0, 0, 0, 255, 0};
    const uint8_t bgra[] = {0, 0, 255, 0, 255, 0, 0, 0};
    for (const auto& [pixels, isBGRA] : {std::pair{rgba, false}, std::pair{bgra, true}}) {
        const auto image = CGImage::createOpaqueWithBottomUpRows(pixels, 1, 2, isBGRA);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixelAt(0, 0), (CGColor{0, 0, 1, 1})) << isBGRA;
        EXPECT_EQ(image->pixelAt(0, 1), (CGColor{1, 0, 0, 1})) << isBGRA;
    }
    EXPECT_EQ(CGImage::createOpaqueWithBottomUpRows(nullptr, 1, 2, true), nullptr);
    EXPECT_EQ(CGImage::createOpaqueWithBottomUpRows(rgba, 0, 2, true), nullptr);
}

namespace {

void expectNear(CGPoint a, CGPoint b) {
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
}

TEST(CGGeometry, RectEdgesAndTransforms) {
    const CGRect r = CGRectMake(10, 20, -4, 6);  // negative width: standardised
    EXPECT_EQ(CGRectGetMinX(r), 6);
    EXPECT_EQ(CGRectGetMidY(r), 23);
    const CGRect ten = CGRectMake(0, 0, 10, 10);
    EXPECT_TRUE(CGRectContainsPoint(ten, CGPointMake(0, 0)));
    EXPECT_FALSE(CGRectContainsPoint(ten, CGPointMake(10, 5)));
    EXPECT_EQ(CGRectIntersection(ten, CGRectMake(5, 5, 10, 10)), CGRectMake(5, 5, 5, 5));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(CGRectMake(0, 0, 1, 1), CGRectMake(3, 3, 1, 1))));
    EXPECT_FALSE(CGRectIntersectsRect(ten, CGRectMake(10, 0, 5, 5)));
    EXPECT_EQ(CGRectUnion(CGRectNull, CGRectMake(1, 2, 3, 4)), CGRectMake(1, 2, 3, 4));
    EXPECT_EQ(CGRectIntegral(CGRectMake(0.5, 1.2, 2.1, 2.9)), CGRectMake(0, 1, 3, 4));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectMake(0, 0, 4, 4), 3, 0)));
    EXPECT_FALSE(CGRectContainsRect(ten, CGRectMake(1, 1, 10, 1)));

    const CGAffineTransform t = CGAffineTransformRotate(
        CGAffineTransformScale(CGAffineTransformMakeTranslation(5, 7), 2, 3), 0.7);
    const CGPoint p{3, -4};
    expectNear(
        CGPointApplyAffineTransform(CGPointApplyAffineTransform(p, t), CGAffineTransformInvert(t)),
        p);
    // Rotation by 90 degrees maps x onto y in the y-down space of views.
    expectNear(
        CGPointApplyAffineTransform({1, 0}, CGAffineTransformMakeRotation(std::numbers::pi / 2)),
        {0, 1});
    expectNear(CGPointApplyAffineTransform(
                   {0, 0}, CGAffineTransformConcat(CGAffineTransformMakeTranslation(1, 0),
                                                   CGAffineTransformMakeScale(2, 2))),
               {2, 0});
    const CGRect box = CGRectApplyAffineTransform(
        CGRectMake(0, 0, 2, 1), CGAffineTransformMakeRotation(std::numbers::pi / 2));
    EXPECT_NEAR(box.size.width, 1, 1e-9);
    // A singular transform is left as it is rather than filled with infinities.
    const CGAffineTransform flat = CGAffineTransformMakeScale(0, 1);
    EXPECT_EQ(CGAffineTransformInvert(flat), flat);

    // The 3D transforms of layers agree with the affine ones of views.
    const CATransform3D r3 = CATransform3DScale(CATransform3DMakeRotation(0.4, 0, 0, 1), 2, 3, 1);
    const CGAffineTransform a = CGAffineTransformScale(CGAffineTransformMakeRotation(0.4), 2, 3);
    EXPECT_TRUE(CATransform3DIsAffine(r3));
    expectNear(CGPointApplyAffineTransform(p, CATransform3DGetAffineTransform(r3)),
               CGPointApplyAffineTransform(p, a));
    const CATransform3D back = CATransform3DConcat(r3, CATransform3DInvert(r3));
    expectNear(CGPointApplyAffineTransform(p, CATransform3DGetAffineTransform(back)), p);
}

// Pictures shown pixel for pixel land on whole device pixels, unblended, wherever their layer
// stands; and a clip known to be a rectangle holding everything is skipped.
TEST(CGContext, PixelForPixelPicturesLandOnWholePixels) {
    UIGraphicsBeginImageContextWithOptions({10, 4}, false, 2);
    auto layer = CALayer::layer(), picture = CALayer::layer();
    picture->setContents(paintedImage(2, 2, kRed, CGRectMake(1, 0, 1, 2), kBlue));
    picture->setContentsScale(2);
    picture->setFrame(CGRectMake(3.3, 1, 1, 1));  // 6.6 device pixels: laid on pixel 7
    layer->addSublayer(picture);
    layer->renderInContext(UIGraphicsGetCurrentContext());
    const auto image = UIGraphicsGetImageFromCurrentImageContext()->CGImage();
    UIGraphicsEndImageContext();
    EXPECT_TRUE(colourNear(screenPixel(image, 3.5, 1), kRed, 0));
    EXPECT_TRUE(colourNear(screenPixel(image, 4, 1), kBlue, 0));
    EXPECT_TRUE(colourNear(screenPixel(image, 3, 1), {0, 0, 0, 0}, 0));

    CGRect rect;
    EXPECT_TRUE(CGPathIsRect(CGPathCreateWithRect(CGRectMake(4, 3, -2, 5), nullptr), &rect));
    EXPECT_EQ(rect, CGRectMake(2, 3, 2, 5));
    auto diamond = CGPathCreateMutable();
    CGPathMoveToPoint(diamond, nullptr, 1, 0);
    CGPathAddLineToPoint(diamond, nullptr, 2, 1);
    CGPathAddLineToPoint(diamond, nullptr, 1, 2);
    CGPathAddLineToPoint(diamond, nullptr, 0, 1);
    EXPECT_FALSE(CGPathIsRect(diamond, nullptr));
    EXPECT_FALSE(
        CGPathIsRect(CGPathCreateWithEllipseInRect(CGRectMake(0, 0, 2, 2), nullptr), &rect));
}

// A decoded picture paints only its inked part, and lands exactly as an untrimmed copy of it does
// however it is placed: scaled up or down, turned, squeezed after a turn, sheared or between
// pixels.
TEST(CGImage, DecodedPicturesPaintTheirInkAsTheWholePictureWould) {
    const CGColor clear{0, 0, 0, 0};
    const auto whole = paintedImage(40, 30, clear, CGRectMake(9, 5, 14, 20), kBlue);
    const NSData png = whole->pngData();
    const auto decoded = CGImage::createWithData(png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->inkedRect(), CGRectMake(9, 5, 14, 20));
    EXPECT_EQ(whole->inkedRect(), CGRectMake(0, 0, 40, 30));

    const auto turn = CGAffineTransformMakeRotation;
    struct Placement {
        const char* name;
        CGRect dest;
        CGAffineTransform transform;
    };
    for (const Placement& placement : {
             Placement{"copied", CGRectMake(10, 10, 40, 30), CGAffineTransformIdentity},
             Placement{"between pixels", CGRectMake(10.5, 10.25, 40, 30),
                       CGAffineTransformIdentity},
             Placement{"enlarged", CGRectMake(4, 6, 100, 75), CGAffineTransformIdentity},
             Placement{"reduced", CGRectMake(20, 20, 8, 6), CGAffineTransformIdentity},
             Placement{"turned", CGRectMake(30, 5, 40, 30), turn(0.5)},
             Placement{
                 "turned, squeezed", CGRectMake(0, 0, 40, 30),
                 CGAffineTransformConcat(turn(0.8), CGAffineTransformMake(1, 0, 0, 0.1, 40, 40))},
             Placement{"sheared", CGRectMake(0, 0, 40, 30),
                       CGAffineTransformMake(1, 0, 2.5, 1, 5, 20)},
         }) {
        const auto paint = [&](const CGImageRef& image) {
            auto target = CGImage::create(120, 90);
            CGContext context(*target, 1);
            CGContextConcatCTM(&context, placement.transform);
            CGPaintImage(&context, *image, placement.dest, 1);
            return target;
        };
        const auto a = paint(whole), b = paint(decoded);
        // Premultiplied bytes, compared plainly: rounding may differ by one.
        int differing = 0, inked = 0;
        for (int y = 0; y < 90; ++y) {
            const unsigned char* p = a->bytes() + static_cast<ptrdiff_t>(y) * a->bytesPerRow();
            const unsigned char* q = b->bytes() + static_cast<ptrdiff_t>(y) * b->bytesPerRow();
            for (int i = 0; i < 4 * 120; ++i) {
                inked += p[i] != 0;
                differing += std::abs(p[i] - q[i]) > 1;
            }
        }
        EXPECT_GT(inked, 0) << placement.name;
        EXPECT_EQ(differing, 0) << placement.name;
    }
}

}  // namespace
