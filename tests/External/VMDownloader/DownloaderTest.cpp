#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "Deadline.h"
#include "Files.h"
#include "Foundation/NSPathUtilities.h"
#include "HostileReplies.h"
#include "TempDir.h"
#include "TestHTTPServer.h"
#include "UIKit/UIApplication.h"
#include "VMDownloader.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::TestHTTPServer;
using testsupport::waitUntil;

std::string body(std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i * 131 % 251);
    return out;
}

// What one download reported, filled from the operation's thread.
struct Outcome {
    std::mutex mutex;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    std::vector<NSErrorOpt> completed;
    int cancelled = 0;

    std::size_t ends() {
        std::lock_guard lock(mutex);
        return completed.size() + static_cast<std::size_t>(cancelled);
    }
    std::int64_t lastReceived() {
        std::lock_guard lock(mutex);
        return progress.empty() ? -1 : progress.back().first;
    }
};

class Downloader : public testing::Test {
  protected:
    Downloader() { NSSetHomeDirectory(home_.path().string()); }

    std::shared_ptr<VMDownloaderOperation> download(const std::string& url, const std::string& path,
                                                    const std::shared_ptr<Outcome>& outcome,
                                                    bool background = false) {
        return downloader_->downloadWithURL(
            NSURL::URLWithString(url), path, background,
            [outcome](std::int64_t received, std::int64_t expected) {
                std::lock_guard lock(outcome->mutex);
                outcome->progress.emplace_back(received, expected);
            },
            [outcome](const NSErrorOpt& error) {
                std::lock_guard lock(outcome->mutex);
                outcome->completed.push_back(error);
            },
            [outcome] {
                std::lock_guard lock(outcome->mutex);
                ++outcome->cancelled;
            });
    }

    TempDir home_;
    TestHTTPServer server_;
    std::shared_ptr<VMDownloader> downloader_ = VMDownloader::create();
};

// The whole body in chunks with no length, so that the HTTP library cannot cut it to a range.
void streamWhole(httplib::Response& res, std::shared_ptr<const std::string> body) {
    res.set_chunked_content_provider(
        "application/zip", [body](std::size_t offset, httplib::DataSink& sink) {
            if (offset < body->size()) {
                sink.write(body->data() + offset, body->size() - offset);
            } else {
                sink.done();
            }
            return true;
        });
}

// Answers a range as the package server does: 206 with the rest (the HTTP library slices a
// sized body by the request's range), 416 past the end, or, ignoring the range, the whole body
// with 200; records the range and agent it was sent.
// The handler keeps its own copy of the body and of the list it fills: the server's threads may
// still be sending when the test's locals are gone.
void serveRanges(TestHTTPServer& server, const std::string& body, bool honourRange,
                 std::shared_ptr<std::vector<std::string>> ranges = nullptr) {
    const auto shared = std::make_shared<const std::string>(body);
    server.server().Get("/file", [shared, honourRange, ranges](const httplib::Request& req,
                                                               httplib::Response& res) {
        const std::string& content = *shared;
        const std::string range = req.get_header_value("Range");
        if (ranges) ranges->push_back(range + "|" + req.get_header_value("User-Agent"));
        const std::size_t from = range.rfind("bytes=", 0) == 0 ? std::stoull(range.substr(6)) : 0;
        if (!honourRange) {
            res.status = 200;
            streamWhole(res, shared);
        } else if (from > 0 && from >= content.size()) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(content.size()));
        } else {
            res.set_content_provider(
                content.size(), "application/zip",
                [shared](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    sink.write(shared->data() + offset, std::min<std::size_t>(length, 65536));
                    return true;
                });
        }
    });
}

