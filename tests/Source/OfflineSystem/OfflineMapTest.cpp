#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>

#include "ChildProcess.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Files.h"
#include "Foundation/Dispatch.h"
#include "Foundation/NSPathUtilities.h"
#include "HostileReplies.h"
#include "OfflineEndpoints.h"
#include "TempDir.h"
#include "TestHTTPServer.h"
#include "UIKit/UIApplication.h"
#include "VMMapServices.h"
#include "VMZipArchive.h"
#include "WriteFaults.h"
#include "ZUZavadevIru.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::runUntil;
using testsupport::TempDir;
using testsupport::TestHTTPServer;
using testsupport::waitUntil;

// Everything one download reported, in order, from whichever thread.
struct Reports {
    std::mutex mutex;
    std::vector<int> statuses;
    std::vector<nlohmann::json> progress;
    std::optional<NSError> error;

    ZUZavadevIru::DownloadBlock block() {
        return [this](int status, const ZUZavadevIruDownloadInfo& info) {
            std::lock_guard lock(mutex);
            statuses.push_back(status);
            if (const auto* dict = std::get_if<nlohmann::json>(&info)) progress.push_back(*dict);
            if (const auto* e = std::get_if<NSError>(&info)) error = *e;
        };
    }
    bool has(int status) {
        std::lock_guard lock(mutex);
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }
    bool ended() { return has(4) || has(6) || has(7); }
    int last() {
        std::lock_guard lock(mutex);
        return statuses.empty() ? -1 : statuses.back();
    }
    std::int64_t received() {
        std::lock_guard lock(mutex);
        return progress.empty()
                   ? 0
                   : progress.back()[ZUZavadevIruDownloadReceivedSizeKey].get<std::int64_t>();
    }
};

class OfflineMap : public testing::Test {
  protected:
    OfflineMap() {
        NSSetHomeDirectory(home_.path().string());
        devserver::DevServerOptions options;
        options.passwordIterations = 1;
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        };
        server_ =
            std::make_unique<devserver::DevServer>(home_.path() / "devserver.sqlite", options);
        EXPECT_TRUE(server_->start(0));
        base_ = "http://127.0.0.1:" + std::to_string(server_->port()) + "/";
        auto shipped = VMOfflinePackage::packageWithDictionary(devserver::offlineCatalogue(base_));
        EXPECT_TRUE(shipped->writeToFile(shippedPath()));
    }

    std::string shippedPath() const { return home_ / "shipped.plist"; }
    std::shared_ptr<ZUZavadevIru> manager() {
        return ZUZavadevIru::create({downloader_, shippedPath(), std::nullopt, base_});
    }
    std::vector<std::string> packageRequests() {
        server_->flushLogs();
        std::lock_guard lock(logMutex_);
        std::vector<std::string> lines;
        for (const auto& line : log_)
            if (line.find("/offline/") != std::string::npos) lines.push_back(line);
        return lines;
    }
    // The package's files as the zip tool unpacks them.
    std::map<std::string, std::string> reference(const std::string& adcode) {
        const std::string archive = home_ / ("reference-" + adcode + ".zip");
        std::ofstream(archive, std::ios::binary) << *devserver::offlinePackageArchive(adcode);
        ChildProcess unzip({"/usr/bin/unzip", "-qq", "-o", archive, "-d", home_ / "reference"});
        EXPECT_EQ(unzip.waitForExit(), 0);
        return testsupport::fileTree(home_.path() / "reference" / "vmap" / adcode);
    }
    std::map<std::string, std::string> installed(const ZUZavadevIru& map,
                                                 const std::string& adcode) {
        return testsupport::fileTree(fs::path(map.vmapPath()) / "vmap" / adcode);
    }
    // Downloads the item in the foreground and waits for its end, generously: packages are
    // megabytes, and sanitizer builds on a loaded machine are slow.
    std::shared_ptr<Reports> download(ZUZavadevIru& map,
                                      const std::shared_ptr<VMOfflineItem>& item) {
        auto reports = std::make_shared<Reports>();
        // The block keeps its record alive, whenever the manager lets go of it.
        map.downloadItem(
            item, false,
            [reports, record = reports->block()](int status, const ZUZavadevIruDownloadInfo& info) {
                record(status, info);
            });
        EXPECT_TRUE(waitUntil([&] { return reports->ended(); }, 120));
        EXPECT_FALSE(map.isDownloadingForItem(item));
        return reports;
    }
    void expectInstalled(const ZUZavadevIru& map, const std::string& adcode) {
        EXPECT_TRUE(installed(map, adcode) == reference(adcode)) << adcode;
    }
    static std::int32_t storedStatus(const ZUZavadevIru& map, const std::string& adcode) {
        auto stored =
            VMOfflinePackage::packageWithContentsOfFile(map.basePath() + "/offlinePackage.plist");
        return stored ? stored->items().at(adcode)->itemStatus() : -1;
    }

    TempDir home_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
    std::unique_ptr<devserver::DevServer> server_;
    std::string base_;
    std::shared_ptr<VMDownloader> downloader_ = VMDownloader::create();
};

