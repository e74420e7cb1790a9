#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <map>
#include <set>
#include <thread>

#include "ChildProcess.h"
#include "Foundation/NSURL.h"
#include "HostileReplies.h"
#include "LoopbackListener.h"
#include "MapDataServerFixture.h"
#include "TestHTTPServer.h"
#include "VMDataDownloader.h"

namespace {

// The errors each operation's block was called with, by operation number.
struct Results {
    std::mutex mutex;
    std::map<int, std::vector<NSErrorOpt>> errors;

    VMDataDownloadOperation::ResultBlock block(int n) {
        return [this, n](const std::optional<NSData>&, const NSErrorOpt& error) {
            std::lock_guard lock(mutex);
            errors[n].push_back(error);
        };
    }
    std::size_t calls(int n) {
        std::lock_guard lock(mutex);
        return errors[n].size();
    }
    NSErrorOpt error(int n) {
        std::lock_guard lock(mutex);
        return errors[n].empty() ? std::nullopt : errors[n].front();
    }
    bool waitFor(int n) {
        return testsupport::waitUntil([&] { return calls(n) > 0; });
    }
};

class DataDownloaderTest : public MapDataServerTest {
  protected:
    // A download still running calls its block on a queue thread: none may outlive the results.
    ~DataDownloaderTest() override { downloader->cancelAllDownloadAndWait(); }

    std::string url(int n) {
        // Quadkeys in base 4 keep every request's URL its own.
        std::string key;
        for (int v = n + 1; v > 0; v /= 4) key.insert(key.begin(), static_cast<char>('0' + v % 4));
        return base + "ws/mps/vmap?mapdataver=5&type=20&cp=1&mesh=" + key;
    }
    std::string target(int n) { return url(n).substr(base.size() - 1); }

    std::shared_ptr<VMDataDownloader> downloader = VMDataDownloader::create();
    Results results;
};

TEST_F(DataDownloaderTest, RefusedAndEmptyAnswersReachTheBlockAsErrors) {
    struct Case {
        int status;
        std::string body;
        std::string description;
    };
    const std::vector<Case> cases = {
        {404, "missing", "Invalid response :404"},
        {500, "", "Invalid response :500"},
        {200, "", "Downloaded data has 0 pixels"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        mapData().setScriptedAnswer(devserver::ScriptedMapDataAnswer{c.status, c.body});
        downloader->downloadWithURL(url(n), results.block(n));
        ASSERT_TRUE(results.waitFor(n));
        const auto error = results.error(n);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, NSURLErrorDomain);
        EXPECT_EQ(error->code, -1);
        EXPECT_EQ(error->localizedDescription, c.description);
        ++n;
    }
    mapData().setScriptedAnswer(std::nullopt);
    downloader->downloadWithURL(base + "ws/mps/vmap?mapdataver=4&type=20&cp=1&mesh=0",
                                results.block(n));
    ASSERT_TRUE(results.waitFor(n));
    EXPECT_EQ(results.error(n)->localizedDescription, "Invalid response :400");
}

TEST_F(DataDownloaderTest, TheOldestWaitingAreDroppedAndTheNewestRunsNext) {
    mapData().setHoldAnswers(true);
    downloader->downloadWithURL(url(0), results.block(0));
    downloader->downloadWithURL(url(1), results.block(1));
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    for (int n = 2; n < 132; ++n) downloader->downloadWithURL(url(n), results.block(n));
    // The two oldest waiting were told once, at once; the rest still wait.
    for (const int dropped : {2, 3}) {
        ASSERT_TRUE(results.waitFor(dropped));
        EXPECT_EQ(results.calls(dropped), 1u);
        EXPECT_EQ(results.error(dropped)->code, -999);
        EXPECT_EQ(results.error(dropped)->localizedDescription, "Connection cancelled");
    }
    EXPECT_EQ(downloader->waitingCount(), 128u);
    EXPECT_EQ(results.calls(4), 0u);
    // Still holding, so the two freed slots stay on what they took: which requests reach the
    // server next depends only on what the downloader started, not on which connection of the
    // queue's threads happens to arrive first.
    mapData().releaseHeldAnswers();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return targets().size() == 4 && mapData().heldCount() == 2; }));
    const auto firstFour = targets();
    const std::set<std::string> nextTwo{firstFour[2], firstFour[3]};
    EXPECT_EQ(nextTwo, (std::set<std::string>{target(130), target(131)}));
    mapData().setHoldAnswers(false);
    for (int n = 4; n < 132; ++n) ASSERT_TRUE(results.waitFor(n)) << n;
    const auto seen = targets();
    EXPECT_EQ(seen.size(), 130u);
    for (int n = 0; n < 132; ++n) EXPECT_EQ(results.calls(n), 1u) << n;
}