TEST_F(Downloader, ResumesAfterTheBytesOnDiskAndCountsProgressForThisTransfer) {
    const std::string content = body(14096);
    const auto ranges = std::make_shared<std::vector<std::string>>();
    serveRanges(server_, content, true, ranges);
    const std::string path = home_ / "f.zip";
    std::ofstream(path, std::ios::binary) << content.substr(0, 4096);

    downloader_->setValue("bytes=4096-", "Range");
    downloader_->setValue("agent", "User-Agent");
    EXPECT_EQ(downloader_->valueForHTTPHeaderField("range"), "bytes=4096-");
    auto outcome = std::make_shared<Outcome>();
    ASSERT_TRUE(download(server_.url("/file"), path, outcome));
    ASSERT_TRUE(waitUntil([&] { return outcome->ends() == 1; }));
    EXPECT_THAT(*ranges, testing::ElementsAre("bytes=4096-|agent"));
    ASSERT_EQ(outcome->completed.size(), 1u);
    EXPECT_FALSE(outcome->completed[0]);
    ASSERT_GE(outcome->progress.size(), 3u);
    EXPECT_EQ(outcome->progress[0], (std::pair<std::int64_t, std::int64_t>(0, -1)));
    EXPECT_EQ(outcome->progress[1], (std::pair<std::int64_t, std::int64_t>(0, 10000)));
    EXPECT_EQ(outcome->progress.back(), (std::pair<std::int64_t, std::int64_t>(10000, 10000)));
    EXPECT_TRUE(testsupport::readFile(path) == content);

    downloader_->setValue(std::nullopt, "Range");
    EXPECT_EQ(downloader_->valueForHTTPHeaderField("Range"), std::nullopt);
    EXPECT_EQ(downloader_->downloadWithURL(nullptr, path, false, {}, {}, {}), nullptr);
}

TEST_F(Downloader, WholeBodyReplacesTheFileRangedOrNotAnd416LeavesItAlone) {
    const std::string content = body(20000);
    serveRanges(server_, content, false);
    const std::string path = home_ / "f.zip";
    for (const std::optional<std::string>& range :
         {std::optional<std::string>("bytes=11-"), std::optional<std::string>()}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "stale bytes";
        downloader_->setValue(range, "Range");
        auto outcome = std::make_shared<Outcome>();
        const auto operation = download(server_.url("/file"), path, outcome);
        ASSERT_TRUE(waitUntil([&] { return outcome->ends() == 1; }));
        EXPECT_FALSE(outcome->completed.at(0));
        EXPECT_TRUE(testsupport::readFile(path) == content) << range.value_or("no range");
    }

    TestHTTPServer ranged;
    serveRanges(ranged, content, true);
    downloader_->setValue("bytes=20000-", "Range");
    auto refused = std::make_shared<Outcome>();
    download(ranged.url("/file"), path, refused);
    ASSERT_TRUE(waitUntil([&] { return refused->ends() == 1; }));
    ASSERT_TRUE(refused->completed.at(0));
    EXPECT_EQ(refused->completed[0]->domain, NSURLErrorDomain);
    EXPECT_EQ(refused->completed[0]->code, 416);
    EXPECT_TRUE(testsupport::readFile(path) == content);
}

// Sends `first` bytes, waits at the gate, sends `second` more, then holds the rest of the
// announced length back until `finish` is set.
void serveInTwoParts(TestHTTPServer& server, std::size_t first, std::size_t second,
                     std::size_t announced = 0, const std::atomic<bool>* finish = nullptr) {
    server.server().Get("/slow", [&server, first, second, announced, finish](
                                     const httplib::Request&, httplib::Response& res) {
        const std::size_t total = announced ? announced : first + second;
        res.set_content_provider(total, "application/octet-stream",
                                 [&server, first, second, total, finish](
                                     std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     std::string part;
                                     if (offset == 0) {
                                         part = body(first);
                                     } else if (offset == first) {
                                         server.waitAtGate();
                                         part.assign(second, 'z');
                                     } else {
                                         if (finish) waitUntil([finish] { return finish->load(); });
                                         part.assign(total - offset, 'y');
                                     }
                                     sink.write(part.data(), part.size());
                                     return true;
                                 });
    });
}