TEST_F(OfflineMap, FirstDownloadInstallsThePackageAndLeavesInstalledOrRunningItemsAlone) {
    auto map = manager();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->version(), devserver::kOfflineCatalogueVersion);
    EXPECT_EQ(map->cities().size(), 4u);
    auto item = map->package()->items().at("110000");
    Reports reports;
    map->downloadItem(item, false, reports.block());
    EXPECT_TRUE(reports.has(0));
    EXPECT_TRUE(map->isDownloadingForItem(item));
    Reports again;
    map->downloadItem(item, false, again.block());
    ASSERT_TRUE(waitUntil([&] { return reports.ended(); }));
    ASSERT_TRUE(waitUntil([&] { return !map->isDownloadingForItem(item); }));

    std::vector<int> statuses = reports.statuses;
    ASSERT_GE(statuses.size(), 6u);
    EXPECT_THAT(std::vector<int>(statuses.begin(), statuses.begin() + 2),
                testing::UnorderedElementsAre(0, 1));
    EXPECT_THAT(std::vector<int>(statuses.end() - 3, statuses.end()),
                testing::ElementsAre(3, 5, 6));
    for (auto it = statuses.begin() + 2; it != statuses.end() - 3; ++it) EXPECT_EQ(*it, 2);
    EXPECT_EQ(reports.received(), item->size);
    EXPECT_TRUE(again.statuses.empty());
    EXPECT_THAT(packageRequests(), testing::ElementsAre(testing::HasSubstr(
                                       "range=\"bytes=0-\" agent=\"VAVA SDK iOS Map 3.1.0\"")));

    EXPECT_TRUE(installed(*map, "110000") == reference("110000"));
    EXPECT_FALSE(fs::exists(map->cachedFilePathForItem(*item)));
    EXPECT_EQ(item->itemStatus(), 2);
    EXPECT_EQ(storedStatus(*map, "110000"), 2);

    Reports installedAgain;
    map->downloadItem(item, false, installedAgain.block());
    EXPECT_TRUE(installedAgain.statuses.empty());
    EXPECT_EQ(packageRequests().size(), 1u);
}

// A download that ends before its operation could be recorded leaves no entry behind, and one
// from offset 0 does not follow stale bytes left in the archive's place.
TEST_F(OfflineMap, FastEndsLeaveNothingRunningAndFreshDownloadsIgnoreStaleBytes) {
    auto map = manager();
    auto item = map->package()->items().at("000000");
    const std::string url = item->url;
    item->url = base_ + "offline/999.zip";
    for (int round = 0; round < 50; ++round) EXPECT_EQ(download(*map, item)->last(), 7) << round;
    // A retry started in answer to the end is not dropped.
    auto retried = std::make_shared<Reports>();
    auto once = std::make_shared<std::atomic<bool>>(false);
    map->downloadItem(item, false, [m = map.get(), item, retried, once](int status, const auto&) {
        if (status == 7 && !once->exchange(true)) m->downloadItem(item, false, retried->block());
    });
    EXPECT_TRUE(waitUntil([&] { return retried->ended(); }));
    EXPECT_EQ(retried->statuses.front(), 0);
    // Stale bytes, then a transfer cut short and its resume.
    item->setItemStatus(0);
    std::ofstream(map->cachedFilePathForItem(*item), std::ios::binary) << std::string(5000, 's');
    item->url = url + "?drop=60000";
    download(*map, item);
    EXPECT_EQ(item->downloadedSize(), 60000);
    item->url = url;
    EXPECT_EQ(download(*map, item)->last(), 6);
    expectInstalled(*map, "000000");
}

TEST_F(OfflineMap, DroppedTransferResumesFromTheBytesOnDiskOrRestartsOnAWholeBody) {
    auto map = manager();
    auto item = map->package()->items().at("120000");
    const std::string url = item->url;
    item->url = url + "?drop=3145728";
    EXPECT_EQ(download(*map, item)->last(), 7);
    EXPECT_EQ(item->itemStatus(), 1);
    EXPECT_EQ(item->downloadedSize(), 3145728);
    EXPECT_EQ(fs::file_size(map->cachedFilePathForItem(*item)), 3145728u);
    EXPECT_EQ(storedStatus(*map, "120000"), 1);

    item->url = url;
    const auto second = download(*map, item);
    EXPECT_EQ(second->last(), 6);
    ASSERT_FALSE(second->progress.empty());
    EXPECT_EQ(second->progress.front()[ZUZavadevIruDownloadReceivedSizeKey], 3145728);
    EXPECT_EQ(second->progress.front()[ZUZavadevIruDownloadExpectedSizeKey], item->size);
    EXPECT_THAT(packageRequests().back(), testing::HasSubstr("range=\"bytes=3145728-\""));
    expectInstalled(*map, "120000");

    // A whole body sent for a resume restarts the archive.
    auto other = map->package()->items().at("320100");
    const std::string otherUrl = other->url;
    other->url = otherUrl + "?drop=100000";
    download(*map, other);
    ASSERT_EQ(other->itemStatus(), 1);
    other->url = otherUrl + "?ignoreRange=1";
    const auto whole = download(*map, other);
    EXPECT_EQ(whole->last(), 6);
    ASSERT_FALSE(whole->progress.empty());
    EXPECT_EQ(whole->progress.front()[ZUZavadevIruDownloadReceivedSizeKey], 0);
    expectInstalled(*map, "320100");
}

