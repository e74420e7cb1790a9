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
    op->cancel();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(code, -999);
    op->setResultBlock([&](const auto&, const auto&) { ++late; });
    EXPECT_FALSE(op->resultBlock());
    op->cancel();
    EXPECT_EQ(late, 0);
}

}  // namespace
