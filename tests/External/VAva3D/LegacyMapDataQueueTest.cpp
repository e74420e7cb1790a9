#include <gtest/gtest.h>

#include <atomic>

#include "Foundation/NSNotificationCenter.h"
#include "HostileReplies.h"
#include "MapDataBytes.h"
#include "MapDataServerFixture.h"
#include "VAGLMapVTMCDataCache.h"
#include "VAGetMapDataOperationQueue.h"
#include "VAGetMapDataStatusList.h"
#include "VAvaCoreDataProvider.h"
#include "vmap_core/MapEngineInternal.h"

namespace {

class LegacyMapDataQueueTest : public MapDataServerTest {
  protected:
    void TearDown() override {
        mapData().setHoldAnswers(false);
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return queue->operationCount() == 0 && !queue->runningOperation(); }));
        mapEngineDestroy(engine);
        MapDataServerTest::TearDown();
    }

    std::shared_ptr<VAGetMapDataOperation> operation(MapDataType type,
                                                     std::vector<std::string> names) {
        std::vector<VAGLMapSourceGridData> grids;
        for (auto& name : names) grids.push_back({std::move(name), type, std::nullopt});
        return VAGetMapDataOperation::create(std::move(grids), type, engine);
    }
    auto stored(MapDataType type, const std::string& name) {
        return storedGrid(engine, type, name);
    }
    bool idle() { return queue->operationCount() == 0 && !queue->runningOperation(); }

    MapEngine* engine = newEngine();
    const std::shared_ptr<VAGetMapDataOperationQueue> queue =
        VAGetMapDataOperationQueue::sharedQueue();
};

TEST_F(LegacyMapDataQueueTest, RunsByPriorityNewestFirstAndPutsStreamedRecords) {
    mapData().setHoldAnswers(true);
    queue->addOperation(operation(1, {"0"}));
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 1; }));
    const auto low = operation(7, {"1"});
    const auto top = operation(0, {"2"});
    const auto high = operation(3, {"3"});
    const auto lowNewer = operation(8, {"10"});
    for (const auto& op : {low, top, high, lowNewer}) queue->addOperation(op);
    EXPECT_EQ(queue->operations(),
              (std::vector<std::shared_ptr<VAGetMapDataOperation>>{top, high, lowNewer, low}));
    EXPECT_EQ(top->queuePriority(), 8);
    EXPECT_EQ(high->queuePriority(), 4);
    mapData().setHoldAnswers(false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return idle() && mapData().requests().size() == 5; }));
    EXPECT_EQ(targets(), (std::vector<std::string>{
                             "/ws/mps/vmap?mapdataver=5&type=11&cp=1&mesh=0",
                             "/ws/mps/vmap?mapdataver=5&type=20&cp=1&mesh=2",
                             "/ws/mps/smap?mapdataver=5&cp=1&mesh=3",
                             "/ws/mps/vmap?mapdataver=5&type=13&cp=1&mesh=10",
                             "/ws/mps/vmap?mapdataver=5&type=1&cp=1&mesh=1",
                         }));
    const auto data = stored(3, "3");
    ASSERT_TRUE(data);
    EXPECT_EQ(testbytes::text(*data), devserver::MapDataEndpoints::gridData(3, "3"));
    EXPECT_FALSE(VAGetMapDataStatusList::list()->isGridProcessingWithGridName("3", 3));
}

// Traffic records are kept by name before the engine sees them; one whose name is not UTF-8
// never gets there.
TEST_F(LegacyMapDataQueueTest, RecordsWithNamesThatAreNotUTF8AreDropped) {
    const std::string undecodable =
        "\xff\xfe"
        "1";
    mapData().setScriptedAnswer(devserver::ScriptedMapDataAnswer{
        200, testbytes::text(testbytes::answer(
                 0, {testbytes::record(testbytes::trafficBody(undecodable, "t", 5, "")),
                     testbytes::record(testbytes::trafficBody("0123", "t", 5, ""))}))});
    const auto cache = VAGLMapVTMCDataCache::cache();
    cache->reset();
    queue->addOperation(operation(VAvaCoreDataProvider::kTrafficDataType, {"0123"}));
    ASSERT_TRUE(testsupport::waitUntil([&] { return idle() && mapData().requests().size() == 1; }));
    EXPECT_TRUE(cache->dataRetainWithName("0123", true));
    EXPECT_FALSE(cache->dataRetainWithName(undecodable, true));
    mapData().setScriptedAnswer(std::nullopt);
    cache->reset();
}

TEST_F(LegacyMapDataQueueTest, TimeOutIsRetriedOnceAt90SecondsForTheSameGrids) {
    mapData().setHoldAnswers(true);
    const auto first = operation(0, {"1320", "1321"});
    // Long enough that a starved sanitizer run still gets the first request to the server
    // before it times out: a request that never arrived leaves the retry alone on the server.
    first->setTimeout(1.0);
    queue->addOperation(first);
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().requests().size() == 2; }));
    const auto retry = queue->runningOperation();
    ASSERT_TRUE(retry);
    EXPECT_NE(retry, first);
    EXPECT_EQ(retry->timeout(), 90.0);
    EXPECT_EQ(retry->server(), first->server());
    EXPECT_EQ(retry->queuePriority(), first->queuePriority());
    const auto seen = targets();
    EXPECT_EQ(seen[0], seen[1]);
    mapData().setHoldAnswers(false);
    ASSERT_TRUE(testsupport::waitUntil([&] { return idle(); }));
    EXPECT_TRUE(stored(0, "1321"));
    EXPECT_EQ(mapData().requests().size(), 2u);
}

TEST_F(LegacyMapDataQueueTest, RecordsForAReplacedEngineAreDropped) {
    const auto stale = operation(0, {"1320"});
    MapEngine* newer = newEngine();
    queue->addOperation(stale);
    ASSERT_TRUE(testsupport::waitUntil([&] { return idle() && mapData().requests().size() == 1; }));
    EXPECT_FALSE(stored(0, "1320"));
    EXPECT_FALSE(mapEngineStoredGridData(newer, 0, "1320"));
    EXPECT_FALSE(VAGetMapDataStatusList::list()->isGridProcessingWithGridName("1320", 0));
    mapEngineDestroy(newer);
}

// A record that says it is 2 GB long, followed by bytes that never end: the stream kept them all
// in the hope of the record's end.
TEST_F(LegacyMapDataQueueTest, AnswersPastTheLongestFailAndFreeTheirGrids) {
    constexpr std::size_t kCap = testsupport::kHostileCap;
    static_assert(VMDataDownloader::kMaxAnswerLength < kCap / 2);
    const testsupport::EndlessReply endless(
        kCap, 'g', {}, testbytes::text(testbytes::answer(0, {testbytes::header(0x7ffffff0)})));
    testsupport::TestHTTPServer hostile;
    hostile.server().Get("/ws/mps/vmap", [&](const httplib::Request&, httplib::Response& res) {
        endless.answer(res, "application/octet-stream");
    });
    std::atomic<int> errors{0};
    const auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        "NewDataOperation_Error", nullptr, [&](const NSNotification&) { ++errors; });
    const auto op = operation(0, {"1320"});
    op->setServer(hostile.url("/"));
    queue->addOperation(op);
    EXPECT_TRUE(testsupport::waitUntil([&] { return idle() && errors.load() == 1; }));
    NSNotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_LT(endless.sent(), kCap);
    EXPECT_FALSE(VAGetMapDataStatusList::list()->isGridProcessingWithGridName("1320", 0));
}

}  // namespace
