#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "MapDataAtExit.h"
#include "MapKitTestSupport.h"
#include "ScreenPixels.h"
#include "TempDir.h"
#include "VAFontModelCreator.h"
#include "VMResources.h"
#include "VURI1Vovure.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

using testsupport::TempDir;

struct Recorder : VURI1VovureDelegate {
    std::vector<int> states;
    int referenceChanges = 0;
    int loadingStarts = 0;
    std::vector<uint32_t> finished;
    std::vector<NSError> failures;
    void renderState(VURI1Vovure&, int state) override { states.push_back(state); }
    void referenceDidChange() override { ++referenceChanges; }
    void willStartLoading() override { ++loadingStarts; }
    void didFinishLoadingWithDataSize(uint32_t bytes) override { finished.push_back(bytes); }
    void didFailLoadingWithError(const NSError& e) override { failures.push_back(e); }
};

// Level 4 grids "1320" and "1321" fill a 500 x 250 pixel view at zoom 4 about this centre.
constexpr int32_t kPairCenterX = 13 << 24;
constexpr int32_t kPairCenterY = 13 << 23;
const CGColor kBackground{243 / 255.0, 241 / 255.0, 236 / 255.0, 1};
const CGColor kLand{224 / 255.0, 232 / 255.0, 208 / 255.0, 1};

::testing::AssertionResult near(CGColor a, CGColor b) {
    return testsupport::colourNear(a, b, 0.01);
}

class RendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NSSetHomeDirectory(home.path());
        renderer = VURI1Vovure::create();
        if (!renderer) GTEST_SKIP() << "EGL cannot create an OpenGL ES 1.1 context on this machine";
        renderer->setDelegate(recorder);
        layer->setBounds(CGRectMake(0, 0, 250, 125));
        layer->setContentsScale(2);
        layer->setOpaque(true);
    }

    void showPair() {
        MapViewState* view = renderer->projection();
        ASSERT_NE(view, nullptr);
        mapEngineSetCenter(view, kPairCenterX, kPairCenterY);
        mapEngineSetZoomLevel(view, 4);
        mapEngineUpdateView(view);
    }

    CGColor pixel(int x, int y) const {
        return layer->contents() ? layer->contents()->pixelAt(x, y) : CGColor{};
    }

    TempDir home;
    std::shared_ptr<VURI1Vovure> renderer;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<CAEAGLLayer> layer = CAEAGLLayer::layer();
};

TEST_F(RendererTest, EngineExistsFromCreationAndFramesReachTheLayer) {
    ASSERT_NE(renderer->mapEngine(), nullptr);
    EXPECT_EQ(mapEngineGetCurrent(), renderer->mapEngine());
    for (const char* dir : {"vmap", "cache/vmaptiles", "cache/vmapres"}) {
        EXPECT_TRUE(std::filesystem::is_directory(home.path() / "Documents/zaroruda/data" / dir))
            << dir;
    }

    ASSERT_TRUE(renderer->resizeFromLayer(layer));
    showPair();
    renderer->render();
    EXPECT_EQ(renderer->backingWidth(), 500);
    EXPECT_EQ(renderer->backingHeight(), 250);
    ASSERT_NE(layer->contents(), nullptr);
    EXPECT_TRUE(near(pixel(125, 125), kBackground));
    // The engine took the pending view record at the start of the frame.
    EXPECT_EQ(mapEngineGetZoomLevel(mapEngineGetViewState(renderer->mapEngine())), 4.0f);
    EXPECT_FALSE(recorder->states.empty());
    EXPECT_EQ(recorder->states.front(), kRenderStateProjectionReady);

    // "1320" is the western of the two grids: once stored it shows on the left only.
    ASSERT_TRUE(testsupport::holdGrid(renderer->mapEngine(), 0, "1320"));
    renderer->render();
    EXPECT_TRUE(near(pixel(10, 10), kLand));
    EXPECT_TRUE(near(pixel(240, 240), kLand));
    EXPECT_TRUE(near(pixel(490, 240), kBackground));
}

TEST_F(RendererTest, DisabledRenderingDrawsNothingAndAReloadMakesANewEngine) {
    renderer->resizeFromLayer(layer);
    renderer->setRenderDisabled(true);
    renderer->render();
    EXPECT_EQ(layer->contents(), nullptr);
    EXPECT_TRUE(recorder->states.empty());
    renderer->setRenderDisabled(false);
    renderer->render();
    ASSERT_NE(layer->contents(), nullptr);

    renderer->reconstructMapEngine();
    EXPECT_EQ(renderer->mapEngine(), nullptr);
    EXPECT_EQ(renderer->projection(), nullptr);
    recorder->states.clear();
    renderer->render();
    ASSERT_NE(renderer->mapEngine(), nullptr);
    EXPECT_EQ(mapEngineGetCurrent(), renderer->mapEngine());
    // The new engine has the surface and the callbacks: its frame reaches the delegate.
    renderer->render();
    EXPECT_FALSE(recorder->states.empty());
    EXPECT_TRUE(near(pixel(400, 200), kBackground));
}