TEST_F(OfflineMap, PausesKeepTheBytesSecondDownloadsWaitAndTooLongOnesFail) {
    auto map = manager();
    auto stalled = map->package()->items().at("120000");
    auto waiting = map->package()->items().at("000000");
    stalled->url += "?stall=200000";
    Reports first, second;
    map->downloadItem(stalled, false, first.block());
    map->downloadItem(waiting, false, second.block());
    ASSERT_TRUE(waitUntil([&] { return first.received() == 200000; }));
    EXPECT_EQ(second.statuses, std::vector<int>{0});
    EXPECT_EQ(packageRequests().size(), 1u);

    map->pauseItem(stalled);
    EXPECT_EQ(first.statuses.back(), 4);
    EXPECT_EQ(stalled->itemStatus(), 1);
    EXPECT_EQ(stalled->downloadedSize(), 200000);
    EXPECT_EQ(fs::file_size(map->cachedFilePathForItem(*stalled)), 200000u);
    ASSERT_TRUE(waitUntil([&] { return second.ended(); }));
    EXPECT_EQ(second.statuses.back(), 6);

    // Before any byte arrived.
    auto early = map->package()->items().at("110000");
    early->url += "?stall=0";
    Reports third;
    map->downloadItem(early, false, third.block());
    ASSERT_TRUE(waitUntil([&] { return third.has(1); }));
    map->pauseItem(early);
    EXPECT_EQ(third.statuses.back(), 4);
    EXPECT_EQ(early->itemStatus(), 0);
    EXPECT_FALSE(map->isDownloadingForItem(early));

    // A background download pauses when its time runs out.
    auto item = map->package()->items().at("320100");
    item->url += "?stall=100000";
    Reports reports;
    map->downloadItem(item, true, reports.block());
    ASSERT_TRUE(waitUntil([&] { return reports.received() == 100000; }));
    EXPECT_EQ(UIApplication::sharedApplication()->backgroundTaskCount(), 1u);
    UIApplication::sharedApplication()->expireBackgroundTasks();
    ASSERT_TRUE(runUntil([&] { return reports.ended(); }));
    EXPECT_EQ(reports.statuses.back(), 4);
    EXPECT_EQ(item->itemStatus(), 1);
    // The expired task is ended, not left behind.
    ASSERT_TRUE(
        runUntil([] { return UIApplication::sharedApplication()->backgroundTaskCount() == 0; }));

    auto other = map->package()->items().at("320200");
    other->url += "?length=1152921504606846976";
    const auto full = download(*map, other);
    EXPECT_EQ(full->last(), 7);
    ASSERT_TRUE(full->error);
    EXPECT_EQ(full->error->code, 640);
}

TEST_F(OfflineMap, HostilePackageFailsWithoutWritingOutsideTheEngineData) {
    TestHTTPServer hostile;
    const std::string archive = home_ / "hostile.zip";
    {
        const std::string source = home_ / "evil.txt";
        std::ofstream(source) << "evil";
        auto zip = VMZipArchive::create();
        ASSERT_TRUE(zip->CreateZipFile2(archive));
        ASSERT_TRUE(zip->addFileToZip(source, "vmap/000000/first.dat"));
        ASSERT_TRUE(zip->addFileToZip(source, "../sentinel/x"));
        ASSERT_TRUE(zip->CloseZipFile2());
    }
    const std::string bytes = testsupport::readFile(archive);
    hostile.server().Get("/evil.zip", [&bytes](const httplib::Request&, httplib::Response& res) {
        res.set_content(bytes, "application/zip");
    });
    auto map = manager();
    const fs::path sentinel = fs::path(map->vmapPath()).parent_path() / "sentinel";
    fs::create_directories(sentinel);
    auto item = map->package()->items().at("000000");
    item->url = hostile.url("/evil.zip");
    const auto reports = download(*map, item);
    EXPECT_EQ(reports->last(), 7);
    ASSERT_TRUE(reports->error);
    EXPECT_EQ(reports->error->domain, ZUZavadevIruErrorDomain);
    EXPECT_EQ(reports->error->code, -4);
    EXPECT_TRUE(fs::is_empty(sentinel));
    // A failed install takes back what it had unpacked.
    EXPECT_TRUE(installed(*map, "000000").empty());
    EXPECT_FALSE(fs::exists(map->cachedFilePathForItem(*item)));
    EXPECT_EQ(item->itemStatus(), 0);
    EXPECT_EQ(item->downloadedSize(), 0);
}

