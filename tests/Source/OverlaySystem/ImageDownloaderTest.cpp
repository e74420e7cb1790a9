#include <gtest/gtest.h>
#include <httplib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "Deadline.h"
#include "HostileReplies.h"
#include "LoopbackListener.h"
#include "MapKitTestSupport.h"
#include "MapKitTileServer.h"
#include "TempDir.h"
#include "UIKit/UIImage.h"
#include "VMImageDownloader.h"
#include "VMTileOverlay.h"

using testsupport::waitUntil;

namespace {

// What each download's block got, in the order the blocks ran.
struct Results {
    struct Result {
        std::string name;
        std::optional<NSData> data;
        NSErrorOpt error;
    };
    std::mutex mutex;
    std::vector<Result> got;

    VMImageDownloadResult blockFor(std::string name) {
        return [this, name](std::optional<NSData> data, NSErrorOpt error) {
            std::lock_guard guard(mutex);
            got.push_back({name, std::move(data), std::move(error)});
        };
    }
    size_t size() {
        std::lock_guard guard(mutex);
        return got.size();
    }
    std::size_t calls(const std::string& name) {
        std::lock_guard guard(mutex);
        return std::ranges::count(got, name, &Result::name);
    }
    Result find(const std::string& name) {
        std::lock_guard guard(mutex);
        for (const auto& r : got)
            if (r.name == name) return r;
        return {};
    }
};

// CPU time, in clock ticks, that each thread of this process has used so far.
std::map<std::string, long> threadTicks() {
    std::map<std::string, long> ticks;
    for (const auto& thread : testsupport::processThreads()) ticks[thread.id] = thread.ticks;
    return ticks;
}

double ownCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// Downloads from the devserver's tiles: held ones wait at a named gate until the test releases
// it, and the server's log shows the order in which requests arrived.
class ImageDownloaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        server = testsupport::startTileServer(dir.path() / "devserver.sqlite", &error);
        ASSERT_NE(server, nullptr) << error;
    }
    // Lets every held request go before the downloads are joined.
    void TearDown() override {
        if (server) server->stop();
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(server->port()); }
    std::shared_ptr<NSURL> url(const std::string& path) {
        return NSURL::URLWithString(base() + path);
    }
    static std::string held(const std::string& gate) {
        return "/tiles/held/" + gate + "/1/0/1.png";
    }
    void release(const std::string& gate) {
        httplib::Client client("127.0.0.1", server->port());
        ASSERT_TRUE(client.Post(("/tiles/release/" + gate).c_str(), "", "text/plain"));
    }
    std::vector<std::string> arrived() { return testsupport::tileLog(*server); }

    testsupport::TempDir dir;
    std::unique_ptr<devserver::DevServer> server;
    Results results;
};

}  // namespace

TEST_F(ImageDownloaderTest, FourRunAtOnceAndTheNewestWaitingGoesNext) {
    const auto downloader = VMImageDownloader::create();
    for (const char* name : {"a", "b", "c", "d", "e"})
        downloader->downloadWithUrl(url(held(name)), results.blockFor(name));
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 4; }));
    EXPECT_EQ(downloader->stackArray().size(), 1u);
    downloader->downloadWithUrl(url(held("f")), results.blockFor("f"));
    EXPECT_EQ(downloader->stackArray().size(), 2u);
    EXPECT_EQ(arrived().size(), 4u);

    // One finishes: the newest waiting one ("f") takes its place, not "e".
    release("a");
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 5; }));
    EXPECT_EQ(arrived()[4], held("f"));
    EXPECT_EQ(downloader->stackArray().size(), 1u);
    for (const char* name : {"b", "c", "d", "e", "f"}) release(name);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 6; }));
    EXPECT_EQ(arrived()[5], held("e"));
    const auto e = results.find("e");
    ASSERT_TRUE(e.data);
    EXPECT_TRUE(UIImage::imageWithData(*e.data));
    EXPECT_FALSE(e.error);
}