TEST_F(Downloader, WritesOnlyPastTheThresholdAndCancelFlushesTheBuffer) {
    const std::size_t threshold = VMDownloaderOperation::kWriteThreshold;
    std::atomic<bool> finish{false};
    serveInTwoParts(server_, threshold, 1, threshold + 100, &finish);
    const std::string path = home_ / "t.bin";
    auto outcome = std::make_shared<Outcome>();
    auto operation = download(server_.url("/slow"), path, outcome);
    ASSERT_TRUE(
        waitUntil([&] { return outcome->lastReceived() == static_cast<std::int64_t>(threshold); }));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(operation->receivedData().size(), threshold);
    server_.releaseGate();
    ASSERT_TRUE(waitUntil(
        [&] { return outcome->lastReceived() == static_cast<std::int64_t>(threshold + 1); }));
    EXPECT_EQ(fs::file_size(path), threshold + 1);
    EXPECT_TRUE(operation->receivedData().empty());
    // What a running download holds, and lets go of as it ends.
    EXPECT_TRUE(operation->progressBlock() && operation->completedBlock() &&
                operation->cancelledBlock() && operation->connection());
    EXPECT_GE(operation->fileHandleForDownloadToFilePath(), 0);
    EXPECT_EQ(operation->backgroundTask(), UIBackgroundTaskInvalid);
    operation->cancel();
    operation->cancel();
    EXPECT_EQ(outcome->cancelled, 1);
    EXPECT_TRUE(outcome->completed.empty());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->progressBlock() || operation->completedBlock() ||
                 operation->cancelledBlock() || operation->connection());
    EXPECT_EQ(operation->fileHandleForDownloadToFilePath(), -1);
    EXPECT_TRUE(operation->removeDownloadFile());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(operation->removeDownloadFile());
    finish = true;

    TestHTTPServer small;
    serveInTwoParts(small, 5000, 10);
    const std::string other = home_ / "c.bin";
    auto flushed = std::make_shared<Outcome>();
    auto second = download(small.url("/slow"), other, flushed);
    ASSERT_TRUE(waitUntil([&] { return flushed->lastReceived() == 5000; }));
    EXPECT_EQ(fs::file_size(other), 0u);
    second->cancel();
    EXPECT_EQ(fs::file_size(other), 5000u);
    EXPECT_EQ(flushed->cancelled, 1);
    EXPECT_TRUE(flushed->completed.empty());
}

// A part answer is appended only where the file on disk ends: one that starts elsewhere or does
// not say where fails, and the bytes already on disk stay as they were, ready for a resume.
TEST_F(Downloader, APartThatDoesNotStartWhereTheFileEndsLeavesTheFileAlone) {
    const std::string content = body(14096);
    const auto shared = std::make_shared<const std::string>(content);
    const auto answered = std::make_shared<std::optional<std::string>>();
    server_.server().Get("/part",
                         [shared, answered](const httplib::Request&, httplib::Response& res) {
                             res.status = 206;
                             if (*answered) res.set_header("Content-Range", **answered);
                             streamWhole(res, shared);
                         });
    const std::string path = home_ / "f.zip";
    const std::string onDisk = content.substr(0, 4096);
    downloader_->setValue("bytes=4096-", "Range");
    const std::string whole = "/" + std::to_string(content.size());
    for (const std::optional<std::string>& contentRange :
         {std::optional<std::string>("bytes 0-14095" + whole),
          std::optional<std::string>("bytes 4095-14095" + whole),
          std::optional<std::string>("bytes */14096"), std::optional<std::string>("4096-14095"),
          std::optional<std::string>()}) {
        SCOPED_TRACE(contentRange.value_or("no Content-Range"));
        std::ofstream(path, std::ios::binary | std::ios::trunc) << onDisk;
        *answered = contentRange;
        auto outcome = std::make_shared<Outcome>();
        ASSERT_TRUE(download(server_.url("/part"), path, outcome));
        ASSERT_TRUE(waitUntil([&] { return outcome->ends() == 1; }));
        ASSERT_TRUE(outcome->completed.at(0));
        EXPECT_EQ(outcome->completed[0]->code, NSURLErrorBadServerResponse);
        EXPECT_TRUE(testsupport::readFile(path) == onDisk);
    }
}