TEST_F(DataDownloaderTest, CancellingARunningOperationTellsItsBlockOnce) {
    mapData().setHoldAnswers(true);
    auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(url(0)));
    const auto operation = VMDataDownloadOperation::create(request, results.block(0));
    downloader->downloadWithOperation(operation);
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 1; }));
    operation->cancel();
    operation->cancel();
    ASSERT_TRUE(results.waitFor(0));
    EXPECT_EQ(results.error(0)->code, -999);
    mapData().setHoldAnswers(false);
    // A later download finishing shows the cancelled one's answer has come and gone.
    downloader->downloadWithURL(url(1), results.block(1));
    ASSERT_TRUE(results.waitFor(1));
    EXPECT_TRUE(testsupport::waitUntil([&] { return operation->isFinished(); }));
    EXPECT_EQ(results.calls(0), 1u);
}

TEST_F(DataDownloaderTest, CancelRacingTheFinishCallsTheBlockOnce) {
    constexpr int kRounds = 40;
    std::vector<std::shared_ptr<VMDataDownloadOperation>> operations;
    for (int n = 0; n < kRounds; ++n) {
        auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(url(n)));
        operations.push_back(VMDataDownloadOperation::create(request, results.block(n)));
        downloader->downloadWithOperation(operations.back());
    }
    std::thread canceller([&] {
        for (const auto& operation : operations) {
            while (!operation->isExecuting() && !operation->isFinished()) std::this_thread::yield();
            operation->cancel();
        }
    });
    for (int n = 0; n < kRounds; ++n) ASSERT_TRUE(results.waitFor(n));
    canceller.join();
    for (int n = 0; n < kRounds; ++n) EXPECT_EQ(results.calls(n), 1u) << n;
}

// Downloads that one downloader runs, handed to a second, stay the first's: every block set on
// them runs once, the first runs new downloads once they end, and the second still runs no more
// than two at once.
TEST_F(DataDownloaderTest, DownloadsHandedToASecondDownloaderStayTheFirsts) {
    mapData().setHoldAnswers(true);
    std::atomic<int> completions{0};
    std::vector<std::shared_ptr<VMDataDownloadOperation>> running;
    for (int n = 0; n < VMDataDownloader::kMaxRunning; ++n) {
        running.push_back(VMDataDownloadOperation::create(
            VMDataDownloader::requestWithURL(NSURL::URLWithString(url(n))), results.block(n)));
        running.back()->setCompletionBlock([&completions] { ++completions; });
        downloader->downloadWithOperation(running.back());
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    const auto second = VMDataDownloader::create();
    for (const auto& operation : running) second->downloadWithOperation(operation);
    ASSERT_TRUE(testsupport::waitUntil([&] { return second->waitingCount() == 0; }));
    mapData().setHoldAnswers(false);
    mapData().releaseHeldAnswers();
    for (int n = 0; n < VMDataDownloader::kMaxRunning; ++n) ASSERT_TRUE(results.waitFor(n)) << n;

    downloader->downloadWithURL(url(2), results.block(2));
    EXPECT_TRUE(results.waitFor(2)) << "the first downloader runs nothing new";

    // With answers held, two of five run and three wait.
    mapData().setHoldAnswers(true);
    for (int n = 3; n < 8; ++n) second->downloadWithURL(url(n), results.block(n));
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    EXPECT_EQ(second->waitingCount(), 3u);
    mapData().setHoldAnswers(false);
    mapData().releaseHeldAnswers();
    for (int n = 3; n < 8; ++n) ASSERT_TRUE(results.waitFor(n)) << n;
    second->cancelAllDownloadAndWait();
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(results.calls(n), 1u) << n;
        EXPECT_FALSE(results.error(n)) << n;
    }
    EXPECT_TRUE(testsupport::waitUntil([&] { return completions.load() == 2; }))
        << completions.load();
}