// Downloads handed in again, while still in the queue or once finished, through either way in,
// take no second slot: a new download still runs.
TEST_F(ImageDownloaderTest, DownloadsHandedInTwiceKeepOneSlotEach) {
    struct Case {
        std::string gate;
        bool throughStack;
        bool finishedFirst;
    };
    const Case cases[] = {
        {"queued", false, false},
        {"finished", false, true},
        {"stackqueued", true, false},
        {"stackfinished", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gate);
        const auto downloader = VMImageDownloader::create();
        std::vector<std::shared_ptr<VMImageDownloaderOperation>> four;
        for (int i = 0; i < VMImageDownloader::kMaxConcurrentDownloads; ++i) {
            four.push_back(downloader->downloadWithUrl(
                url(held(c.gate)), results.blockFor(c.gate + std::to_string(i))));
        }
        ASSERT_TRUE(waitUntil([&] { return std::ranges::count(arrived(), held(c.gate)) == 4; }));
        const auto allFinished = [&] {
            return std::ranges::all_of(four, [](const auto& o) { return o->isFinished(); });
        };
        if (c.finishedFirst) {
            release(c.gate);
            ASSERT_TRUE(waitUntil(allFinished));
        }
        if (c.throughStack) {
            downloader->setStackArray(four);
        } else {
            for (const auto& operation : four) downloader->processOperation(operation);
        }
        release(c.gate);
        // Behind them, not ahead as the newest waiting one.
        ASSERT_TRUE(waitUntil([&] { return allFinished() && downloader->stackArray().empty(); }));
        downloader->downloadWithUrl(url("/tiles/0/0/0.png"), results.blockFor(c.gate + "new"));
        ASSERT_TRUE(waitUntil([&] { return !results.find(c.gate + "new").name.empty(); }));
        EXPECT_TRUE(results.find(c.gate + "new").data);
        EXPECT_EQ(std::ranges::count(arrived(), held(c.gate)), 4);
    }
}

// Downloads that one downloader holds in its queue, handed to a second through either way in,
// stay the first's: every block set on them runs once, and both downloaders run new downloads.
TEST_F(ImageDownloaderTest, DownloadsHandedToASecondDownloaderStayTheFirsts) {
    const struct {
        std::string gate;
        bool throughStack;
    } cases[] = {{"handed", false}, {"stacked", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gate);
        const auto first = VMImageDownloader::create();
        const auto second = VMImageDownloader::create();
        std::atomic<int> completions{0};
        std::vector<std::shared_ptr<VMImageDownloaderOperation>> four;
        for (int i = 0; i < VMImageDownloader::kMaxConcurrentDownloads; ++i) {
            four.push_back(VMImageDownloaderOperation::create(
                NSMutableURLRequest::requestWithURL(url(held(c.gate))),
                results.blockFor(c.gate + std::to_string(i))));
            four.back()->setCompletionBlock([&completions] { ++completions; });
            first->processOperation(four.back());
        }
        ASSERT_TRUE(waitUntil([&] { return std::ranges::count(arrived(), held(c.gate)) == 4; }));
        if (c.throughStack) {
            second->setStackArray(four);
        } else {
            for (const auto& operation : four) second->processOperation(operation);
        }
        ASSERT_TRUE(waitUntil([&] { return second->stackArray().empty(); }));
        release(c.gate);
        ASSERT_TRUE(waitUntil([&] {
            return std::ranges::all_of(four, [](const auto& o) { return o->isFinished(); });
        }));
        const std::string next[] = {c.gate + "first", c.gate + "second"};
        first->downloadWithUrl(url("/tiles/0/0/0.png"), results.blockFor(next[0]));
        second->downloadWithUrl(url("/tiles/1/0/1.png"), results.blockFor(next[1]));
        for (const auto& name : next) {
            EXPECT_TRUE(waitUntil([&] { return results.calls(name) == 1; })) << name;
            EXPECT_TRUE(results.find(name).data) << name;
        }
        for (int i = 0; i < VMImageDownloader::kMaxConcurrentDownloads; ++i) {
            const std::string name = c.gate + std::to_string(i);
            EXPECT_EQ(results.calls(name), 1u) << name;
            EXPECT_FALSE(results.find(name).error) << name;
        }
        EXPECT_TRUE(waitUntil([&] { return completions.load() == 4; })) << completions.load();
        EXPECT_EQ(std::ranges::count(arrived(), held(c.gate)), 4);
    }
}