// Room for a package's archive but not for its files: refused before the first file, or the disk
// full partway (free-space figures stood in for, as the file system gives them in turn); or the
// files fit and the index cannot record them (a folder in its place). Each keeps the archive and
// says why, and once there is room the next start finds it and the next try unpacks it without
// fetching it again.
TEST_F(OfflineMap, AnInstallShortOfRoomKeepsTheArchiveForTheNextTry) {
    const std::string adcode = "320200";
    const auto unpacked = reference(adcode);
    std::uint64_t files = 0;
    for (const auto& [path, bytes] : unpacked) files += bytes.size();
    const struct {
        const char* name;
        std::vector<std::uint64_t> free;  // the last one holds from then on; none: the disk's own
        bool indexBlocked;
        long code;
    } cases[] = {
        {"no room for the files", {files - 1}, false, NSFileWriteOutOfSpaceError},
        {"full partway", {files, files, 0}, false, NSFileWriteOutOfSpaceError},
        {"index not written", {}, true, NSFileWriteUnknownError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ZUZavadevIru::Options options{downloader_, shippedPath(), std::nullopt, base_};
        if (!c.free.empty()) {
            options.freeSpace = [free = c.free,
                                 asked = std::make_shared<std::size_t>(0)](const std::string&) {
                return std::optional(free[std::min((*asked)++, free.size() - 1)]);
            };
        }
        auto map = ZUZavadevIru::create(options);
        auto item = map->package()->items().at(adcode);
        const std::string index = map->basePath() + "/offlinePackage.plist";
        if (c.indexBlocked) {
            fs::remove(index);
            fs::create_directory(index);
        }
        const auto failed = download(*map, item);
        EXPECT_EQ(failed->last(), 7);
        ASSERT_TRUE(failed->error);
        EXPECT_EQ(failed->error->domain, NSCocoaErrorDomain);
        EXPECT_EQ(failed->error->code, c.code) << failed->error->localizedDescription;
        EXPECT_EQ(item->itemStatus(), 1);
        EXPECT_EQ(item->downloadedSize(), item->size);
        EXPECT_EQ(ZUZavadevIru::fileSizeForPath(map->cachedFilePathForItem(*item)), item->size);
        EXPECT_TRUE(installed(*map, adcode).empty());

        if (c.indexBlocked) fs::remove(index);
        map = manager();
        item = map->package()->items().at(adcode);
        EXPECT_EQ(item->itemStatus(), 1);
        const auto retried = download(*map, item);
        EXPECT_EQ(retried->last(), 6);
        EXPECT_TRUE(retried->progress.empty());
        EXPECT_THAT(packageRequests().back(),
                    testing::HasSubstr("range=\"bytes=" + std::to_string(item->size) + "-\""));
        EXPECT_TRUE(installed(*map, adcode) == unpacked);
        EXPECT_EQ(storedStatus(*map, adcode), 2);
        EXPECT_FALSE(fs::exists(map->cachedFilePathForItem(*item)));
        map->clearDisk();
    }
}

// An index write that fails (here for a reason other than room) after the files changed: the
// next start lists no package whose files are gone and downloads it again, an update that could
// not be recorded leaves the old files as they were, and a killed write's temporary goes.
TEST_F(OfflineMap, TheIndexListsNoPackageWhoseFilesAreGone) {
    auto map = manager();
    const std::vector<std::string> codes = {"110000", "320200"};
    for (const auto& code : codes)
        ASSERT_EQ(download(*map, map->package()->items().at(code))->last(), 6);
    {
        testsupport::FailingWrites failing(map->basePath(), 1, EIO);
        map->clearDisk();
        EXPECT_EQ(failing.writes(), 1);
    }
    const std::string leftover = map->basePath() + "/offlinePackage.plist.A1b2C3";
    std::ofstream(leftover) << "killed";
    map = manager();
    EXPECT_FALSE(fs::exists(leftover));
    for (const auto& code : codes) {
        SCOPED_TRACE(code);
        ASSERT_EQ(map->package()->items().at(code)->itemStatus(), 0);
        EXPECT_EQ(storedStatus(*map, code), 0);
        EXPECT_EQ(download(*map, map->package()->items().at(code))->last(), 6);
        expectInstalled(*map, code);
    }

    // An installed package out of date, its files marked as the old ones.
    const std::string code = codes.back();
    std::ofstream(fs::path(map->vmapPath()) / "vmap" / code / "meta.txt") << "old";
    map->package()->items().at(code)->setItemStatus(3);
    ASSERT_TRUE(map->package()->writeToFile(map->basePath() + "/offlinePackage.plist"));
    const auto old = installed(*map, code);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        map = manager();
        testsupport::FailingWrites failing(map->basePath(), 1, EIO);
        EXPECT_EQ(download(*map, map->package()->items().at(code))->last(), 7);
        EXPECT_TRUE(installed(*map, code) == old);
    }
    map = manager();
    EXPECT_EQ(download(*map, map->package()->items().at(code))->last(), 6);
    expectInstalled(*map, code);
    EXPECT_EQ(storedStatus(*map, code), 2);

    // Killed once the index named the new files and before they were in place, the next start
    // puts them there; what an install killed while unpacking left goes.
    const fs::path staging = fs::path(map->vmapPath()) / ".unpacking";
    for (const auto& [folder, adcode] : {std::pair{code, code}, {"110000.part", "110000"}}) {
        fs::create_directories(staging / folder / "vmap" / adcode);
        std::ofstream(staging / folder / "vmap" / adcode / "meta.txt") << "new";
    }
    map = manager();
    EXPECT_EQ(testsupport::readFile(fs::path(map->vmapPath()) / "vmap" / code / "meta.txt"), "new");
    expectInstalled(*map, "110000");
    EXPECT_FALSE(fs::exists(staging));
}