TEST_F(DataDownloaderTest, CancelAllTellsTheRunningAndTheWaiting) {
    mapData().setHoldAnswers(true);
    for (int n = 0; n < 5; ++n) downloader->downloadWithURL(url(n), results.block(n));
    ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == 2; }));
    downloader->cancelAllDownload();
    EXPECT_FALSE(downloader->startDownloading());
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(results.waitFor(n));
        EXPECT_EQ(results.error(n)->code, -999) << n;
    }
    mapData().setHoldAnswers(false);
    for (int n = 0; n < 5; ++n) EXPECT_EQ(results.calls(n), 1u) << n;
}

TEST_F(DataDownloaderTest, AStoppedDownloaderFetchesNothingUntilStartedAgain) {
    mapData().setHoldAnswers(true);
    for (std::size_t n = 0; n < 2; ++n) {
        downloader->downloadWithURL(url(int(n)), results.block(int(n)));
        ASSERT_TRUE(testsupport::waitUntil([&] { return mapData().heldCount() == n + 1; }));
    }
    downloader->downloadWithURL(url(2), results.block(2));
    downloader->setStartDownloading(false);
    mapData().setHoldAnswers(false);
    mapData().releaseHeldAnswers();
    ASSERT_TRUE(results.waitFor(0));
    ASSERT_TRUE(results.waitFor(1));
    EXPECT_FALSE(downloader->fetchDownloadOperation());
    EXPECT_EQ(downloader->waitingCount(), 1u);
    EXPECT_EQ(results.calls(2), 0u);
    downloader->setStartDownloading(true);
    ASSERT_TRUE(results.waitFor(2));
    EXPECT_FALSE(results.error(2));
    EXPECT_EQ(downloader->waitingCount(), 0u);
}

TEST_F(DataDownloaderTest, HugeAnnouncedLengthReservesLittleAndEndsInAnError) {
    // A 200 that announces a terabyte, sends a little and closes.
    testsupport::TestHTTPServer liar;
    liar.server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1000000000000, "application/octet-stream",
                                 [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write(std::string(64, 'x').data(), 64);
                                     return false;
                                 });
    });
    downloader->downloadWithURL(liar.url("/x"), results.block(0));
    ASSERT_TRUE(results.waitFor(0));
    ASSERT_TRUE(results.error(0));
    EXPECT_EQ(results.error(0)->domain, NSURLErrorDomain);
}

// An answer past the longest the kit takes fails as a request does, whether it never ends or a
// small gzip body inflates: an endless one once took the kit past 2.5 GB in seconds.
TEST_F(DataDownloaderTest, AnswersPastTheLongestFailInsteadOfFillingMemory) {
    static_assert(VMDataDownloader::kMaxAnswerLength < testsupport::kHostileCap / 2);
    const testsupport::HostileServer hostile('\0', {}, "application/octet-stream");
    int n = 0;
    for (const auto& url : {hostile.endlessURL(), hostile.bombURL()}) {
        SCOPED_TRACE(url);
        downloader->downloadWithURL(url, results.block(n));
        ASSERT_TRUE(results.waitFor(n));
        ASSERT_TRUE(results.error(n));
        EXPECT_EQ(results.error(n)->code, NSURLErrorDataLengthExceedsMaximum)
            << results.error(n)->localizedDescription;
        ++n;
    }
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

// A cancel that comes as a queue thread starts the operation tells its block, whichever of the
// two takes the operation first: a third thread reading the bytes holds it while both come.
TEST(DataDownloadOperationTest, CancelRacingTheStartTellsTheBlockOnce) {
    constexpr int kRounds = 100;
    testsupport::LoopbackListener gone;
    const auto url = NSURL::URLWithString("http://" + gone.hostName() + "/");
    gone.close();
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> told = 0;
        const auto operation = VMDataDownloadOperation::create(
            VMDataDownloader::requestWithURL(url), [&](const auto&, const auto&) { ++told; });
        operation->setData(NSData(std::size_t{1} << 20));
        std::atomic<int> ready = 0;
        const auto begin = [&] {
            ++ready;
            while (ready < 3) {
            }
        };
        std::thread reader([&] {
            begin();
            (void)operation->data();
        });
        std::thread starter([&] {
            NSRunLoop::currentRunLoop();
            begin();
            operation->start();
        });
        begin();
        operation->cancel();
        reader.join();
        starter.join();
        ASSERT_EQ(told, 1) << "round " << round;
        EXPECT_TRUE(operation->isFinished());
    }
}

