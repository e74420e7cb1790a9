#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Foundation/NSBundle.h"
#include "PaintedImage.h"
#include "TempDir.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIScreen.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

std::vector<uint8_t> encodeSolidJpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (int x = 0; x < w; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(out, out + size);
    free(out);
    return bytes;
}

// The same JPEG declaring another size in its frame header (the bytes after "FF C0" and its
// length and precision: height, then width).
std::vector<uint8_t> declaringSize(std::vector<uint8_t> jpeg, uint16_t w, uint16_t h) {
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] != 0xff || jpeg[i + 1] != 0xc0) continue;
        jpeg[i + 5] = uint8_t(h >> 8);
        jpeg[i + 6] = uint8_t(h);
        jpeg[i + 7] = uint8_t(w >> 8);
        jpeg[i + 8] = uint8_t(w);
        return jpeg;
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

// A bundle in a temporary directory holding images drawn here, one solid colour each.
class ImageBundle : public ::testing::Test {
  protected:
    void SetUp() override {
        NSBundle::setMainBundlePath(dir_.path().string());
        UIImage::clearNamedCache();
    }
    void TearDown() override {
        NSBundle::setMainBundlePath(BRISFOLD_RESOURCES_DIR);
        UIImage::clearNamedCache();
        UIScreen::mainScreen()->reset();
    }
    void writeSolid(const std::string& name, int w, int h, CGColor c) {
        ASSERT_TRUE(paintedImage(w, h, c)->writePNG(dir_ / name));
    }
    TempDir dir_;
};

TEST_F(ImageBundle, NamedLookupPrefersTwoXAndHandlesCJKNames) {
    writeSolid("工程－详情页9_06 2.png", 10, 6, kRed);
    writeSolid("工程－详情页9_06 2@2x.png", 20, 12, kBlue);
    writeSolid("alert-view-bg-portrait.png", 8, 8, kGreen);

    auto img = UIImage::imageNamed("工程－详情页9_06 2.png");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->scale(), 2);
    EXPECT_EQ(img->size(), (CGSize{10, 6}));
    EXPECT_TRUE(colourNear(img->CGImage()->pixelAt(0, 0), kBlue));
    EXPECT_EQ(UIImage::imageNamed("工程－详情页9_06 2.png"), img);  // cached

    auto noExt = UIImage::imageNamed("alert-view-bg-portrait");
    ASSERT_TRUE(noExt);
    EXPECT_EQ(noExt->scale(), 1);  // no @2x file: the plain one at scale 1
    EXPECT_FALSE(UIImage::imageNamed("missing.png"));

    // Loading by path also prefers the @2x sibling on this screen.
    auto byPath = UIImage::imageWithContentsOfFile(dir_ / "工程－详情页9_06 2.png");
    ASSERT_TRUE(byPath);
    EXPECT_EQ(byPath->scale(), 2);

    UIScreen::mainScreen()->setScale(1);
    UIImage::clearNamedCache();
    auto oneX = UIImage::imageNamed("工程－详情页9_06 2");
    ASSERT_TRUE(oneX);
    EXPECT_EQ(oneX->scale(), 1);
    EXPECT_TRUE(colourNear(oneX->CGImage()->pixelAt(0, 0), kRed));
}

TEST_F(ImageBundle, JpegAndDamagedFiles) {
    const std::vector<uint8_t> jpeg = encodeSolidJpeg(16, 8, 0, 200, 0);
    std::ofstream(dir_ / "确定按钮.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    auto img = UIImage::imageNamed("确定按钮.jpg");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->size(), (CGSize{16, 8}));
    EXPECT_TRUE(colourNear(img->CGImage()->pixelAt(8, 4), CGColor{0, 200 / 255.0, 0, 1}, 0.03));
    // Cut short, the same bytes are refused instead of read past their end.
    const std::vector<uint8_t> cut(jpeg.begin(),
                                   jpeg.begin() + static_cast<ptrdiff_t>(jpeg.size() / 3));
    EXPECT_FALSE(UIImage::imageWithData(cut));
    std::ofstream(dir_ / "broken.png") << "\x89PNG not really";
    EXPECT_FALSE(UIImage::imageNamed("broken.png"));
    // A directory under an image's name is no image either, and reading it must not throw.
    std::filesystem::create_directory(dir_ / "folder.png");
    EXPECT_FALSE(UIImage::imageNamed("folder.png"));
    EXPECT_FALSE(CGImage::createWithContentsOfFile(dir_ / "folder.png"));
}

// Tiles come from any server. Each of these once crashed, took gigabytes or leaked its bitmap
// (an error jump over destructors); the asan preset runs this too.
TEST(HostileJpegs, AreRefusedBeforeTheirBitmapAndLeakNothing) {
    const std::vector<uint8_t> jpeg = encodeSolidJpeg(64, 32, 10, 20, 30);
    std::vector<uint8_t> trailingGarbage = jpeg;
    trailingGarbage.resize(trailingGarbage.size() - 2);  // EOI gives way to a bogus table
    trailingGarbage.insert(trailingGarbage.end(), {0xff, 0xc4, 0x00, 0x00});
    std::vector<uint8_t> headerOnly(jpeg.begin(), jpeg.begin() + 200);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"40,000 pixels wide", declaringSize(jpeg, 40000, 32)},
        {"30,000 x 30,000", declaringSize(jpeg, 30000, 30000)},
        {"no width", declaringSize(jpeg, 0, 32)},
        {"a bogus marker after the scan", trailingGarbage},
        {"headers only", headerOnly},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CGImage::createWithData(c.bytes)) << c.what;
        EXPECT_FALSE(UIImage::imageWithData(c.bytes)) << c.what;
    }
    const auto sound = CGImage::createWithData(jpeg);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->width(), 64);
}

