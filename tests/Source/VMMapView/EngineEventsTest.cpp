#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "GridFeatureBytes.h"
#include "MapKitTestSupport.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "UIKit/UIScreen.h"
#include "VAvaCoreDataProvider.h"
#include "VMDataDownloader.h"
#include "VMResources.h"
#include "vmap_core/MapEngineInternal.h"
#include "vmap_core/ShownGridNames.h"

namespace {

using Clock = std::chrono::steady_clock;
using Parameter = std::pair<int, std::vector<int64_t>>;

// The map view of 250 × 125 points shows the level-4 grids "1320" and "1321" side by side.
constexpr int32_t kPairCenterX = 13 << 24;
constexpr int32_t kPairCenterY = 13 << 23;
constexpr int32_t kWestX = (12 << 24) + (1 << 23);
constexpr int32_t kPairY = (6 << 24) + (1 << 23);

std::vector<uint8_t> styleBytes(int type) {
    return *VMResources::sharedResources()->vava3DDataForStyleType(type);
}

class EngineEventsTest : public MapViewFixture {
  protected:
    void SetUp() override {
        openView(CGRectMake(0, 0, 250, 125));
        if (!view) return;
        view->zoomToLevel(4);
        view->scrollToCenterPoint({kPairCenterX, kPairCenterY}, false, 0, 0, false, nullptr);
        view->baseMapView()->layoutIfNeeded();
        frames(1);
    }

    MapEngine* engine() const { return view->render()->mapEngine(); }

    void put(MapDataType type, const std::vector<uint8_t>& data) {
        ASSERT_TRUE(testsupport::holdGrid(engine(), type, "1320", data));
    }

    CGImageRef frame() {
        frames(1);
        return view->baseMapView()->layer()->contents();
    }

    // Engine pixels of a map point.
    std::pair<double, double> screenOf(int32_t x, int32_t y) {
        const MapViewState* state = mapEngineGetViewState(engine());
        float gx = 0, gy = 0;
        mapEngineMapToGL(state, x, y, &gx, &gy);
        double sx = 0, sy = 0;
        mapEngineGLToScreen(state, &sx, &sy, gx, gy);
        return {sx, sy};
    }

    std::vector<EngineCall> callsSince(size_t from) {
        auto calls = mapEngineCalls(engine());
        return {calls.begin() + static_cast<std::ptrdiff_t>(std::min(from, calls.size())),
                calls.end()};
    }

