#include <SDL2/SDL.h>

#include <cstdlib>

#include "TempDir.h"
#include "TouchRecordingView.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITextField.h"
#include "UITestCommon.h"
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

void pushMouse(Uint32 type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x;
        e.motion.y = y;
        e.motion.state = SDL_BUTTON_LMASK;
    } else {
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = x;
        e.button.y = y;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    }
    SDL_PushEvent(&e);
}

class SDLHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        host_ = SDLHost::create({2.0, "test"});
        if (!host_) GTEST_SKIP() << "SDL cannot open even its dummy driver here";
    }
    std::unique_ptr<SDLHost> host_;
};

TEST_F(SDLHostTest, MouseIsOneFingerAltDragTwoMirroredFingersAndKeysGoToTheFirstResponder) {
    auto view = testsupport::TouchRecordingView::create(UIScreen::mainScreen()->bounds());
    view->setMultipleTouchEnabled(true);
    host_->window()->addSubview(view);

    // Window pixels are points times the display factor.
    pushMouse(SDL_MOUSEBUTTONDOWN, 100, 200);
    pushMouse(SDL_MOUSEMOTION, 120, 200);
    pushMouse(SDL_MOUSEBUTTONUP, 120, 200);
    ASSERT_TRUE(host_->pumpEvents());
    EXPECT_EQ(view->phases,
              (std::vector<UITouchPhase>{UITouchPhaseBegan, UITouchPhaseMoved, UITouchPhaseEnded}));
    EXPECT_EQ(view->points, (std::vector<CGPoint>{{50, 100}, {60, 100}, {60, 100}}));

    view->events.clear();
    view->allPoints.clear();
    SDL_SetModState(KMOD_LALT);
    pushMouse(SDL_MOUSEBUTTONDOWN, 240, 468);  // (120, 234): 40 left of and 50 above the centre
    ASSERT_TRUE(host_->pumpEvents());
    SDL_SetModState(KMOD_NONE);  // the gesture stays two-fingered once begun
    pushMouse(SDL_MOUSEMOTION, 200, 468);
    pushMouse(SDL_MOUSEBUTTONUP, 200, 468);
    ASSERT_TRUE(host_->pumpEvents());
    EXPECT_EQ(view->events, (std::vector<std::string>{"began", "moved", "ended"}));
    ASSERT_EQ(view->allPoints[0].size(), 2u);
    const CGPoint a = view->allPoints[0][0], b = view->allPoints[0][1];
    EXPECT_EQ(a, CGPointMake(120, 234));
    EXPECT_EQ(b, CGPointMake(200, 334));  // mirrored about (160, 284)
    const CGPoint a2 = view->allPoints[1][0], b2 = view->allPoints[1][1];
    EXPECT_GT(std::hypot(a2.x - b2.x, a2.y - b2.y), std::hypot(a.x - b.x, a.y - b.y));  // spread

    // Text and keys go to the first responder; quitting closes the window.
    auto field = UITextField::create(CGRectMake(10, 100, 200, 40));
    host_->window()->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::snprintf(text.text.text, sizeof text.text.text, "%s", "报价");
    SDL_PushEvent(&text);
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_BACKSPACE;
    SDL_PushEvent(&key);
    ASSERT_TRUE(host_->pumpEvents());
    EXPECT_EQ(field->text(), "报");

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_FALSE(host_->pumpEvents());
}

}  // namespace