TEST_F(RendererTest, CallbacksAnswerAsTheEngineExpects) {
    std::vector<uint8_t> widths(256, 0);
    VURI1Vovure::requireAsciiCharWidths(widths.data(), 12);
    EXPECT_EQ(widths, std::vector<uint8_t>(256, 48));
    VURI1Vovure::requireAsciiCharWidths(widths.data(), 70);
    EXPECT_EQ(widths, std::vector<uint8_t>(256, 24));

    const uint16_t chars[] = {'i', 'W', 0x5317};
    uint8_t results[3] = {};
    renderer->requireCharWidths(chars, 3, 20, results);
    EXPECT_GT(results[0], 0);
    EXPECT_GT(results[1], results[0]);
    EXPECT_GE(results[2], 18);

    const NSError error = NSError::make("InvalidResponseCode", 404);
    renderer->downloadData(1, 7, 100, nullptr);
    EXPECT_TRUE(recorder->finished.empty());
    EXPECT_TRUE(recorder->failures.empty());
    renderer->downloadData(0, 7, 100, nullptr);
    renderer->downloadData(1, 7, 0, &error);
    EXPECT_EQ(recorder->finished, std::vector<uint32_t>{100});
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(recorder->failures[0].code, 404);
    renderer->networkActivityChange(0);
    renderer->networkActivityChange(1);
    EXPECT_EQ(recorder->loadingStarts, 1);
    renderer->referenceChanged("1", "2");
    EXPECT_EQ(recorder->referenceChanges, 1);
}

// Download threads ask for the delegate while the main thread lets it go, as a map view does
// when it goes.
TEST_F(RendererTest, TheDelegateIsAskedForFromAnotherThreadWhileItIsSet) {
    const auto other = std::make_shared<Recorder>();
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    int strangers = 0;
    std::thread downloads([&] {
        while (!done) {
            const auto d = renderer->delegate();
            strangers += d && d != recorder && d != other;
            ++reads;
        }
    });
    for (int i = 0; i < 2000 || reads < 1000; ++i) {
        renderer->setDelegate(i % 2 ? std::weak_ptr<VURI1VovureDelegate>(recorder)
                                    : std::weak_ptr<VURI1VovureDelegate>(other));
    }
    renderer->setDelegate({});
    done = true;
    downloads.join();
    EXPECT_EQ(strangers, 0);
    EXPECT_EQ(renderer->delegate(), nullptr);
}

// What the renderer draws with and reports through can be replaced between frames.
TEST_F(RendererTest, LayerContextAndBridgeAreTakenAsSet) {
    renderer->resizeFromLayer(layer);
    renderer->render();
    ASSERT_NE(layer->contents(), nullptr);

    // A layer set alone waits for the next framebuffer, which a reload makes.
    auto other = CAEAGLLayer::layer();
    other->setBounds(CGRectMake(0, 0, 100, 50));
    other->setContentsScale(2);
    other->setOpaque(true);
    renderer->setEaglLayer(other);
    EXPECT_EQ(renderer->eaglLayer(), other);
    renderer->render();
    EXPECT_EQ(other->contents(), nullptr);
    renderer->reconstructMapEngine();
    renderer->render();
    ASSERT_NE(other->contents(), nullptr);
    EXPECT_EQ(renderer->backingWidth(), 200);

    // A new context gets a framebuffer of its own and the frames go on in it; null is refused.
    const auto context = EAGLContext::create(kEAGLRenderingAPIOpenGLES1);
    ASSERT_NE(context, nullptr);
    renderer->setContext(nullptr);
    EXPECT_NE(renderer->context(), nullptr);
    renderer->setContext(context);
    EXPECT_EQ(renderer->context(), context);
    other->setContents(nullptr);
    renderer->render();
    EXPECT_EQ(EAGLContext::currentContext(), context);
    ASSERT_NE(other->contents(), nullptr);
    EXPECT_TRUE(near(other->contents()->pixelAt(100, 50), kBackground));

    const auto bridge = std::make_shared<VMCallbackBridge>();
    EXPECT_NE(renderer->callbackBridge(), nullptr);
    renderer->setCallbackBridge(bridge);
    EXPECT_EQ(renderer->callbackBridge(), bridge);

    // Glyphs reach the engine top row first: an underscore has ink in its lower half only.
    const size_t side = VAFontModelCreator::instance()->side();
    const uint8_t* underscore = VURI1Vovure::getCharBitmap(u'_');
    ASSERT_NE(underscore, nullptr);
    const auto inkIn = [&](size_t fromRow, size_t toRow) {
        return std::any_of(underscore + fromRow * side, underscore + toRow * side,
                           [](uint8_t alpha) { return alpha != 0; });
    };
    EXPECT_FALSE(inkIn(0, side / 2));
    EXPECT_TRUE(inkIn(side / 2, side));
}

// Read-back of a frame of no size gives no picture, and the request ends with that frame.
TEST_F(RendererTest, SnapshotOfAFrameOfNoSizeIsNull) {
    renderer->setSnapshotEnabled(true);
    renderer->setSnapshotPath(UIBezierPath::bezierPathWithRect(CGRectMake(0, 0, 10, 10)));
    renderer->render();
    EXPECT_EQ(renderer->snapshotImage(), nullptr);
    EXPECT_FALSE(renderer->snapshotEnabled());
    EXPECT_EQ(renderer->snapshotPath(), nullptr);
}

}  // namespace
