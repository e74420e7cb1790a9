#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Foundation/NSPathUtilities.h"
#include "TempDir.h"
#include "UIKit/UIScreen.h"
#include "VMBase64.h"
#include "VMRSA.h"
#include "VMResources.h"

namespace {

using testsupport::TempDir;

// The embedded certificate is one the kit's own RSA wrapper accepts: valid now, 2048-bit.
TEST(Resources, EmbeddedCertificateGivesTheKitsPublicKey) {
    const auto data = VMResources::publicKeyData();
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(mabase64EncodedString(data), VMResources::publicKey());
    const auto rsa = VMRSA::create(std::span<const std::uint8_t>(data));
    ASSERT_TRUE(rsa);
    EXPECT_EQ(rsa->maxPlainLen(), 256u - 12u);
    const auto sealed = rsa->encryptWithString("engineer");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 256u);
}

TEST(Resources, EmbeddedLogoFollowsTheScreenScale) {
    const struct {
        CGFloat scale;
        int width, height;
    } cases[] = {{2, 244, 58}, {3, 122, 29}, {1, 122, 29}};
    for (const auto& c : cases) {
        UIScreen::mainScreen()->setScale(c.scale);
        auto logo = VMResources::sharedResources()->logoImage();
        ASSERT_NE(logo, nullptr) << c.scale;
        EXPECT_EQ(CGImageGetWidth(logo->CGImage()), static_cast<size_t>(c.width));
        EXPECT_EQ(CGImageGetHeight(logo->CGImage()), static_cast<size_t>(c.height));
        EXPECT_EQ(logo->scale(), c.scale);
    }
    UIScreen::mainScreen()->reset();
    EXPECT_EQ(VMResources::sharedResources()->embeddedImageNamed("nothing"), nullptr);
    // The logos are kept as Base64 text of PNG files.
    for (const auto& [text, width] :
         {std::pair{VMResources::zaroruda(), 122}, std::pair{VMResources::zaroruda2x(), 244}}) {
        const auto png = madataWithBase64EncodedString(text);
        ASSERT_TRUE(png);
        const auto image = UIImage::imageWithData(*png);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(CGImageGetWidth(image->CGImage()), static_cast<size_t>(width));
    }
}

TEST(Resources, DataFilesByTypeAndTheirReplacement) {
    auto resources = VMResources::sharedResources();
    EXPECT_EQ(resources->styleDataPaths().size(), 7u);
    EXPECT_EQ(resources->textureDataPaths().size(), 44u);
    TempDir dir;
    const std::string file = dir / "style.data";
    std::ofstream(file) << "bytes";
    ASSERT_TRUE(resources->replaceDataPathForStyleType(3, file));
    ASSERT_TRUE(resources->replaceDataPathForTextureType(43, file));
    const std::vector<std::uint8_t> expected{'b', 'y', 't', 'e', 's'};
    EXPECT_EQ(resources->vava3DDataForStyleType(3), expected);
    EXPECT_EQ(resources->vava3DDataForTextureType(43), expected);
    ASSERT_TRUE(resources->replaceDataPathForStyleType(3, dir / "missing.data"));
    EXPECT_EQ(resources->vava3DDataForStyleType(3), std::nullopt);

    for (const auto& [style, texture] : {std::pair{-1, -1}, std::pair{7, 44}}) {
        EXPECT_FALSE(resources->replaceDataPathForStyleType(style, file));
        EXPECT_FALSE(resources->replaceDataPathForTextureType(texture, file));
        EXPECT_EQ(resources->vava3DDataForStyleType(style), std::nullopt);
        EXPECT_EQ(resources->vava3DDataForTextureType(texture), std::nullopt);
    }
}

// The shared object is made once per process, so bundles other than the default one are
// looked at in a child process. The child starts afresh: a forked copy of this process would
// hold the shared object of an earlier test (or repetition) and the dispatch workers' state
// without their threads, which its exit then waits for. Its files live within the statement, so
// that they go before it exits.
class ResourcesDeathTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

bool missingBundleAnswersNothing() {
    TempDir empty;
    NSBundle::setMainBundlePath(empty.path());
    auto r = VMResources::sharedResources();
    return r->bundle() == nullptr && r->imageNamed("redPin") == nullptr &&
           !r->offlinePackagePath() && !r->vava3DDataForTextureType(0) &&
           r->textureDataPaths()[0].empty() && r->logoImage() != nullptr;
}

bool imageCacheKeepsTheLatest21() {
    TempDir main;
    std::filesystem::create_directories(main / "VAva.bundle/images");
    const std::string pin = std::string(BRISFOLD_RESOURCES_DIR) + "/VAva.bundle/images/redPin.png";
    for (int i = 0; i < 22; ++i) {
        std::filesystem::copy_file(pin,
                                   main / ("VAva.bundle/images/p" + std::to_string(i) + ".png"));
    }
    NSBundle::setMainBundlePath(main.path());
    auto r = VMResources::sharedResources();
    auto first = r->imageNamed("p0");
    std::shared_ptr<UIImage> last;
    for (int i = 1; i < 22; ++i) last = r->imageNamed("p" + std::to_string(i));
    // p0 was the oldest of 22 and went; the latest is still held.
    const bool evicted =
        first && !r->imageCache()->objectForKey("/images/p0") && r->imageNamed("p0") != first;
    const bool kept = last && r->imageCache()->objectForKey("/images/p21") == last &&
                      r->imageNamed("p21") == last;
    return evicted && kept && r->imageCache()->count() == 21;
}

TEST_F(ResourcesDeathTest, MissingBundleAnswersNothing) {
    // The one line names the folder looked in and how to point the kit elsewhere.
    EXPECT_EXIT(std::exit(missingBundleAnswersNothing() ? 0 : 1), ::testing::ExitedWithCode(0),
                "无效的资源bundle.* No VAva.bundle in /[^ ]+, .*BRISFOLD_RESOURCES_DIR.*"
                "NSBundle::setMainBundlePath");
}

TEST_F(ResourcesDeathTest, ImageCacheKeepsTheLatest21) {
    EXPECT_EXIT(std::exit(imageCacheKeepsTheLatest21() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