TEST_F(ImageBundle, StretchableImagesKeepTheirCapsAndContentModesPlaceTheImage) {
    // 9x9: a 4-pixel red frame around a blue centre, at scale 1.
    auto img = paintedImage(9, 9, kRed, CGRectMake(4, 4, 1, 1), kBlue);
    auto stretchy = UIImage::imageWithCGImage(img, 1)->stretchableImageWithLeftCapWidth(4, 4);

    HeadlessHost host;
    auto view = UIImageView::create(CGRectMake(0, 0, 100, 50));
    view->setImage(stretchy);
    host.window()->addSubview(view);
    auto screen = host.compose();
    EXPECT_TRUE(colourNear(screenPixel(screen, 50, 25), kBlue));
    EXPECT_TRUE(colourNear(screenPixel(screen, 2, 25), kRed));  // left cap stays 4 wide
    EXPECT_TRUE(colourNear(screenPixel(screen, 6, 25), kBlue));
    EXPECT_TRUE(colourNear(screenPixel(screen, 97, 48), kRed));

    view->removeFromSuperview();
    writeSolid("bar.png", 40, 10, kRed);  // 4:1
    auto fit = UIImageView::createWithImage(UIImage::imageNamed("bar"));
    EXPECT_EQ(fit->frame().size, (CGSize{40, 10}));
    fit->setFrame(CGRectMake(0, 0, 100, 100));
    fit->setContentMode(UIViewContentModeScaleAspectFit);
    auto fill = UIImageView::create(CGRectMake(0, 200, 100, 100));
    fill->setImage(UIImage::imageNamed("bar"));
    fill->setContentMode(UIViewContentModeScaleAspectFill);
    fill->setClipsToBounds(true);
    auto centre = UIImageView::create(CGRectMake(200, 0, 100, 100));
    centre->setImage(UIImage::imageNamed("bar"));
    centre->setContentMode(UIViewContentModeCenter);
    for (auto& v : {fit, fill, centre}) host.window()->addSubview(v);
    auto s = host.compose();
    // Aspect fit: a 100x25 band through the middle; fill: the whole square, clipped; centre:
    // the natural 40x10 in the middle.
    EXPECT_TRUE(colourNear(screenPixel(s, 5, 50), kRed));
    EXPECT_TRUE(colourNear(screenPixel(s, 50, 30), kWhite));
    EXPECT_TRUE(colourNear(screenPixel(s, 95, 295), kRed));
    EXPECT_TRUE(colourNear(screenPixel(s, 105, 250), kWhite));
    EXPECT_TRUE(colourNear(screenPixel(s, 225, 50), kWhite));
    EXPECT_TRUE(colourNear(screenPixel(s, 250, 50), kRed));
}

TEST_F(ImageBundle, ImageContextCapturesDrawingAtScale) {
    UIGraphicsBeginImageContextWithOptions({10, 10}, false, 0);
    CGContextRef c = UIGraphicsGetCurrentContext();
    ASSERT_TRUE(c);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 5, 10));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 2);
    EXPECT_TRUE(colourNear(image->CGImage()->pixelAt(9, 5), kBlue));
    // Cropping is clipped to the image.
    auto part = CGImageCreateWithImageInRect(image->CGImage(), CGRectMake(15, 15, 50, 50));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->width(), 5);
    EXPECT_FALSE(CGImageCreateWithImageInRect(image->CGImage(), CGRectMake(30, 30, 5, 5)));
}

// The pictures shipped in resources/ load, at the sizes the screens lay out.
TEST(BundledImages, ShippedPicturesLoad) {
    UIImage::clearNamedCache();
    for (const char* name : {"待实施按钮.png", "确定按钮.jpg", "alert-view-bg-portrait"}) {
        auto image = UIImage::imageNamed(name);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->scale(), 2) << name;
    }
    EXPECT_EQ(UIImage::imageNamed("确定按钮.jpg")->size(), (CGSize{280, 40}));
    auto pin = UIImage::imageWithContentsOfFile(std::string(BRISFOLD_RESOURCES_DIR) +
                                                "/VAva.bundle/images/redPin.png");
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->size(), (CGSize{48, 80}));
}

}  // namespace
