#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>

#include "Deadline.h"
#include "TestHTTPServer.h"
#include "VMImageDownloader.h"
#include "VMTileOverlay.h"

using testsupport::TestHTTPServer;
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
    Result find(const std::string& name) {
        std::lock_guard guard(mutex);
        for (const auto& r : got)
            if (r.name == name) return r;
        return {};
    }
};

class ImageDownloaderTest : public ::testing::Test {
  protected:
    ImageDownloaderTest() {
        server.server().Get(R"(/held/(\w+))",
                            [this](const httplib::Request& req, httplib::Response& res) {
                                {
                                    std::lock_guard guard(logMutex);
                                    arrivals.push_back(req.matches[1]);
                                }
                                server.waitAtGate();
                                res.set_content("tile " + std::string(req.matches[1]), "image/png");
                            });
        server.server().Get(
            "/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.server().Get(
            "/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
        server.server().Get("/partial", [](const httplib::Request&, httplib::Response& res) {
            res.status = 206;
            res.set_content("part", "image/png");
        });
    }
    ~ImageDownloaderTest() override { server.releaseGate(); }

    std::shared_ptr<NSURL> url(const std::string& path) {
        return NSURL::URLWithString(server.url(path));
    }
    std::vector<std::string> arrived() {
        std::lock_guard guard(logMutex);
        return arrivals;
    }

    TestHTTPServer server;
    std::mutex logMutex;
    std::vector<std::string> arrivals;
    Results results;
};

}  // namespace

TEST_F(ImageDownloaderTest, FourRunAtOnceAndTheNewestWaitingGoesNext) {
    const auto downloader = VMImageDownloader::create();
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        downloader->downloadWithUrl(url(std::string("/held/") + name), results.blockFor(name));
    }
    ASSERT_TRUE(waitUntil([&] { return server.waitingAtGate() == 4; }));
    EXPECT_EQ(downloader->stackArray().size(), 1u);
    downloader->downloadWithUrl(url("/held/f"), results.blockFor("f"));
    EXPECT_EQ(downloader->stackArray().size(), 2u);

    // One finishes: the newest waiting one ("f") takes its place, not "e".
    server.admitAtGate(1);
    ASSERT_TRUE(waitUntil([&] { return arrived().size() == 5; }));
    EXPECT_EQ(arrived()[4], "f");
    EXPECT_EQ(downloader->stackArray().size(), 1u);
    server.releaseGate();
    ASSERT_TRUE(waitUntil([&] { return results.size() == 6; }));
    EXPECT_EQ(arrived()[5], "e");
    const auto e = results.find("e");
    ASSERT_TRUE(e.data);
    EXPECT_EQ(NSStringFromData(*e.data), "tile e");
    EXPECT_FALSE(e.error);
}

TEST_F(ImageDownloaderTest, RepliesThatAreNotTilesGiveOneErrorEach) {
    const auto downloader = VMImageDownloader::create();
    downloader->downloadWithUrl(url("/missing"), results.blockFor("missing"));
    downloader->downloadWithUrl(url("/empty"), results.blockFor("empty"));
    downloader->downloadWithUrl(url("/partial"), results.blockFor("partial"));
    ASSERT_TRUE(waitUntil([&] { return results.size() == 3; }));

    const auto missing = results.find("missing");
    EXPECT_FALSE(missing.data);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain, "NSResponse");
    EXPECT_EQ(missing.error->localizedDescription, "NSRespones error");

    const auto empty = results.find("empty");
    ASSERT_TRUE(empty.data);
    EXPECT_TRUE(empty.data->empty());
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->localizedDescription, "Downloaded image has 0 pixels");

    const auto partial = results.find("partial");
    ASSERT_TRUE(partial.data);
    EXPECT_EQ(NSStringFromData(*partial.data), "part");
    EXPECT_FALSE(partial.error);
}

TEST_F(ImageDownloaderTest, CancelEndsRunningDownloadsAndDropsWaitingOnes) {
    auto downloader = VMImageDownloader::create();
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        downloader->downloadWithUrl(url(std::string("/held/") + name), results.blockFor(name));
    }
    ASSERT_TRUE(waitUntil([&] { return server.waitingAtGate() == 4; }));
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
    EXPECT_TRUE(results.find("f").name.empty());
}

TEST_F(ImageDownloaderTest, TileOverlayFillsItsTemplateAndLoadsThroughItsOwnDownloader) {
    const auto overlay = VMTileOverlay::createWithURLTemplate(server.url("/held/t{z}x{x}y{y}") +
                                                              "?s={scale}&again={x}");
    const VMTileOverlayPath path{3, 5, 12, 2};
    EXPECT_EQ(overlay->URLForTilePath(path)->absoluteString(),
              server.url("/held/t12x3y5") + "?s=2.000000&again=3");
    server.releaseGate();
    overlay->loadTileAtPath(path, results.blockFor("tile"));
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    ASSERT_TRUE(results.find("tile").data);
    EXPECT_EQ(NSStringFromData(*results.find("tile").data), "tile t12x3y5");

    const auto untemplated = VMTileOverlay::create();
    EXPECT_FALSE(untemplated->URLForTilePath(path));
    untemplated->loadTileAtPath(path, results.blockFor("none"));
    const auto none = results.find("none");
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->domain, "NSURLDomain");
    EXPECT_EQ(none.error->localizedDescription, "url is nil!");
}