TEST_F(ImageDownloaderTest, CancelEndsRunningDownloadsAndDropsWaitingOnes) {
    auto downloader = VMImageDownloader::create();
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        downloader->downloadWithUrl(url(held(name)), results.blockFor(name));
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 4; }));
    downloader->cancelDownload();
    EXPECT_TRUE(downloader->isCancelled());
    EXPECT_TRUE(downloader->stackArray().empty());
    ASSERT_TRUE(waitUntil([&] { return results.size() == 4; }));
    for (const char* name : {"a", "b", "c", "d"}) {
        const auto r = results.find(name);
        ASSERT_TRUE(r.error) << name;
        EXPECT_EQ(r.error->domain, "NSConnection");
        EXPECT_EQ(r.error->localizedDescription, "Connection cancle");
    }
    // Going away joins the feeder and the downloads; the waiting ones never called back.
    downloader.reset();
    EXPECT_EQ(results.size(), 4u);
    EXPECT_TRUE(results.find("e").name.empty());
    EXPECT_EQ(arrived().size(), 4u);
}

// A cancel races each way in to the queue: a download handed straight in while a slot is free,
// and one the feeder takes from the waiting stack, cancelled as soon as it has left the stack.
// Either way the download ends waiting unfed or cancelled, and none reports after the cancel
// returned. The downloads go to a listener that answers nothing until it closes at the end,
// failing any download left running.
TEST(ImageDownloaderCancelTest, NoDownloadReportsAfterTheCancelReturns) {
    constexpr int kRounds = 200;
    for (const bool fed : {false, true}) {
        SCOPED_TRACE(fed ? "fed from the stack" : "handed straight in");
        testsupport::LoopbackListener silent;
        const auto url = NSURL::URLWithString("http://" + silent.hostName() + "/1/0/1.png");
        std::atomic<int> late = 0;
        int escaped = -1;
        const auto downloader = VMImageDownloader::create();
        for (int round = 0; round < kRounds && escaped < 0; ++round) {
            const auto over = std::make_shared<std::atomic<bool>>(false);
            const auto download = VMImageDownloaderOperation::create(
                NSMutableURLRequest::requestWithURL(url), [over, &late](auto, auto) {
                    if (*over) ++late;
                });
            if (fed) {
                downloader->setIsCancelled(true);
                downloader->setStackArray({download});
                downloader->setIsCancelled(false);
                // Watched without a pause, to cancel the moment the feeder has taken it.
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!downloader->stackArray().empty())
                    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
                downloader->cancelDownload();
            } else {
                downloader->setIsCancelled(false);
                std::atomic<int> ready = 0;
                const auto begin = [&ready] {
                    ++ready;
                    while (ready < 2) std::this_thread::yield();
                };
                std::thread handIn([&] {
                    begin();
                    downloader->processOperation(download);
                });
                begin();
                downloader->cancelDownload();
                handIn.join();
            }
            *over = true;
            // Left waiting it is never fed; neither waiting nor cancelled, it got past the cancel.
            downloader->setStackArray({});
            if (!download->isCancelled()) escaped = round;
            if (escaped < 0) {
                ASSERT_TRUE(
                    waitUntil([&] { return downloader->downloadQueue()->operationCount() == 0; }));
            }
        }
        silent.close();
        ASSERT_TRUE(waitUntil([&] { return downloader->downloadQueue()->operationCount() == 0; }));
        EXPECT_EQ(late, 0) << "past the cancel in round " << escaped;
    }
}

// Two requesters, as two maps showing one overlay, share its downloader: dropping one cancels its
// own downloads, running or waiting, and leaves the other's to finish.
TEST_F(ImageDownloaderTest, DroppingATileRequesterCancelsOnlyItsOwnDownloads) {
    const auto overlay = VMTileOverlay::createWithURLTemplate(base() + held("shared"));
    auto first = std::make_unique<VMTileRequests>();
    const VMTileRequests second;
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        overlay->loadTileAtPath({i, 0, 2, 1}, first->track(results.blockFor("first" + n)));
        overlay->loadTileAtPath({i, 1, 2, 1}, second.track(results.blockFor("second" + n)));
    }
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 4; }));
    first.reset();
    // The first's two running downloads end cancelled and free their places: the second's
    // waiting one takes one, the first's waiting one never starts nor calls back.
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2 && arrived().size() == 5; }));
    for (const char* name : {"first0", "first1"}) {
        const auto r = results.find(name);
        ASSERT_TRUE(r.error) << name;
        EXPECT_EQ(r.error->localizedDescription, "Connection cancle");
    }
    release("shared");
    ASSERT_TRUE(waitUntil([&] { return results.size() == 5; }));
    for (const char* name : {"second0", "second1", "second2"}) {
        const auto r = results.find(name);
        ASSERT_TRUE(r.data) << name;
        EXPECT_FALSE(r.error) << name;
    }
    EXPECT_TRUE(results.find("first2").name.empty());

    // A block whose requester has gone starts no download.
    VMTileOverlay::ResultBlock orphan;
    {
        const VMTileRequests gone;
        orphan = gone.track(results.blockFor("orphan"));
    }
    overlay->loadTileAtPath({3, 3, 2, 1}, orphan);
    EXPECT_EQ(arrived().size(), 5u);
    EXPECT_EQ(results.size(), 5u);
}