// A package sent with no length once went on until the disk was full (9.1 GB in 15 s for one of
// 4.5 MB). A download stops at the catalogue's size; the bytes on disk stay for a resume only
// while they can be the start of the package, not once the server sent more.
TEST_F(OfflineMap, DownloadsStopAtTheCatalogueSizeAndKeepOnlyWhatCanBeThePackagesStart) {
    constexpr std::size_t kCap = testsupport::kHostileCap;
    constexpr std::size_t kOnDisk = 100000;
    const std::string archive = *devserver::offlinePackageArchive("120000");
    const std::string past = archive + std::string(kOnDisk, 'j');
    const testsupport::EndlessReply endless(kCap, 'z');
    TestHTTPServer hostile;
    hostile.server().Get("/endless.zip", [&](const httplib::Request&, httplib::Response& res) {
        endless.answer(res, "application/zip");
    });
    // The rest from the range asked for, then more, in chunks with no length.
    hostile.server().Get("/longer.zip", [&](const httplib::Request& req, httplib::Response& res) {
        const std::size_t from = std::stoull(req.get_header_value("Range").substr(6));
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                            std::to_string(past.size() - 1) + "/" +
                                            std::to_string(past.size()));
        res.set_chunked_content_provider(
            "application/zip", [&past, from](std::size_t offset, httplib::DataSink& sink) {
                if (from + offset >= past.size()) {
                    sink.done();
                    return true;
                }
                return sink.write(past.data() + from + offset,
                                  std::min<std::size_t>(past.size() - from - offset, 65536));
            });
    });
    // A length past the package's end; the server library answers the range from it.
    hostile.server().Get("/announced.zip", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            past.size(), "application/zip",
            [&past](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                return sink.write(past.data() + offset, std::min<std::size_t>(length, 65536));
            });
    });
    const struct {
        const char* path;
        bool partial;  // a true start of the package lies on disk before
        bool kept;
    } cases[] = {
        {"/endless.zip", false, false},
        {"/longer.zip", true, false},
        {"/announced.zip", true, true},
    };
    auto map = manager();
    auto item = map->package()->items().at("120000");
    ASSERT_EQ(item->size, static_cast<std::int64_t>(archive.size()));
    const std::string file = map->cachedFilePathForItem(*item);
    const std::string served = item->url;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        item->url = hostile.url(c.path);
        item->setItemStatus(c.partial ? 1 : 0);
        if (c.partial) std::ofstream(file, std::ios::binary) << archive.substr(0, kOnDisk);
        const auto reports = download(*map, item);
        EXPECT_EQ(reports->last(), 7);
        ASSERT_TRUE(reports->error);
        EXPECT_EQ(reports->error->domain, NSURLErrorDomain);
        EXPECT_EQ(reports->error->code, NSURLErrorDataLengthExceedsMaximum);
        if (c.kept) {
            EXPECT_TRUE(testsupport::readFile(file) == archive.substr(0, kOnDisk));
            EXPECT_EQ(item->itemStatus(), 1);
            EXPECT_EQ(item->downloadedSize(), static_cast<std::int64_t>(kOnDisk));
        } else {
            EXPECT_FALSE(fs::exists(file));
            EXPECT_EQ(item->downloadedSize(), 0);
        }
    }
    EXPECT_LT(endless.sent(), kCap);
    // An archive on disk longer than the package is no start of it: the download starts afresh.
    item->url = served;
    item->setItemStatus(1);
    std::ofstream(file, std::ios::binary) << past;
    EXPECT_EQ(download(*map, item)->last(), 6);
    EXPECT_THAT(packageRequests().back(), testing::HasSubstr("range=\"bytes=0-\""));
    expectInstalled(*map, "120000");
    // A package the catalogue gives no size for is not asked for at all.
    item->size = 0;
    item->url = hostile.url("/endless.zip");
    const auto unsized = download(*map, item);
    EXPECT_THAT(unsized->statuses, testing::ElementsAre(7));
    ASSERT_TRUE(unsized->error);
    EXPECT_EQ(unsized->error->code, -6);
}

TEST_F(OfflineMap, CodesThatArePathsNameNoFile) {
    auto map = manager();
    const fs::path victim = home_.path() / "victim.zip";
    std::ofstream(victim) << "keep";
    auto item = map->package()->items().at("110000");
    for (const std::string& code : std::vector<std::string>{
             "../../../victim", (home_.path() / "victim").string(), "", "110000/x", "1e5"}) {
        SCOPED_TRACE(code);
        item->adcode = code;
        const auto reports = download(*map, item);
        EXPECT_THAT(reports->statuses, testing::ElementsAre(7));
        ASSERT_TRUE(reports->error);
        EXPECT_EQ(reports->error->code, -5);
        EXPECT_EQ(map->cachedFilePathForCityCode(code), "");
        EXPECT_EQ(testsupport::readFile(victim), "keep");
    }
    EXPECT_TRUE(packageRequests().empty());
}

