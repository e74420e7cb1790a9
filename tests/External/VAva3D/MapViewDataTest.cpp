#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "ChildProcess.h"
#include "Foundation/NSPathUtilities.h"
#include "ManualClock.h"
#include "MapDataServerFixture.h"
#include "QuartzCore/CADisplayLink.h"
#include "ScreenPixels.h"
#include "UIKit/UIApplication.h"
#include "VAvaCoreDataProvider.h"
#include "VMMapView.h"
#include "VMTileOverlayView.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

const CGColor kBackground{243 / 255.0, 241 / 255.0, 236 / 255.0, 1};

// The renderer's delegate in place of the map view: its loading reports, from any thread.
struct LoadingRecorder : VURI1VovureDelegate {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::uint32_t>> log;

    void willStartLoading() override { add("start", 0); }
    void didFinishLoadingWithDataSize(uint32_t bytes) override { add("finish", bytes); }
    void didFailLoadingWithError(const NSError&) override { add("fail", 0); }
    void add(std::string what, std::uint32_t size) {
        std::lock_guard lock(mutex);
        log.emplace_back(std::move(what), size);
    }
    std::vector<std::pair<std::string, std::uint32_t>> events() {
        std::lock_guard lock(mutex);
        return log;
    }
    std::size_t count(const std::string& what) {
        const auto e = events();
        return static_cast<std::size_t>(
            std::count_if(e.begin(), e.end(), [&](const auto& p) { return p.first == what; }));
    }
};

class MapViewDataTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override { ASSERT_TRUE(local.start()); }
    void TearDown() override { UIApplication::sharedApplication()->reset(); }
    // A map view in a fresh home; null where EGL cannot make a GL ES 1.1 context.
    std::shared_ptr<VMMapView> makeView() {
        NSSetHomeDirectory(home.path());
        UIApplication::sharedApplication()->reset();
        return VMMapView::create(CGRectMake(0, 0, 250, 125));
    }

    testsupport::TempDir home;
    LocalMapDataServer local;
};

TEST_F(MapViewDataTest, TheInitialRegionShowsTheDevserversGrids) {
    auto view = makeView();
    if (!view) GTEST_SKIP() << "no OpenGL ES 1.1 context on this machine";
    const auto recorder = std::make_shared<LoadingRecorder>();
    view->render()->setDelegate(recorder);
    view->baseMapView()->layoutIfNeeded();

    MapEngine* engine = view->render()->mapEngine();
    const auto loaded = [&] {
        return recorder->count("start") > 0 &&
               recorder->count("finish") + recorder->count("fail") == recorder->count("start") &&
               allShownGridsHeld(engine);
    };
    const double deadline = Clock::realNow() + testsupport::kPatience;
    while (!loaded() && Clock::realNow() < deadline) {
        advance(CADisplayLink::kRefreshPeriod);
        mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    }
    ASSERT_TRUE(loaded());
    advance(CADisplayLink::kRefreshPeriod);

    const auto& contents = view->baseMapView()->layer()->contents();
    ASSERT_NE(contents, nullptr);
    for (const auto& [x, y] : {std::pair{10, 10}, {250, 125}, {490, 240}}) {
        EXPECT_FALSE(testsupport::colourNear(contents->pixelAt(x, y), kBackground, 0.02))
            << x << "," << y;
    }
    for (const auto& [name, held] : shownGrids(engine)) {
        const auto data = mapEngineStoredGridData(engine, 0, name);
        ASSERT_TRUE(data) << name;
        EXPECT_EQ(std::string(data->begin(), data->end()),
                  devserver::MapDataEndpoints::gridData(0, name));
    }

    // Will-start first, then one finish per answer with that answer's size.
    const auto events = recorder->events();
    EXPECT_EQ(events.front().first, "start");
    EXPECT_EQ(recorder->count("fail"), 0u);
    std::vector<std::uint32_t> sizes;
    for (const auto& [what, size] : events) {
        if (what == "finish") sizes.push_back(size);
    }
    std::vector<std::uint32_t> expected;
    for (const auto& target : local.targets()) {
        const auto q = target.find('?');
        expected.push_back(static_cast<std::uint32_t>(
            local.mapData().answerFor(target.substr(0, q), target.substr(q + 1))->size()));
    }
    std::sort(sizes.begin(), sizes.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sizes, expected);
}