TEST_F(Downloader, FailuresReachTheCompletedBlock) {
    server_.server().Get("/huge", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(std::size_t{1} << 60, "application/octet-stream",
                                 [this](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write("0123456789", 10);
                                     server_.waitAtGate();
                                     return false;
                                 });
    });
    server_.server().Get("/missing",
                         [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    fs::create_directories(home_.path() / "dir.zip");
    const struct {
        std::string url;
        std::string path;
        std::string domain;
        long code;
    } cases[] = {
        {server_.url("/huge"), home_ / "h.bin", NSCocoaErrorDomain, 640},
        {server_.url("/missing"), home_ / "m.bin", NSURLErrorDomain, 404},
        {server_.url("/missing"), home_ / "dir.zip", NSCocoaErrorDomain, 514},
    };
    for (const auto& c : cases) {
        auto outcome = std::make_shared<Outcome>();
        download(c.url, c.path, outcome);
        ASSERT_TRUE(waitUntil([&] { return outcome->ends() == 1; })) << c.url;
        ASSERT_TRUE(outcome->completed.at(0)) << c.url;
        EXPECT_EQ(outcome->completed[0]->domain, c.domain);
        EXPECT_EQ(outcome->completed[0]->code, c.code);
        if (c.code == 640) {
            EXPECT_EQ(outcome->completed[0]->localizedDescription,
                      "There is insufficient space on the disk");
        }
    }
}

// A cancel racing the data and the end of the transfer ends the download exactly once, and the
// file holds a prefix of the body (never a byte twice).
TEST_F(Downloader, CancelRacingTheTransferEndsItOnce) {
    const std::string content = body(3 * VMDownloaderOperation::kWriteThreshold);
    serveRanges(server_, content, true);
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        const std::string path = home_ / ("r" + std::to_string(round));
        auto outcome = std::make_shared<Outcome>();
        auto operation = download(server_.url("/file"), path, outcome);
        const auto threshold = static_cast<std::int64_t>(random() % content.size());
        waitUntil([&] { return outcome->lastReceived() >= threshold || outcome->ends() > 0; });
        operation->cancel();
        ASSERT_TRUE(waitUntil([&] { return operation->isFinished(); }));
        EXPECT_EQ(outcome->ends(), 1u) << round;
        const std::string written = testsupport::readFile(path);
        EXPECT_TRUE(written == content.substr(0, written.size())) << round;
    }
}

// A package of hundreds of megabytes takes minutes: its time-out bounds each wait for progress,
// where every other request ends once its time-out has passed since it started. One that keeps
// coming runs on past the time-out and completes; one that falls silent ends at it.
TEST_F(Downloader, APackageDownloadsTimeOutIsAnIdleLimit) {
    constexpr double kTimeout = 0.6;
    // A byte every 0.05 s leaves a starved machine eleven intervals of slack before the limit;
    // forty of them keep the download going past three time-outs.
    constexpr double kInterval = 0.05;
    constexpr std::size_t kSteadyBytes = 40;
    static_assert((kSteadyBytes - 1) * kInterval > 3 * kTimeout);
    const std::string head = body(1000);
    testsupport::DripReply steady('s', kInterval, kSteadyBytes);
    TestHTTPServer server;  // after the reply it serves, so that it stops first
    server.server().Get("/steady", [&steady](const httplib::Request&, httplib::Response& res) {
        steady.answer(res);
    });
    server.server().Get(
        "/stalls", [&server, &head](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/zip", [&server, &head](std::size_t offset, httplib::DataSink& sink) {
                    if (offset == 0) return sink.write(head.data(), head.size());
                    server.waitAtGate();
                    return false;
                });
        });
    downloader_->setTimeoutInterval(kTimeout);
    EXPECT_EQ(downloader_->timeoutInterval(), kTimeout);

    const struct {
        std::string path;
        std::optional<long> error;
        std::size_t bytes;
    } cases[] = {
        {"/steady", std::nullopt, kSteadyBytes},
        {"/stalls", NSURLErrorTimedOut, head.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = home_ / ("package" + std::to_string(c.bytes) + ".zip");
        auto outcome = std::make_shared<Outcome>();
        const auto began = std::chrono::steady_clock::now();
        const auto operation = download(server.url(c.path), path, outcome);
        ASSERT_TRUE(operation);
        EXPECT_EQ(operation->request()->timeoutInterval(), kTimeout);
        ASSERT_TRUE(waitUntil([&] { return outcome->ends() == 1; }));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        EXPECT_GT(took.count(), kTimeout);
        std::lock_guard lock(outcome->mutex);
        ASSERT_EQ(outcome->completed.size(), 1u);
        const auto& error = outcome->completed[0];
        EXPECT_EQ(error ? std::optional<long>(error->code) : std::nullopt, c.error)
            << (error ? error->localizedDescription : "");
        EXPECT_EQ(fs::file_size(path), c.bytes);
    }
}

}  // namespace