TEST_F(ImageDownloaderTest, RepliesThatAreNotTilesGiveOneErrorEach) {
    const auto downloader = VMImageDownloader::create();
    downloader->downloadWithUrl(url("/tiles/1/2/0.png"), results.blockFor("missing"));
    downloader->downloadWithUrl(url("/tiles/empty"), results.blockFor("empty"));
    auto ranged = NSMutableURLRequest::requestWithURL(url("/tiles/0/0/0.png"));
    ranged->setValue("bytes=0-7", "Range");
    downloader->processOperation(
        VMImageDownloaderOperation::create(ranged, results.blockFor("partial")));
    ASSERT_TRUE(waitUntil([&] { return results.size() == 3; }));
    // Each block ran once, however long the test waits for more.
    ASSERT_TRUE(waitUntil([&] { return downloader->downloadQueue()->operationCount() == 0; }));
    EXPECT_EQ(results.size(), 3u);

    const auto missing = results.find("missing");
    EXPECT_FALSE(missing.data);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain, "NSResponse");
    EXPECT_EQ(missing.error->localizedDescription, "NSRespones error");

    const auto empty = results.find("empty");
    ASSERT_TRUE(empty.data);
    EXPECT_TRUE(empty.data->empty());
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->domain, "VMDownloaderOperationErrorDomain");
    EXPECT_EQ(empty.error->localizedDescription, "Downloaded image has 0 pixels");

    // 206 is accepted: the eight bytes asked for, which begin the PNG signature.
    const auto partial = results.find("partial");
    ASSERT_TRUE(partial.data);
    EXPECT_EQ(*partial.data, (NSData{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
    EXPECT_FALSE(partial.error);
}

// A tile past the longest the downloader takes fails, whether it never ends or a small gzip body
// inflates; it was read whole, however long.
TEST_F(ImageDownloaderTest, TilesPastTheLongestFailInsteadOfFillingMemory) {
    static_assert(VMImageDownloader::kMaxImageLength < testsupport::kHostileCap / 4);
    const testsupport::HostileServer hostile('p', {}, "image/png");
    const auto downloader = VMImageDownloader::create();
    const std::string urls[] = {hostile.endlessURL(".png"), hostile.bombURL(".png")};
    for (const auto& url : urls)
        downloader->downloadWithUrl(NSURL::URLWithString(url), results.blockFor(url));
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    for (const auto& url : urls) {
        const auto result = results.find(url);
        EXPECT_FALSE(result.data) << url;
        ASSERT_TRUE(result.error) << url;
        EXPECT_EQ(result.error->code, NSURLErrorDataLengthExceedsMaximum) << url;
    }
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

// Tiles that trickled held every slot for as long as their server kept sending: no other tile
// was asked for.
TEST_F(ImageDownloaderTest, SlowTilesEndAtTheirTimeOutAndLaterTilesStillGo) {
    const testsupport::HostileServer drip('p', {}, "image/png");
    constexpr double kTimeout = 0.6;
    const auto downloader = VMImageDownloader::create();
    for (int n = 0; n < VMImageDownloader::kMaxConcurrentDownloads; ++n) {
        const std::string name = "slow" + std::to_string(n);
        auto request =
            NSMutableURLRequest::requestWithURL(NSURL::URLWithString(drip.dripURL("/" + name)));
        request->setTimeoutInterval(kTimeout);
        downloader->processOperation(
            VMImageDownloaderOperation::create(request, results.blockFor(name)));
    }
    const std::vector<std::string> later = {"/tiles/0/0/0.png", "/tiles/1/0/1.png"};
    for (const auto& path : later) downloader->downloadWithUrl(url(path), results.blockFor(path));
    EXPECT_TRUE(waitUntil([&] { return arrived().size() == later.size(); }, kTimeout + 2))
        << arrived().size() << " of the later tiles asked for";
    ASSERT_TRUE(waitUntil([&] { return results.size() == 6; }));
    for (int n = 0; n < VMImageDownloader::kMaxConcurrentDownloads; ++n) {
        const auto result = results.find("slow" + std::to_string(n));
        ASSERT_TRUE(result.error) << n;
        EXPECT_EQ(result.error->code, NSURLErrorTimedOut) << n;
    }
}

// While a hundred downloads wait behind four held ones, no thread of the downloader uses CPU:
// over a stretch in which the test's own thread works for 0.3 s of CPU time, each uses next to
// none, where one that spun would have had its fair share of the cores.
TEST_F(ImageDownloaderTest, WaitingDownloadsCostNoCPU) {
    // The server's threads are there already; what the downloads start comes after.
    const auto before = threadTicks();
    const auto downloader = VMImageDownloader::create();
    for (int i = 0; i < 104; ++i) {
        downloader->downloadWithUrl(url(held("slow")), results.blockFor(std::to_string(i)));
    }
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 4; }));
    ASSERT_EQ(downloader->stackArray().size(), 100u);
    const auto start = threadTicks();
    const double ownStart = ownCPUSeconds();
    auto end = start;
    while (ownCPUSeconds() - ownStart < 0.3) end = threadTicks();
    const long ownTicks = long((ownCPUSeconds() - ownStart) * sysconf(_SC_CLK_TCK));
    const std::string self = std::to_string(gettid());
    std::size_t watched = 0;
    for (const auto& [tid, ticks] : end) {
        if (before.contains(tid) || tid == self || !start.contains(tid)) continue;
        ++watched;
        EXPECT_LE(ticks - start.at(tid), std::max(2L, ownTicks / 10)) << "thread " << tid;
    }
    // The feeder and four downloads at least.
    EXPECT_GE(watched, 5u);
    EXPECT_EQ(downloader->stackArray().size(), 100u);
    release("slow");
    ASSERT_TRUE(waitUntil([&] { return results.size() == 104; }));
}

