#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "ManualClock.h"
#include "MapDataBytes.h"
#include "MapDataServerFixture.h"
#include "VAvaCoreDataProvider.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

// What the provider reported, with the thread of each report.
class RecordingBridge : public VMCallbackBridge {
  public:
    struct Event {
        std::string what;
        std::uint64_t size = 0;
        long code = 0;
        std::thread::id thread = std::this_thread::get_id();
    };
    void triggerWillStartLoading() override { add({"start"}); }
    void triggerFinishLoadingWithDataSize(std::uint64_t bytes) override { add({"finish", bytes}); }
    void triggerFailLoadingWithError(const NSError& error) override {
        add({"fail", 0, error.code});
    }
    std::vector<Event> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::size_t count(const std::string& what) {
        std::size_t n = 0;
        for (const auto& e : events()) n += e.what == what ? 1 : 0;
        return n;
    }
    // Waits until as many requests ended as started.
    bool waitForEnds(std::size_t n) {
        return testsupport::waitUntil([&] { return count("finish") + count("fail") >= n; });
    }

  private:
    void add(Event e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    std::mutex mutex_;
    std::vector<Event> events_;
};

std::vector<char> packed(const std::vector<std::string>& names) {
    std::vector<char> slots(names.size() * kGridNameSlotSize, '\0');
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::memcpy(&slots[i * kGridNameSlotSize], names[i].data(), names[i].size());
    }
    return slots;
}

class DataProviderTest : public MapDataServerTest {
  protected:
    void SetUp() override {
        MapDataServerTest::SetUp();
        engine = newEngine();
        provider->setMapEngine(engine);
        provider->setBaseServer(base);
    }
    void TearDown() override {
        provider->setMapEngine(nullptr);
        mapEngineDestroy(engine);
        MapDataServerTest::TearDown();
    }

    void require(MapDataType type, const std::vector<std::string>& names, int count = -1) {
        const auto slots = packed(names);
        provider->requireMapDataWithDataSource(
            type, slots.data(), count < 0 ? static_cast<int>(names.size()) : count, bridge);
    }
    auto stored(MapDataType type, const std::string& name) {
        return storedGrid(engine, type, name);
    }
    // A request's grids are let go before its end is reported: asked for again in answer to
    // the report, they are not dropped.
    bool released(const std::string& name, MapDataType type) {
        return !provider->isGridProcessingWithName(name, type);
    }

    MapEngine* engine = nullptr;
    std::shared_ptr<VAvaCoreDataProvider> provider = VAvaCoreDataProvider::create();
    std::shared_ptr<RecordingBridge> bridge = std::make_shared<RecordingBridge>();
};

TEST_F(DataProviderTest, AsksOneURLPerCallWithTheKitsHeadersAndPutsTheServersBytes) {
    const std::vector<std::pair<MapDataType, std::string>> forms = {
        {0, "/ws/mps/vmap?mapdataver=5&type=20&cp=1&mesh=1320;1321"},
        {1, "/ws/mps/vmap?mapdataver=5&type=11&cp=1&mesh=1320;1321"},
        {3, "/ws/mps/smap?mapdataver=5&cp=1&mesh=1320;1321"},
        {4, "/ws/mps/rtt?mapdataver=5&v=6.0.0&bver=2&mesh=1320;1321"},
        {7, "/ws/mps/vmap?mapdataver=5&type=1&cp=1&mesh=1320;1321"},
        {8, "/ws/mps/vmap?mapdataver=5&type=13&cp=1&mesh=1320;1321"},
        {9, "/ws/mps/vmap?mapdataver=5&type=40&cp=1&mesh=1320;1321"},
    };
    std::size_t asked = 0;
    for (const auto& [type, target] : forms) {
        SCOPED_TRACE(type);
        // Nothing is sent for these; the good request after them is the only one to arrive.
        for (const MapDataType none : {2, 5, 6, 10}) require(none, {"1320"});
        require(type, {"1320"}, 0);
        require(type, std::vector<std::string>(170, "1320"));
        require(type, {"1320", "", "1321"});
        ++asked;
        ASSERT_TRUE(bridge->waitForEnds(asked));
        const auto requests = mapData().requests();
        ASSERT_EQ(requests.size(), asked);
        EXPECT_EQ(requests.back().target, target);
        EXPECT_EQ(requests.back().headers.count("User-Agent"), 1u);
        EXPECT_EQ(requests.back().headers.find("User-Agent")->second, "VAVA_SDK_iOS_3DMap_3.1.0");
        EXPECT_EQ(requests.back().headers.find("logversion")->second, "2.0");
        for (const std::string name : {"1320", "1321"}) {
            const auto data = stored(type, name);
            ASSERT_TRUE(data) << name;
            const auto expected = devserver::MapDataEndpoints::gridData(type, name);
            EXPECT_EQ(testbytes::text(*data), expected) << name;
        }
    }
    EXPECT_EQ(bridge->count("start"), asked);
    EXPECT_EQ(bridge->count("fail"), 0u);
    for (const auto& e : bridge->events()) {
        if (e.what == "finish") {
            EXPECT_NE(e.thread, std::this_thread::get_id());
        }
    }
}