    static std::vector<Parameter> parameters(const std::vector<EngineCall>& calls) {
        std::vector<Parameter> out;
        for (const auto& c : calls)
            if (c.function == "mapEngineSetParameter") out.emplace_back(c.number, c.values);
        return out;
    }
};

// A frame done refreshes the shown grid names.
TEST_F(EngineEventsTest, MapLooksLoadTheirStyles) {
    const CGColor standard = kMapBackground;
    const CGColor satellite{46 / 255.0, 59 / 255.0, 42 / 255.0, 1};
    const CGColor night{27 / 255.0, 34 / 255.0, 51 / 255.0, 1};
    EXPECT_TRUE(testsupport::colourNear(frame()->pixelAt(250, 125), standard, 0.01));
    const auto shown = shownGridNames(0);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "1320"), shown.end());
    EXPECT_NE(std::find(shown.begin(), shown.end(), "1321"), shown.end());

    struct Look {
        long type;
        int style;
        CGColor background;
        std::vector<int64_t> satelliteParameter;
        std::vector<int64_t> mode;
        bool regularScale;
    };
    for (const Look& look : {Look{1, 2, satellite, {1, 0, 0, 0}, {1, 0, 0, 0}, false},
                             Look{2, 4, night, {0, 0, 0, 0}, {0, 1, 0, 0}, false},
                             Look{0, 0, standard, {0, 0, 0, 0}, {0, 0, 0, 0}, true}}) {
        const size_t before = mapEngineCalls(engine()).size();
        view->setMapType(look.type);
        EXPECT_EQ(view->mapType(), look.type);
        EXPECT_EQ(view->scaleView()->useRegularStyle(), look.regularScale);
        const auto calls = callsSince(before);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front().function, "mapEngineSetParameter");
        EXPECT_EQ(calls.front().number, kMapParameterTaskManager);
        EXPECT_EQ(calls.front().values, (std::vector<int64_t>{0, 1, 0, 0}));
        ASSERT_EQ(calls[1].function, "mapEngineSetStyle");
        EXPECT_EQ(calls[1].bytes, styleBytes(look.style)) << look.type;
        const auto params = parameters(calls);
        ASSERT_EQ(params.size(), 5u);
        EXPECT_EQ(params[1], (Parameter{2011, look.satelliteParameter}));
        EXPECT_EQ(params[3], (Parameter{kMapParameterTaskManager, {1, 0, 0, 0}}));
        EXPECT_EQ(params[4], (Parameter{2013, look.mode}));
        EXPECT_TRUE(testsupport::colourNear(frame()->pixelAt(250, 125), look.background, 0.01))
            << look.type;
    }

    // Unknown types and the current one change nothing; forced, the current one reloads.
    view->setMapType(2);
    const size_t settled = mapEngineCalls(engine()).size();
    for (long ignored : {3L, -1L, 2L}) view->setMapType(ignored);
    EXPECT_EQ(view->mapType(), 2);
    EXPECT_EQ(mapEngineCalls(engine()).size(), settled);
    view->setMapType(2, true);
    EXPECT_GT(mapEngineCalls(engine()).size(), settled);
}

TEST_F(EngineEventsTest, LabelsShowOnceTheirGlyphsCameAndFollowTheSwitch) {
    const CGColor labelColour{51 / 255.0, 51 / 255.0, 51 / 255.0, 1};
    put(0, testsupport::GridFeatureBytes().point(kWestX, kPairY, u"天安门", true).bytes());
    const auto [x, y] = screenOf(kWestX, kPairY);
    // Three 48-pixel glyphs centred on the point.
    const auto inkInBox = [&, x = x, y = y](const CGImageRef& image, bool inside) {
        int ink = 0;
        for (int py = 0; py < 125 * 2; ++py) {
            for (int px = 0; px < 250 * 2; ++px) {
                const bool inBox = std::abs(px - x) <= 84 && std::abs(py - y) <= 26;
                if (inBox == inside &&
                    testsupport::coloursClose(image->pixelAt(px, py), labelColour, 0.03)) {
                    ++ink;
                }
            }
        }
        return ink;
    };

    // The glyphs are asked at the first frame that shows the grid and come from a worker, held
    // here until that frame is drawn: glyphs rendered once already in this process come fast
    // enough to reach the frame that asked for them.
    constexpr uint32_t kHold[4] = {0, 1, 0, 0}, kRelease[4] = {1, 0, 0, 0};
    mapEngineSetParameter(engine(), kMapParameterTaskManager, kHold);
    EXPECT_EQ(inkInBox(frame(), true), 0);
    mapEngineSetParameter(engine(), kMapParameterTaskManager, kRelease);
    ASSERT_TRUE(mapEngineWaitForRequests(engine(), Clock::now() + std::chrono::seconds(20)));
    const auto& glyphs = mapEngineGlyphs(engine());
    for (char16_t code : std::u16string(u"天安门")) EXPECT_TRUE(glyphs.find(code)) << int(code);
    const CGImageRef shown = frame();
    EXPECT_GT(inkInBox(shown, true), 20);
    EXPECT_EQ(inkInBox(shown, false), 0);

    view->setShowsLabels(false);
    EXPECT_FALSE(view->showsLabels());
    EXPECT_EQ(inkInBox(frame(), true), 0);
    view->setShowsLabels(true);
    EXPECT_GT(inkInBox(frame(), true), 20);

    // Between a reload and the next frame there is no engine to tell.
    view->reloadMap();
    view->render()->reconstructMapEngine();
    view->setShowsLabels(false);
    EXPECT_TRUE(view->showsLabels());
}

