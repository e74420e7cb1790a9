#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Deadline.h"
#include "Foundation/NSURL.h"
#include "MapDataBytes.h"
#include "UIKit/UIDevice.h"
#include "VAGLMapVTMCDataCache.h"
#include "VAGetMapDataOperation.h"
#include "VMDataDownloadOperation.h"

namespace {

TEST(LegacyOperationTest, RunRequestsTurnsItsThreadsLoopUntilStopped) {
    std::atomic<NSRunLoop*> loop{nullptr};
    std::atomic<bool> ran{false};
    std::thread carrier([&] {
        loop = NSRunLoop::currentRunLoop().get();
        VAGetMapDataOperation::runRequests();
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return loop.load() != nullptr; }));
    loop.load()->performBlock([&] { ran = true; });
    EXPECT_TRUE(testsupport::waitUntil([&] { return ran.load(); }));
    loop.load()->stop();
    carrier.join();
    EXPECT_EQ(VAGetMapDataOperation::isMultitaskingSupported(),
              UIDevice::currentDevice()->isMultitaskingSupported());
}

TEST(DownloadOperationTest, TheResultBlockCanBeReplacedUntilTheLoadEnds) {
    int first = 0, second = 0, late = 0;
    long code = 0;
    const auto op = VMDataDownloadOperation::create(
        NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:1/")),
        [&](const auto&, const auto&) { ++first; });
    EXPECT_EQ(op->connection(), nullptr);
    EXPECT_TRUE(op->data().empty());
    ASSERT_TRUE(op->resultBlock());
    op->setResultBlock([&](const auto& data, const auto& error) {
        ++second;
        EXPECT_FALSE(data.has_value());
        if (error) code = error->code;
    });
    // The cancel's invokeResultBlockWithData hands the result to the block set last, once.
    op->cancel();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(code, -999);
    op->setResultBlock([&](const auto&, const auto&) { ++late; });
    EXPECT_FALSE(op->resultBlock());
    op->cancel();
    EXPECT_EQ(late, 0);
}

TEST(DownloadOperationTest, FieldsAreSetUntilTheLoadEnds) {
    const auto first = NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:1/a"));
    const auto second = NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:1/b"));
    NSErrorOpt got;
    const auto op = VMDataDownloadOperation::create(
        first, [&](const auto&, const auto& error) { got = error; });
    op->setRequest(second);
    EXPECT_EQ(op->request(), second);
    op->setExpectedSize(42);
    EXPECT_EQ(op->expectedSize(), 42u);
    op->setData({1, 2, 3});
    EXPECT_EQ(op->data(), (NSData{1, 2, 3}));
    // A connection set by hand is the one a cancel ends.
    const auto connection = NSURLConnection::create(first, {}, false);
    ASSERT_TRUE(connection);
    op->setConnection(connection);
    EXPECT_EQ(op->connection(), connection);
    op->cancel();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->code, -999);
    EXPECT_EQ(op->connection(), nullptr);
    EXPECT_TRUE(op->data().empty());
    op->setData({4});
    EXPECT_TRUE(op->data().empty());
}

}  // namespace

TEST(TrafficRecordTest, SettersAndTheGridRequest) {
    EXPECT_FALSE(VAGLMapSourceGridData::dataWithGridName("0123", 2).eTag.has_value());
    const auto record =
        VAGLMapVTMCData::dataWithGridName("a", testbytes::trafficBody("a", "T", 100, "x"));
    ASSERT_NE(record, nullptr);
    record->setGridName("b");
    record->setETag("U");
    EXPECT_EQ(record->gridName(), "b");
    EXPECT_EQ(record->eTag(), "U");
    // A payload cut short is refused and the record keeps what it had.
    const auto before = record->vtmcData();
    EXPECT_FALSE(record->setVtmcData(std::vector<std::uint8_t>{1, 2, 3, 4, 9}));
    EXPECT_EQ(record->vtmcData(), before);
    // A longer name moves the stamp; a later stamp lands where the new payload has it.
    ASSERT_TRUE(record->setVtmcData(testbytes::trafficBody("long-name", "V", 150, "y")));
    EXPECT_EQ(record->eTag(), "V");
    EXPECT_EQ(record->timeStamp(), 150);
    record->updateTimeStamp(170);
    EXPECT_EQ(testbytes::text(*record->vtmcData()),
              testbytes::text(testbytes::trafficBody("long-name", "V", 170, "y")));
}