TEST_F(ImageDownloaderTest, QueueWaitingStackAndCancelFlagAreSetFromOutside) {
    const auto downloader = VMImageDownloader::create();
    const auto queue = NSOperationQueue::create();
    queue->setMaxConcurrentOperationCount(VMImageDownloader::kMaxConcurrentDownloads);
    downloader->setDownloadQueue(queue);
    downloader->setDownloadQueue(nullptr);
    EXPECT_EQ(downloader->downloadQueue(), queue);
    // Cancelled, nothing goes to the queue, not even what finds a free slot.
    downloader->setIsCancelled(true);
    EXPECT_TRUE(downloader->isCancelled());
    for (const char* name : {"a", "b", "c", "d"})
        downloader->downloadWithUrl(url(held(name)), results.blockFor(name));
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_EQ(downloader->stackArray().size(), 4u);
    downloader->setIsCancelled(false);
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 4; }));
    EXPECT_EQ(queue->operationCount(), 4u);
    downloader->setIsCancelled(true);
    for (const char* name : {"e", "f"})
        downloader->downloadWithUrl(url(held(name)), results.blockFor(name));

    // "f" is dropped without a word, "g" runs first, "e" answers to a new block.
    const auto waiting = downloader->stackArray();
    ASSERT_EQ(waiting.size(), 2u);
    const auto e = waiting[1];
    auto g = VMImageDownloaderOperation::create(NSMutableURLRequest::requestWithURL(url(held("g"))),
                                                results.blockFor("g"));
    g->setParsedDataLength(10);
    g->setNextImageDataSize(20);
    EXPECT_EQ(g->parsedDataLength(), 10u);
    EXPECT_EQ(g->nextImageDataSize(), 20u);
    ASSERT_TRUE(e->resultBlcok());
    e->setResultBlcok(results.blockFor("e2"));
    downloader->setStackArray({g, e});
    release("a");
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_EQ(downloader->stackArray().size(), 2u);
    downloader->setIsCancelled(false);
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 5; }));
    EXPECT_EQ(arrived()[4], held("g"));
    for (const char* name : {"b", "c", "d", "e", "g"}) release(name);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 6; }));
    ASSERT_TRUE(waitUntil([&] { return g->isFinished(); }));
    EXPECT_FALSE(results.find("e2").name.empty());
    EXPECT_TRUE(results.find("e").name.empty());
    EXPECT_TRUE(results.find("f").name.empty());
    EXPECT_FALSE(g->resultBlcok());
    g->setResultBlcok(results.blockFor("late"));
    EXPECT_FALSE(g->resultBlcok());
}