// Blocks and the unpacking run outside the catalogue lock: a block that waits for the main
// thread, which reads the catalogue meanwhile, once deadlocked.
TEST_F(OfflineMap, BlocksThatWaitForTheMainThreadFindTheCatalogueOpen) {
    auto map = manager();
    auto item = map->package()->items().at("120000");
    std::mutex mutex;
    std::map<int, bool> answered;  // by status: did the main thread's read come back in time
    Reports reports;
    auto record = reports.block();
    map->downloadItem(item, false, [&](int status, const ZUZavadevIruDownloadInfo& info) {
        if (status == 5 || status == 6) {
            auto done = std::make_shared<std::atomic<bool>>(false);
            DispatchQueue::main()->async([map, done] { *done = !map->cities().empty(); });
            const bool inTime = waitUntil([done] { return done->load(); });
            std::lock_guard lock(mutex);
            answered[status] = inTime;
        }
        record(status, info);
    });
    ASSERT_TRUE(runUntil([&] { return reports.ended(); }, 120));
    EXPECT_EQ(reports.statuses.back(), 6);
    std::lock_guard lock(mutex);
    EXPECT_THAT(answered, testing::ElementsAre(testing::Pair(5, true), testing::Pair(6, true)));
}

// The app's own resources, as shipped: the catalogue made from the devserver's package list at
// build time, its relative URLs resolved against the map data server. The shared manager is made
// once per process, in the home of its first use, so the test below runs this in a fresh one.
TEST_F(OfflineMap, DISABLED_SharedManagerInAFreshProcess) {
    VMMapServices::sharedServices()->setInternalServerAddress(base_);
    auto map = ZUZavadevIru::sharedOfflineMap();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->version(), devserver::kOfflineCatalogueVersion);
    const auto served = VMOfflinePackage::packageWithDictionary(devserver::offlineCatalogue(""));
    EXPECT_EQ(map->package()->descriptionDictionary(), served->descriptionDictionary());
    EXPECT_EQ(download(*map, map->package()->items().at("320200"))->last(), 6);
    expectInstalled(*map, "320200");
}

TEST(OfflineSharedManager, StartsFromTheShippedCatalogueAndInstallsFromIt) {
    EXPECT_TRUE(
        testsupport::passesInFreshProcess("OfflineMap.DISABLED_SharedManagerInAFreshProcess"));
}

TEST_F(OfflineMap, StartUpRebuildsStatesFromTheDiskAndUnpacksCompleteArchives) {
    {
        auto map = manager();
        auto package = map->package();
        package->items().at("110000")->setItemStatus(1);
        package->writeToFile(map->basePath() + "/offlinePackage.plist");
        std::ofstream(map->cachedPath() + "/320100.zip") << std::string(4096, 'x');
        std::ofstream(map->cachedPath() + "/320200.zip", std::ios::binary)
            << *devserver::offlinePackageArchive("320200");
    }
    auto map = manager();
    EXPECT_EQ(map->package()->items().at("110000")->itemStatus(), 0);
    EXPECT_EQ(map->package()->items().at("320100")->itemStatus(), 1);
    EXPECT_EQ(map->package()->items().at("320100")->downloadedSize(), 4096);
    // A complete archive on disk unpacks despite the server's 416.
    auto complete = map->package()->items().at("320200");
    EXPECT_EQ(complete->itemStatus(), 1);
    EXPECT_EQ(complete->downloadedSize(), complete->size);
    EXPECT_EQ(download(*map, complete)->last(), 6);
    EXPECT_THAT(packageRequests().back(),
                testing::HasSubstr("range=\"bytes=" + std::to_string(complete->size) + "-\""));
    expectInstalled(*map, "320200");

    // A damaged index counts as none: the shipped catalogue comes back.
    std::ofstream(map->basePath() + "/offlinePackage.plist", std::ios::trunc) << "garbage";
    auto rebuilt = manager();
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->package()->items().at("320100")->itemStatus(), 1);
    // Without an index, the shipped catalogue is required.
    fs::remove(map->basePath() + "/offlinePackage.plist");
    EXPECT_EQ(ZUZavadevIru::create({downloader_, home_ / "none.plist", std::nullopt, base_}),
              nullptr);
}