// A map going away while its answer is handed on drops the downloader on the queue thread that
// runs the answer's block: the download still ends there, after the downloader has gone.
TEST(DataDownloaderCancelTest, TheLastOwnerMayBeADownloadsBlock) {
    testsupport::LoopbackListener gone;
    const std::string url = "http://" + gone.hostName() + "/";
    gone.close();
    auto downloader = VMDataDownloader::create();
    const std::weak_ptr<VMDataDownloader> watch = downloader;
    auto operation =
        VMDataDownloadOperation::create(VMDataDownloader::requestWithURL(NSURL::URLWithString(url)),
                                        [owner = downloader](const auto&, const auto&) {});
    const std::weak_ptr<VMDataDownloadOperation> watchOperation = operation;
    downloader->downloadWithOperation(operation);
    operation.reset();
    downloader.reset();
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return watch.expired() && watchOperation.expired(); }));
}

// One thread cancels everything while another queues downloads to a port nobody listens on. Run
// alone in a child process: a round that never ends fails the test that starts it instead of
// hanging the suite.
TEST(DataDownloaderCancelTest, DISABLED_CancellingWhileAnotherThreadQueues) {
    constexpr int kRounds = 20;
    constexpr int kSteps = 1000;
    testsupport::LoopbackListener gone;
    const std::string url = "http://" + gone.hostName() + "/";
    gone.close();
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> told = 0;
        {
            const auto downloader = VMDataDownloader::create();
            std::atomic<bool> go = false;
            std::thread queuer([&] {
                while (!go) std::this_thread::yield();
                for (int i = 0; i < kSteps; ++i)
                    downloader->downloadWithURL(url, [&](const auto&, const auto&) { ++told; });
            });
            go = true;
            for (int i = 0; i < kSteps; ++i) downloader->cancelAllDownload();
            queuer.join();
            downloader->cancelAllDownloadAndWait();
        }
        // Dropped, cancelled or refused by the closed port: each was told once.
        ASSERT_EQ(told, kSteps) << "round " << round;
        std::cout << "round " << round << " ended" << std::endl;
    }
}

TEST(DataDownloaderCancelTest, CancellingWhileAnotherThreadQueuesAlwaysReturns) {
    EXPECT_TRUE(testsupport::passesInFreshProcess(
        "DataDownloaderCancelTest.DISABLED_CancellingWhileAnotherThreadQueues",
        testsupport::kPatience));
}

// Two answers that trickled held both slots for as long as their server kept sending: no other
// grid was asked for, and the map stopped loading.
TEST_F(DataDownloaderTest, SlowAnswersEndAtTheirTimeOutAndLaterGridsStillGo) {
    const testsupport::HostileServer drip('\0', {}, "application/octet-stream");
    constexpr double kTimeout = 0.6;
    for (int n = 0; n < VMDataDownloader::kMaxRunning; ++n) {
        const auto slow = NSURL::URLWithString(drip.dripURL("/" + std::to_string(n)));
        downloader->downloadWithOperation(VMDataDownloadOperation::create(
            VMDataDownloader::requestWithURL(slow, kTimeout), results.block(n)));
    }
    constexpr int kLater = 4;
    for (int n = 2; n < 2 + kLater; ++n) downloader->downloadWithURL(url(n), results.block(n));
    EXPECT_TRUE(testsupport::waitUntil([&] { return targets().size() == kLater; }, kTimeout + 2))
        << targets().size() << " of the later grids asked for";
    for (int n = 0; n < VMDataDownloader::kMaxRunning; ++n) {
        ASSERT_TRUE(results.waitFor(n));
        ASSERT_TRUE(results.error(n));
        EXPECT_EQ(results.error(n)->code, NSURLErrorTimedOut);
    }
}

}  // namespace