TEST_F(DataProviderTest, HeldGridIsNotAskedAgainUntilItsAnswerOrFailure) {
    mapData().setHoldAnswers(true);
    require(0, {"1320"});
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 1; }));
    require(0, {"1320", "1321"});
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    require(0, {"1320"});
    require(0, {"1321"});
    EXPECT_EQ(bridge->count("start"), 2u);
    EXPECT_EQ(targets().back(), "/ws/mps/vmap?mapdataver=5&type=20&cp=1&mesh=1321");
    // Another type is another grid.
    require(1, {"1320"});
    EXPECT_EQ(bridge->count("start"), 3u);
    mapData().setHoldAnswers(false);
    ASSERT_TRUE(bridge->waitForEnds(3));
    ASSERT_TRUE(released("1320", 0));
    require(0, {"1320"});
    EXPECT_EQ(bridge->count("start"), 4u);
    ASSERT_TRUE(bridge->waitForEnds(4));

    mapData().setScriptedAnswer(devserver::ScriptedMapDataAnswer{404, "gone"});
    require(7, {"1320"});
    ASSERT_TRUE(bridge->waitForEnds(5));
    EXPECT_EQ(bridge->events().back().what, "fail");
    EXPECT_TRUE(released("1320", 7));
}

TEST_F(DataProviderTest, GridsOfADroppedRequestAreReleased) {
    mapData().setHoldAnswers(true);
    require(0, {"0"});
    require(0, {"1"});
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    // 129 waiting: the first of them is dropped and its grid may be asked for again.
    const auto name = [](int n) {
        std::string key = "2";
        for (int shift = 6; shift >= 0; shift -= 2)
            key += static_cast<char>('0' + (n >> shift & 3));
        return key;
    };
    for (int n = 0; n < 129; ++n) require(0, {name(n)});
    ASSERT_TRUE(testsupport::waitUntil([&] { return bridge->count("fail") == 1; }));
    for (const auto& e : bridge->events()) {
        if (e.what == "fail") {
            EXPECT_EQ(e.code, -999);
        }
    }
    EXPECT_TRUE(released(name(0), 0));
    EXPECT_TRUE(provider->isGridProcessingWithName(name(1), 0));
    mapData().setHoldAnswers(false);
    ASSERT_TRUE(bridge->waitForEnds(131));
}