TEST_F(OfflineMap, OldRecordsCarryTheirStatesForwardByVersion) {
    const struct {
        std::string oldVersion;
        std::int32_t installedBecomes;
        bool partialMoved;
        bool urlTaken;
    } cases[] = {{devserver::kOfflineCatalogueVersion, 2, true, false},
                 {"20200101", 3, false, false},
                 {"29991231", 2, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oldVersion);
        TempDir home;
        NSSetHomeDirectory(home.path().string());
        const fs::path offline = home.path() / "Documents" / "Offline";
        fs::create_directories(offline / "Cached");
        // City codes name the old archives; "999" is in no catalogue.
        std::ofstream(offline / "Cached" / "025.zip") << std::string(1000, 'p');
        std::ofstream(offline / "Cached" / "999.zip") << "orphan";
        // The installed package's files, which it stays installed by.
        const fs::path files = home.path() / "Documents" / "zaroruda" / "data" / "vmap" / "110000";
        fs::create_directories(files);
        std::ofstream(files / "meta.txt") << "old";
        ASSERT_TRUE(
            VMOfflineCityAggregateOld::cityAggregateWithVersion(
                c.oldVersion,
                {VMOfflineCityOld::create("010", "Old North", "http://old/010", 7, 2, 7),
                 VMOfflineCityOld::create("025", "Old Capital", "http://old/025", 9, 1, 1000),
                 VMOfflineCityOld::create("999", "Gone", "http://old/999", 1, 1, 6)})
                ->writeToFile((offline / "cityAggregate.plist").string()));
        auto map = manager();
        ASSERT_TRUE(map);
        auto items = map->package()->items();
        EXPECT_EQ(items.at("110000")->itemStatus(), c.installedBecomes);
        EXPECT_EQ(fs::exists(offline / "Cached" / "320100.zip"), c.partialMoved);
        EXPECT_EQ(items.at("320100")->itemStatus(), c.partialMoved ? 1 : 0);
        EXPECT_EQ(items.at("110000")->url == "http://old/010", c.urlTaken);
        for (const char* gone : {"Cached/025.zip", "Cached/999.zip", "cityAggregate.plist"})
            EXPECT_FALSE(fs::exists(offline / gone)) << gone;
    }
    // Versions compare as plain strings: "10" is older than "9".
    const auto package = VMOfflinePackage::packageWithDictionary({{"version", "10"}});
    for (const auto& [old, order] : {std::pair{"9", -1}, {"10", 0}, {"1", 1}}) {
        const auto aggregate = VMOfflineCityAggregateOld::cityAggregateWithVersion(old, {});
        EXPECT_EQ(ZUZavadevIru::packageCompareCityAggregate(*package, *aggregate) <=> 0,
                  order <=> 0);
        EXPECT_EQ(ZUZavadevIru::packageLessThanCityAggregate(*package, *aggregate), order < 0);
        EXPECT_EQ(ZUZavadevIru::packageEqualToCityAggregate(*package, *aggregate), order == 0);
        EXPECT_EQ(ZUZavadevIru::packageGreaterThanCityAggregate(*package, *aggregate), order > 0);
    }
}

TEST_F(OfflineMap, VersionCheckAsksPlainlyAndCancelsDownloadsFirst) {
    TestHTTPServer check;
    std::mutex mutex;
    std::vector<std::string> seen;
    check.server().Get(
        "/resourcec/r/init", [&](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex);
                seen.push_back(req.target + "|" + req.get_header_value("User-Agent") + "|" +
                               req.get_header_value("Range"));
            }
            check.waitAtGate();
            // Out of any integer's range: read through the saturating conversion.
            res.set_content(R"({"offlinemap":{"update":1e300}})", "application/json");
        });
    auto map = ZUZavadevIru::create({downloader_, shippedPath(), std::nullopt, check.url("/")});
    // A key never set: no question is sent, and the answer is no.
    if (VMMapServices::sharedServices()->apiKey().empty()) {
        std::atomic<int> unset{0};
        map->checkNewestVersion([&](bool newer) {
            EXPECT_FALSE(newer);
            ++unset;
        });
        ASSERT_TRUE(waitUntil([&] { return unset.load() == 1; }));
        std::lock_guard lock(mutex);
        EXPECT_TRUE(seen.empty());
    }
    auto item = map->package()->items().at("120000");
    item->url += "?stall=100000";
    Reports reports;
    map->downloadItem(item, false, reports.block());
    ASSERT_TRUE(waitUntil([&] { return reports.received() == 100000; }));

    VMMapServices::sharedServices()->setApiKey("K1");
    std::atomic<int> answers{0};
    std::atomic<bool> answer{true};
    map->checkNewestVersion([&](bool newer) {
        answer = newer;
        ++answers;
    });
    EXPECT_EQ(reports.statuses.back(), 4);
    ASSERT_TRUE(waitUntil([&] { return check.waitingAtGate() == 1; }));
    map->checkNewestVersion([&](bool) { ++answers; });
    check.releaseGate();
    ASSERT_TRUE(waitUntil([&] { return answers.load() == 1; }));
    EXPECT_FALSE(answer.load());
    {
        std::lock_guard lock(mutex);
        EXPECT_THAT(seen,
                    testing::ElementsAre("/resourcec/r/init?&key=K1&mapver=" +
                                         std::string(devserver::kOfflineCatalogueVersion) + "||"));
    }

    // Against the devserver: its own key and version say there is nothing newer.
    auto devMap = manager();
    VMMapServices::sharedServices()->setApiKey(devserver::kOfflineApiKey);
    std::atomic<int> devAnswers{0};
    devMap->checkNewestVersion([&](bool newer) {
        EXPECT_FALSE(newer);
        ++devAnswers;
    });
    ASSERT_TRUE(waitUntil([&] { return devAnswers.load() == 1; }));
}

// A server that sends a byte now and then held the check (and every later one, which waits for
// it) as long as it kept sending.
TEST_F(OfflineMap, VersionCheckEndsWhenItsTimeOutHasPassed) {
    const testsupport::HostileServer drip(' ', "", "application/json");
    ZUZavadevIru::Options options{downloader_, shippedPath(), std::nullopt, drip.dripURL("/")};
    options.versionCheckTimeout = 0.6;
    auto map = ZUZavadevIru::create(options);
    VMMapServices::sharedServices()->setApiKey("K1");
    const auto answers = std::make_shared<std::atomic<int>>(0);  // a late answer outlives the test
    const double start = Clock::realNow();
    map->checkNewestVersion([answers](bool newer) {
        EXPECT_FALSE(newer);
        ++*answers;
    });
    EXPECT_TRUE(waitUntil([&] { return answers->load() == 1; }, 2.6))
        << "still waiting after " << Clock::realNow() - start << " s";
}

}  // namespace