TEST_F(EngineEventsTest, TrafficColoursAndAReloadThatKeepsThem) {
    testsupport::GridFeatureBytes segments;
    const int32_t step = 1 << 21;
    for (uint8_t state = 0; state < 4; ++state) {
        const int32_t y = (6 << 24) + step * (1 + 2 * state);
        segments.segment(state, {{(12 << 24) + step, y}, {(13 << 24) - step, y}});
    }
    put(4, segments.traffic());
    const auto colourAt = [&](const CGImageRef& image, uint8_t state) {
        const auto [x, y] = screenOf(kWestX, (6 << 24) + step * (1 + 2 * state));
        return image->pixelAt(static_cast<int>(x), static_cast<int>(y));
    };
    const std::array<CGColor, 4> standard{CGColor{60 / 255.0, 210 / 255.0, 110 / 255.0, 1},
                                          {250 / 255.0, 180 / 255.0, 70 / 255.0, 1},
                                          {1, 95 / 255.0, 95 / 255.0, 1},
                                          {180 / 255.0, 15 / 255.0, 15 / 255.0, 1}};

    const size_t before = mapEngineCalls(engine()).size();
    view->applyTrafficColor(view->trafficColorWrapper());
    const auto applied = parameters(callsSince(before));
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_EQ(applied[0], (Parameter{2201, {1, 0, 0, 0}}));
    EXPECT_EQ(applied[1], (Parameter{2202, {0xFF3CD26E, 0xFFFAB446, 0xFFFF5F5F, 0xFFB40F0F}}));

    const auto expectColours = [&](const std::array<CGColor, 4>& colours) {
        const CGImageRef image = frame();
        for (uint8_t s = 0; s < 4; ++s)
            EXPECT_TRUE(testsupport::colourNear(colourAt(image, s), colours[s], 0.01)) << int(s);
    };
    view->setShowTraffic(true);
    expectColours(standard);
    view->setUnimpededColor(UIColor::blueColor(), UIColor::greenColor(), UIColor::redColor(),
                            UIColor::blackColor());
    expectColours(
        {testsupport::kBlue, testsupport::kGreen, testsupport::kRed, testsupport::kBlack});
    view->setShowTraffic(false);
    expectColours({kMapBackground, kMapBackground, kMapBackground, kMapBackground});

    // A reload rebuilds the engine at the next frame with the look, traffic and colours.
    view->setMapType(2);
    view->setShowTraffic(true);
    view->setShowsLabels(false);
    view->reloadMap();
    ASSERT_NE(engine(), nullptr);
    const auto calls = mapEngineCalls(engine());
    const auto params = parameters(calls);
    const auto has = [&](int id, std::vector<int64_t> values) {
        return std::find(params.begin(), params.end(), std::make_pair(id, values)) != params.end();
    };
    EXPECT_TRUE(has(kMapParameterTraffic, {1, 0, 0, 0}));
    EXPECT_TRUE(has(2013, {0, 1, 0, 0}));
    EXPECT_TRUE(has(2202, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF000000}));
    EXPECT_FALSE(std::any_of(params.begin(), params.end(), [](const auto& p) {
        return p.first == 1024;
    })) << "labels are not sent again";
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const EngineCall& c) {
        return c.function == "mapEngineSetStyle" && c.bytes == styleBytes(4);
    }));
}