TEST_F(DataProviderTest, AnswersWithoutUsableRecordsPutNothingAndStillFinish) {
    const auto good = testbytes::body("1320", "data");
    struct Case {
        const char* what;
        testbytes::Bytes answer;
    };
    const std::vector<Case> cases = {
        {"status only", testbytes::answer(0, {})},
        {"non-zero status", testbytes::answer(7, {testbytes::record(good)})},
        {"length past the end",
         testbytes::cat(testbytes::answer(0, {}), testbytes::header(1000), good)},
        {"negative length", testbytes::cat(testbytes::answer(0, {}), testbytes::header(-8), good)},
        {"name past the body", testbytes::answer(0, {testbytes::record({0, 0, 0, 0, 200, '1'})})},
    };
    std::size_t n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        mapData().setScriptedAnswer(
            devserver::ScriptedMapDataAnswer{200, testbytes::text(c.answer)});
        require(0, {"1320"});
        ASSERT_TRUE(bridge->waitForEnds(++n));
        EXPECT_EQ(bridge->events().back().what, "finish");
        EXPECT_EQ(bridge->events().back().size, c.answer.size());
        EXPECT_FALSE(stored(0, "1320"));
        EXPECT_TRUE(released("1320", 0));
    }
}

TEST_F(DataProviderTest, NothingReachesAnEngineThatWasReplacedWhileItsAnswerWasHeld) {
    mapData().setHoldAnswers(true);
    require(0, {"1320"});
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 1; }));
    // A reload: the provider lets go of the engine before it is destroyed.
    provider->setMapEngine(nullptr);
    mapEngineDestroy(engine);
    engine = newEngine();
    mapData().setHoldAnswers(false);
    ASSERT_TRUE(bridge->waitForEnds(1));
    EXPECT_FALSE(stored(0, "1320"));

    // An engine that is no longer the current one gets nothing either.
    provider->setMapEngine(engine);
    MapEngine* newer = newEngine();
    require(0, {"1321"});
    ASSERT_TRUE(bridge->waitForEnds(2));
    EXPECT_FALSE(stored(0, "1321"));
    mapEngineDestroy(newer);
}

TEST_F(DataProviderTest, EntityTagsArePercentEncodedInTheMeshList) {
    std::vector<VAGLMapSourceGridData> items = {
        {"0123", 4, std::string("Ab-9._~")}, {"0", 4, std::string("a b;c&d%")}, {"1", 4, {}}};
    EXPECT_EQ(VAvaCoreDataProvider::joinGridStringWithGridList(items, 4, ";"),
              "0123-Ab-9._~;0-a%20b%3Bc%26d%25;1");
    EXPECT_EQ(VAvaCoreDataProvider::joinGridStringWithGridList(items, 0, ";"), "0123;0;1");
}

class TrafficProviderTest : public DataProviderTest {
  protected:
    testsupport::ManualClock clock;
};

TEST_F(TrafficProviderTest, FreshGridsComeFromTheCacheAndStaleOnesAreAskedWithTheirTag) {
    mapData().setWallClock([] { return std::int64_t{1200}; });
    const std::string tag = mapData().currentTrafficTag();
    require(4, {"0123"});
    ASSERT_TRUE(bridge->waitForEnds(1));
    const auto first = stored(4, "0123");
    ASSERT_TRUE(first);
    EXPECT_EQ(testbytes::text(*first), devserver::MapDataEndpoints::gridData(4, "0123"));

    require(4, {"0123"});
    EXPECT_EQ(bridge->count("start"), 1u);
    EXPECT_EQ(mapData().requests().size(), 1u);

    clock.advance(301);
    // The same tag back, with a later stamp and no data: the engine gets the old data again.
    mapData().setScriptedAnswer(devserver::ScriptedMapDataAnswer{
        200, testbytes::text(testbytes::answer(
                 0, {testbytes::record(testbytes::trafficBody("0123", tag, 1500, ""))}))});
    ASSERT_TRUE(released("0123", 4));
    require(4, {"0123"});
    ASSERT_TRUE(bridge->waitForEnds(2));
    EXPECT_EQ(mapData().requests().back().target,
              "/ws/mps/rtt?mapdataver=5&v=6.0.0&bver=2&mesh=0123-" + tag);
    const auto again = stored(4, "0123");
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *first);
}

}  // namespace