// A reload lets the provider go of the engine before the engine goes. Then the map view goes
// while its download is held by the server, as a user leaving the map screen does: the renderer
// lets go of its delegate on the main thread while the download's threads report, and the map
// server's address is set again meanwhile.
TEST_F(MapViewDataTest, ReloadAndMapGoingAwayDuringAHeldDownload) {
    auto view = makeView();
    if (!view) GTEST_SKIP() << "no OpenGL ES 1.1 context on this machine";
    const auto provider = VAvaCoreDataProvider::sharedInstance();
    EXPECT_EQ(provider->mapEngine(), view->render()->mapEngine());
    EXPECT_EQ(provider->baseServer(), local.base);
    view->render()->reconstructMapEngine();
    EXPECT_EQ(provider->mapEngine(), nullptr);
    advance(CADisplayLink::kRefreshPeriod);
    EXPECT_NE(view->render()->mapEngine(), nullptr);
    EXPECT_EQ(provider->mapEngine(), view->render()->mapEngine());

    const auto recorder = std::make_shared<LoadingRecorder>();
    const auto render = view->render();
    render->setDelegate(recorder);
    local.mapData().setHoldAnswers(true);
    view->baseMapView()->layoutIfNeeded();
    const double deadline = Clock::realNow() + testsupport::kPatience;
    while (local.mapData().heldCount() == 0 && Clock::realNow() < deadline)
        advance(CADisplayLink::kRefreshPeriod);
    ASSERT_GT(local.mapData().heldCount(), 0u);
    const auto asked = shownGrids(render->mapEngine());
    VMMapServices::sharedServices()->setInternalServerAddress(local.base);
    view.reset();
    const auto heard = recorder->events().size();
    local.mapData().setHoldAnswers(false);
    EXPECT_TRUE(testsupport::runUntil([&] {
        return std::none_of(asked.begin(), asked.end(), [&](const auto& g) {
            return provider->isGridProcessingWithName(g.first, 0);
        });
    }));
    EXPECT_EQ(recorder->events().size(), heard);
}

// Two maps at once: the provider feeds the newest one's engine, and the other map closing (a
// screen with a small map popped off) leaves it fed.
TEST_F(MapViewDataTest, AnotherMapClosingLeavesTheFedMapItsGrids) {
    auto other = makeView();
    if (!other) GTEST_SKIP() << "no OpenGL ES 1.1 context on this machine";
    const auto view = VMMapView::create(CGRectMake(0, 0, 250, 125));
    ASSERT_NE(view, nullptr);
    const auto provider = VAvaCoreDataProvider::sharedInstance();
    MapEngine* engine = view->render()->mapEngine();
    ASSERT_EQ(provider->mapEngine(), engine);
    other.reset();
    EXPECT_EQ(provider->mapEngine(), engine);

    view->baseMapView()->layoutIfNeeded();
    const double deadline = Clock::realNow() + testsupport::kPatience;
    const auto loaded = [&] { return !shownGrids(engine).empty() && allShownGridsHeld(engine); };
    while (!loaded() && Clock::realNow() < deadline) {
        advance(CADisplayLink::kRefreshPeriod);
        mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    }
    EXPECT_TRUE(loaded());
}

