#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "Foundation/NSRunLoop.h"
#include "ScreenPixels.h"
#include "TempDir.h"
#include "UIKit/UITextField.h"
#include "host/HeadlessHost.h"
#include "host/SDLHost.h"

namespace {

using testsupport::TempDir;

// The same checks through the one interface, whichever host is behind it.
class HostTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (GetParam() == "headless") {
            host_ = std::make_unique<HeadlessHost>();
            return;
        }
        // SDL's dummy driver gives a real window and renderer with no display server.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        std::string why;
        host_ = SDLHost::create({2.0, "test"}, &why);
        if (!host_) GTEST_SKIP() << "SDL cannot open even its dummy driver here: " << why;
    }
    std::unique_ptr<Host> host_;
};

TEST_P(HostTest, FingersAndKeysReachTheScreenAndStopEndsTheRun) {
    auto field = UITextField::create(CGRectMake(10, 100, 200, 40));
    host_->window()->addSubview(field);
    host_->tap(CGPointMake(50, 120));
    ASSERT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(host_->typeText("报价"));
    EXPECT_TRUE(host_->pressBackspace());
    EXPECT_EQ(field->text(), "报");
    EXPECT_EQ(host_->fingersDown(), 0u);

    bool turned = false;
    NSRunLoop::mainRunLoop()->performBlock([&turned] { turned = true; });
    EXPECT_TRUE(host_->runFor(0));
    EXPECT_TRUE(turned);  // even no time at all is one turn
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [this] { host_->stop(); });
    EXPECT_FALSE(host_->runFor(60));  // ended by stop(), not by the time

    auto band = UIView::create(CGRectMake(0, 0, 320, 50));
    band->setBackgroundColor(UIColor::redColor());
    host_->window()->addSubview(band);
    TempDir tmp;
    ASSERT_TRUE(host_->writePNG(tmp / "screen.png"));
    auto image = CGImage::createWithContentsOfFile(tmp / "screen.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 640);
    EXPECT_EQ(image->height(), 1136);
    EXPECT_TRUE(testsupport::colourNear(image->pixelAt(10, 10), testsupport::kRed));
    EXPECT_TRUE(testsupport::colourNear(image->pixelAt(10, 400), testsupport::kWhite));
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostTest, ::testing::Values("headless", "window"),
                         [](const auto& info) { return info.param; });

}  // namespace