// Showing models and buildings are the two switches turned around, sent as the engine's flags.
TEST_F(EngineEventsTest, ModelsAndBuildingsShowUnlessDisabled) {
    struct Case {
        void (VMMapView::*set)(bool);
        bool value;
        Parameter sent;
        bool models, buildings;
    };
    EXPECT_TRUE(view->shows3DModels());
    EXPECT_TRUE(view->showsBuildings());
    for (const auto& [set, value, sent, models, buildings] : {
             Case{&VMMapView::setShows3DModels, false, {1022, {0, 0, 0, 0}}, false, true},
             Case{&VMMapView::setShowsBuildings, false, {1021, {0, 0, 0, 0}}, false, false},
             Case{&VMMapView::setShows3DModels, true, {1022, {1, 0, 0, 0}}, true, false},
             Case{&VMMapView::setShowsBuildings, true, {1021, {1, 0, 0, 0}}, true, true},
         }) {
        SCOPED_TRACE(sent.first);
        const size_t before = mapEngineCalls(engine()).size();
        ((*view).*set)(value);
        EXPECT_EQ(parameters(callsSince(before)), std::vector<Parameter>{sent});
        EXPECT_EQ(view->shows3DModels(), models);
        EXPECT_EQ(view->real3DModelsDisabled(), !models);
        EXPECT_EQ(view->showsBuildings(), buildings);
        EXPECT_EQ(view->isBuildingsDisabled(), !buildings);
    }
}

struct TapDelegate : VMMapViewDelegate {
    std::vector<std::vector<std::string>> touched;
    int taps = 0;
    void mapViewDidTouchPois(VMMapView&,
                             const std::vector<std::shared_ptr<VMTouchPoi>>& pois) override {
        touched.emplace_back();
        for (const auto& poi : pois) touched.back().push_back(poi->name().value_or(""));
    }
    void mapViewDidSingleTappedAtCoordinate(VMMapView&, CLLocationCoordinate2D) override { ++taps; }
};

// A single tap names the points of interest under it while touching them is on.
TEST_F(EngineEventsTest, TouchedPointsOfInterest) {
    put(0, testsupport::GridFeatureBytes()
               .point(kWestX, kPairY, u"天安门", true)
               .point(kWestX, kPairY + (1 << 22), {u'a', 0xD800, u'b'}, true)
               .bytes());
    frame();
    const double scale = UIScreen::mainScreen()->scale();
    ASSERT_EQ(scale, 2);
    const auto [x, y] = screenOf(kWestX, kPairY);
    const CGPoint at{x / scale, y / scale};

    const auto pois = view->takePoisAtPoint(at);
    ASSERT_EQ(pois.size(), 1u);
    EXPECT_EQ(pois[0]->name(), "天安门");
    const CLLocationCoordinate2D expected = coordinateForMapPoint({double(kWestX), double(kPairY)});
    EXPECT_TRUE(coordinateNear(pois[0]->coordinate(), expected, 1e-6));

    const auto [bx, by] = screenOf(kWestX, kPairY + (1 << 22));
    const auto broken = view->takePoisAtPoint({bx / scale, by / scale});
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0]->name(), "a\uFFFDb");

    // 30 points are 60 engine pixels, beyond the 40-pixel radius.
    EXPECT_TRUE(view->takePoisAtPoint({at.x + 30, at.y}).empty());

    const size_t before = mapEngineCalls(engine()).size();
    EXPECT_TRUE(view->selectPoisAtEnginePoint({x, y}, 0.5).empty());
    for (const CGPoint bad : {CGPoint{NAN, 0}, CGPoint{0, INFINITY}, CGPoint{3e9, 0}}) {
        EXPECT_TRUE(view->selectPoisAtEnginePoint(bad, 40).empty());
    }
    EXPECT_TRUE(view->selectPoisAtEnginePoint({x, y}, NAN).empty());
    EXPECT_TRUE(view->selectPoisAtEnginePoint({x, y}, 1e12).empty());
    EXPECT_EQ(mapEngineCalls(engine()).size(), before) << "the engine was not asked";

    view->setTouchPOIEnabled(true);
    view->setTouchPOIEnabled(false);
    EXPECT_FALSE(view->touchPOIEnabled());
    const auto calls = callsSince(before);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "mapEngineSelectPois");
    EXPECT_EQ(calls[0].values, (std::vector<int64_t>{0, 0, 1}));

    view->setTouchPOIEnabled(true);
    HeadlessHost host;
    host.window()->addSubview(view);
    const auto log = std::make_shared<TapDelegate>();
    view->setDelegate(log);
    const auto tap = [&](CGPoint p) {
        host.touchDown(0, p);
        advance(0.05);
        host.touchUp(0, p);
        advance(0.5);  // past the double tap's window
    };
    tap(at);
    tap({at.x + 60, at.y});
    ASSERT_EQ(log->touched.size(), 2u);
    EXPECT_EQ(log->touched[0], std::vector<std::string>{"天安门"});
    EXPECT_TRUE(log->touched[1].empty());
    view->setTouchPOIEnabled(false);
    tap(at);
    EXPECT_EQ(log->touched.size(), 2u) << "touching points of interest is off";
    EXPECT_EQ(log->taps, 3);
}