namespace {

constexpr const char* kChildHome = "BRISFOLD_OFFLINE_CHILD_HOME";
constexpr const char* kChildServer = "BRISFOLD_OFFLINE_CHILD_SERVER";
constexpr const char* kChildStallAt = "BRISFOLD_OFFLINE_CHILD_STALL_AT";

// Run by the test below as a child process: reports the state it starts from, then downloads
// under a throttle, printing progress, until it ends or is killed; the server holds the transfer
// at the offset given, if any.
TEST(OfflineChild, DownloadsUntilKilled) {
    const char* home = std::getenv(kChildHome);
    const char* server = std::getenv(kChildServer);
    if (!home || !server) GTEST_SKIP() << "run by KilledDownloadsResumeAndInstall";
    NSSetHomeDirectory(home);
    auto map = ZUZavadevIru::create(
        {VMDownloader::create(), std::string(home) + "/shipped.plist", std::nullopt, server});
    ASSERT_TRUE(map);
    auto item = map->package()->items().at("120000");
    std::printf(
        "state %d %lld %lld\n", item->itemStatus(), static_cast<long long>(item->downloadedSize()),
        static_cast<long long>(ZUZavadevIru::fileSizeForPath(map->cachedFilePathForItem(*item))));
    std::fflush(stdout);
    item->url += "?throttle=4000000";
    if (const char* stall = std::getenv(kChildStallAt)) item->url += "&stall=" + std::string(stall);
    std::mutex mutex;
    std::atomic<int> end{-1};
    map->downloadItem(item, false, [&](int status, const ZUZavadevIruDownloadInfo& info) {
        std::lock_guard lock(mutex);
        if (const auto* dict = std::get_if<nlohmann::json>(&info)) {
            std::printf("progress %lld\n",
                        (*dict)[ZUZavadevIruDownloadReceivedSizeKey].get<long long>());
        }
        if (status == 4 || status >= 6) {
            std::printf("end %d\n", status);
            end = status;
        }
        std::fflush(stdout);
    });
    ASSERT_TRUE(waitUntil([&] { return end.load() >= 0; }, 120));
}

TEST_F(OfflineMap, KilledDownloadsResumeAndInstall) {
    const std::string archive = *devserver::offlinePackageArchive("120000");
    const fs::path partial = home_.path() / "Documents" / "Offline" / "Cached" / "120000.zip";
    std::mt19937 random(20261207);
    const auto runChild = [&](std::optional<long long> stallAt) {
        ChildProcess::Options options;
        options.args = {"/proc/self/exe", "--gtest_filter=OfflineChild.DownloadsUntilKilled"};
        options.env = {{kChildHome, home_.path().string()}, {kChildServer, base_}};
        if (stallAt) options.env[kChildStallAt] = std::to_string(*stallAt);
        options.captureStderr = true;
        return std::make_unique<ChildProcess>(options);
    };
    // The next line starting with the prefix, or "" when the output ends first.
    const auto lineStarting = [](ChildProcess& child, const std::string& prefix,
                                 CFTimeInterval seconds = testsupport::kPatience) {
        while (auto line = child.readLine(seconds)) {
            if (line->rfind(prefix, 0) == 0) return *line;
        }
        return std::string();
    };
    for (int round = 0; round <= 20; ++round) {
        // What the child will find, before it starts changing it.
        const bool exists = fs::exists(partial);
        const long long size = exists ? static_cast<long long>(fs::file_size(partial)) : 0;
        // Killed once the transfer reaches a random point of what is left, at least a buffer's
        // worth before the end. The server holds the transfer there, so that however late a busy
        // machine lets this process see it, the child cannot have gone on to finish.
        const long long left = static_cast<long long>(archive.size()) - size -
                               static_cast<long long>(VMDownloaderOperation::kWriteThreshold);
        const long long target = size + (left > 0 ? static_cast<long long>(random() % left) : 0);
        auto child = runChild(round == 20 ? std::nullopt : std::optional(target));
        ASSERT_TRUE(child->started());
        const std::string state = lineStarting(*child, "state ");
        ASSERT_FALSE(state.empty()) << round << child->err();
        int status = -1;
        long long downloaded = -1, onDisk = -1;
        std::sscanf(state.c_str(), "state %d %lld %lld", &status, &downloaded, &onDisk);
        EXPECT_EQ(onDisk, size) << round;
        // An archive on disk, even an empty one, is a partial download of its size.
        EXPECT_EQ(status, exists ? 1 : 0) << round;
        if (exists) {
            EXPECT_EQ(downloaded, size) << round;
        }
        if (round == 20) {
            EXPECT_EQ(lineStarting(*child, "end ", 60), "end 6");
            break;
        }
        for (std::string line = target > size ? lineStarting(*child, "progress ") : "";
             !line.empty() && std::stoll(line.substr(9)) < target;
             line = lineStarting(*child, "progress ")) {
        }
        ::kill(child->pid(), SIGKILL);
        child->waitForExit();
    }
    EXPECT_TRUE(testsupport::fileTree(home_.path() / "Documents" / "zaroruda" / "data" / "vmap" /
                                      "120000") == reference("120000"));
}

}  // namespace