// Map views let go of while their map data and tiles are on their way, as a user leaving the map
// screen does, hundreds of times. Each is let go of the moment one of its answers is handed back,
// just as the download's thread goes on to report it: a view goes, GL and all, on the main thread
// when its owner lets go of it, whatever the download threads are doing.
TEST_F(MapViewDataTest, MapViewsLetGoWhileTheirDownloadsReportGoOnTheMainThread) {
    constexpr int kRounds = 200;
    const auto provider = VAvaCoreDataProvider::sharedInstance();
    // One tile layer that every map shows, as an application keeps it.
    const auto tiles = VMTileOverlay::createWithURLTemplate(local.base + "tiles/{z}/{x}/{y}.png");
    const auto listener = std::make_shared<VMMapViewDelegate>();
    int racing = 0;
    std::vector<std::string> everAsked;
    for (int round = 0; round < kRounds; ++round) {
        auto view = makeView();
        if (!view) GTEST_SKIP() << "no OpenGL ES 1.1 context on this machine";
        view->setDelegate(listener);
        // A new place each round, so that its grids are not on their way already.
        view->setCenterCoordinate({30 + (round % 20) * 0.5, 100 + (round / 20) * 0.5});
        view->zoomToLevel(13);
        auto tileView = VMTileOverlayView::initWithTileOverlay(tiles);
        view->overlayContainer()->insertOverlay(tiles, tileView, 0, 1);
        view->baseMapView()->layoutIfNeeded();
        // The server holds the answers until the view has asked for all its grids.
        local.mapData().setHoldAnswers(true);
        advance(CADisplayLink::kRefreshPeriod);
        // The engine's worker asks for the frame's grids a moment after the frame.
        const auto askedNow = [&] {
            std::vector<std::string> names;
            for (const auto& [name, held] : shownGrids(view->render()->mapEngine()))
                if (provider->isGridProcessingWithName(name, 0)) names.push_back(name);
            return names;
        };
        testsupport::waitUntil([&] { return !askedNow().empty(); }, 1.0);
        const std::vector<std::string> asked = askedNow();
        everAsked.insert(everAsked.end(), asked.begin(), asked.end());
        local.mapData().setHoldAnswers(false);
        if (!asked.empty()) {
            ++racing;
            // The provider lets go of a grid just before it reports the answer.
            testsupport::waitUntil([&] {
                return std::any_of(asked.begin(), asked.end(), [&](const std::string& name) {
                    return !provider->isGridProcessingWithName(name, 0);
                });
            });
        }
        const std::weak_ptr<VMMapView> weak = view;
        tileView.reset();
        view.reset();
        ASSERT_TRUE(weak.expired()) << "round " << round << ": the view outlived its owner";
    }
    // Nearly every round had its map data on the way.
    EXPECT_GT(racing, kRounds * 9 / 10);
    // Whatever was still on its way ends, its reports dropped with their views.
    EXPECT_TRUE(testsupport::runUntil([&] {
        return std::none_of(everAsked.begin(), everAsked.end(), [&](const std::string& name) {
            return provider->isGridProcessingWithName(name, 0);
        });
    }));
}

}  // namespace

namespace {

constexpr const char* kColdStartHome = "BRISFOLD_COLD_START_HOME";
constexpr const char* kColdStartServer = "BRISFOLD_COLD_START_SERVER";

// Run by the test below in a process of its own, on the real clock: nothing has probed the
// network before the map view asks for its first grids.
TEST(MapViewColdStartChild, ShowsItsFirstGrids) {
    const char* home = std::getenv(kColdStartHome);
    const char* server = std::getenv(kColdStartServer);
    if (!home || !server) GTEST_SKIP() << "run by FreshProcessShowsItsFirstGridsWithinSeconds";
    NSSetHomeDirectory(home);
    UIApplication::sharedApplication()->reset();
    VMMapServices::sharedServices()->setInternalServerAddress(server);
    auto view = VMMapView::create(CGRectMake(0, 0, 250, 125));
    ASSERT_NE(view, nullptr);
    view->baseMapView()->layoutIfNeeded();
    // Far below the engine's minute before it asks again for an unchanged view.
    EXPECT_TRUE(
        testsupport::runUntil([&] { return allShownGridsHeld(view->render()->mapEngine()); }, 20));
}

TEST_F(MapViewDataTest, FreshProcessShowsItsFirstGridsWithinSeconds) {
    testsupport::ChildProcess::Options options;
    options.args = {"/proc/self/exe", "--gtest_filter=MapViewColdStartChild.ShowsItsFirstGrids"};
    options.env = {{kColdStartHome, home.path().string()}, {kColdStartServer, local.base}};
    options.captureStderr = true;
    testsupport::ChildProcess child(options);
    ASSERT_TRUE(child.started());
    const auto status = child.waitForExit(60);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0) << child.out() << child.err();
    EXPECT_NE(child.out().find("[  PASSED  ] 1 test"), std::string::npos) << child.out();
}

}  // namespace