struct LoadingDelegate : VMMapViewDelegate {
    std::atomic<int> starts{0};
    std::vector<uint32_t> finished;
    std::vector<NSError> failures;
    std::thread::id thread;
    void mapViewWillStartLoadingMap(VMMapView&) override {
        thread = std::this_thread::get_id();
        ++starts;
    }
    void mapViewDidFinishLoadingMap(VMMapView&, uint32_t size) override {
        finished.push_back(size);
    }
    void mapViewDidFailLoadingMap(VMMapView&, const NSError& error) override {
        failures.push_back(error);
    }
};

TEST_F(EngineEventsTest, LoadingReportsReachTheDelegateOnTheMainQueue) {
    // The view's own first requests, to the unset map server, end and are reported to no
    // delegate before the test counts: a late engine worker would otherwise add its starts.
    ASSERT_TRUE(mapEngineWaitForRequests(engine(), Clock::now() + std::chrono::seconds(20)));
    VAvaCoreDataProvider::sharedInstance()->imageDownloader()->cancelAllDownloadAndWait();
    frames(1);

    auto delegate = std::make_shared<LoadingDelegate>();
    view->setDelegate(delegate);
    const auto fromWorker = [&](auto report) {
        std::thread worker([&] { report(*view); });
        worker.join();
    };

    fromWorker([](VMMapView& v) {
        v.willStartLoading();
        v.didFinishLoadingWithDataSize(1234);
        v.didFailLoadingWithError(NSError::make("NSURLErrorDomain", 404, "Not Found"));
    });
    EXPECT_EQ(delegate->starts, 0) << "not before the main queue runs";
    frames(1);
    EXPECT_EQ(delegate->starts, 1);
    EXPECT_EQ(delegate->thread, std::this_thread::get_id());
    EXPECT_EQ(delegate->finished, std::vector<uint32_t>{1234});
    ASSERT_EQ(delegate->failures.size(), 1u);
    EXPECT_EQ(delegate->failures[0].code, 404);

    // The reporting thread reads the delegate while the main thread replaces it.
    std::thread reporter([&] {
        for (int i = 0; i < 50; ++i) view->willStartLoading();
    });
    for (int i = 0; i < 50; ++i) view->setDelegate(i % 2 == 0 ? delegate : nullptr);
    reporter.join();
    frames(1);
    EXPECT_EQ(delegate->thread, std::this_thread::get_id());

    const int heard = delegate->starts;
    view->setDelegate(delegate);
    fromWorker([](VMMapView& v) { v.willStartLoading(); });
    view->setDelegate({});
    frames(1);
    EXPECT_EQ(delegate->starts, heard) << "a cleared delegate hears nothing";

    view->setDelegate(delegate);
    fromWorker([](VMMapView& v) { v.willStartLoading(); });
    view.reset();
    frames(1);
    EXPECT_EQ(delegate->starts, heard) << "a released view reports nothing";
}

}  // namespace
