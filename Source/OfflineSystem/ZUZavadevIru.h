#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "VMDownloader/VMDownloader.h"
#include "VMOfflineCityAggregateOld.h"
#include "VMOfflinePackage.h"

inline constexpr const char* ZUZavadevIruDownloadReceivedSizeKey =
    "ZUZavadevIruDownloadReceivedSizeKey";
inline constexpr const char* ZUZavadevIruDownloadExpectedSizeKey =
    "ZUZavadevIruDownloadExpectedSizeKey";
inline constexpr const char* ZUZavadevIruErrorDomain = "ZUZavadevIruErrorDomain";

// What a download reports: 0 queued, 1 started, 2 progress, 3 received, 4 cancelled or paused,
// 5 unpacking, 6 installed, 7 failed.
enum ZUZavadevIruDownloadStatus : int {
    ZUZavadevIruDownloadStatusWaiting = 0,
    ZUZavadevIruDownloadStatusStart = 1,
    ZUZavadevIruDownloadStatusProgress = 2,
    ZUZavadevIruDownloadStatusCompleted = 3,
    ZUZavadevIruDownloadStatusCancelled = 4,
    ZUZavadevIruDownloadStatusUnzip = 5,
    ZUZavadevIruDownloadStatusFinished = 6,
    ZUZavadevIruDownloadStatusError = 7,
};

// Item states kept in the catalogue.
enum ZUZavadevIruItemStatus : int {
    ZUZavadevIruItemStatusNone = 0,
    ZUZavadevIruItemStatusCached = 1,
    ZUZavadevIruItemStatusInstalled = 2,
    ZUZavadevIruItemStatusExpired = 3,
};

// The progress dictionary, the error, or nothing.
using ZUZavadevIruDownloadInfo = std::variant<std::monostate, nlohmann::json, NSError>;

// Downloads city packages one at a time into Documents/Offline/Cached, resumes them with range
// requests, unpacks them into the engine's data directory and keeps each item's state in the
// index Documents/Offline/offlinePackage.plist.
//
// Locks: the catalogue lock covers item states and the index file; the table of running
// downloads has its own. Whoever needs both takes the catalogue lock first, and neither is held
// while an operation is cancelled (its cancel path takes both on the cancelling thread).
class ZUZavadevIru : public NSObject {
  public:
    using DownloadBlock = std::function<void(int status, const ZUZavadevIruDownloadInfo& info)>;

    // The answer is a few bytes: a check that has not had them by then will not.
    static constexpr double kVersionCheckTimeout = 15.0;

    struct Options {
        std::shared_ptr<VMDownloader> downloader;       // the shared one when empty
        std::optional<std::string> shippedPackagePath;  // the resources' catalogue when unset
        std::optional<std::string> vmapPath;            // the engine's data directory when unset
        std::optional<std::string> versionCheckServer;  // the map data server when unset
        // Seconds by which the version check has its answer or fails.
        double versionCheckTimeout = kVersionCheckTimeout;
        // The free bytes in the folder packages unpack into: the file system's own answer when
        // unset; nullopt when unknown.
        std::function<std::optional<std::uint64_t>(const std::string& folder)> freeSpace = nullptr;
    };

    // The one instance; null when start-up failed.
    static std::shared_ptr<ZUZavadevIru> sharedOfflineMap();
    // An instance of its own, for a home chosen beforehand (tests, tools). Null on failure.
    static std::shared_ptr<ZUZavadevIru> create(Options options);

    std::vector<std::shared_ptr<VMOfflineProvince>> provinces() const;
    std::vector<std::shared_ptr<VMOfflineItemMunicipality>> municipalities() const;
    std::shared_ptr<VMOfflineItemNationWide> nationWide() const;
    std::string version() const;
    std::vector<std::shared_ptr<VMOfflineCity>> cities() const;
    std::vector<std::shared_ptr<VMOfflineCity>> offlineCities() const { return cities(); }
    std::shared_ptr<VMOfflinePackage> package() const;

    void downloadItem(const std::shared_ptr<VMOfflineItem>& item,
                      bool shouldContinueWhenAppEntersBackground, DownloadBlock downloadBlock);
    void downloadCity(const std::shared_ptr<VMOfflineItem>& item,
                      bool shouldContinueWhenAppEntersBackground, DownloadBlock downloadBlock) {
        downloadItem(item, shouldContinueWhenAppEntersBackground, std::move(downloadBlock));
    }
    void downloadCity(const std::shared_ptr<VMOfflineItem>& item, DownloadBlock downloadBlock) {
        downloadItem(item, false, std::move(downloadBlock));
    }
    bool isDownloadingForItem(const std::shared_ptr<VMOfflineItem>& item) const;
    bool isDownloadingForCity(const std::shared_ptr<VMOfflineItem>& item) const {
        return isDownloadingForItem(item);
    }
    void pauseItem(const std::shared_ptr<VMOfflineItem>& item);
    void pause(const std::shared_ptr<VMOfflineItem>& item) { pauseItem(item); }
    void cancelAll();
    void clearDisk();
    void clearCache();
    // The block runs on a background queue; not at all when a check is already running.
    void checkNewestVersion(std::function<void(bool)> block);

    const std::string& basePath() const { return basePath_; }
    const std::string& cachedPath() const { return cachedPath_; }
    const std::string& vmapPath() const { return vmapPath_; }
    // Empty for a code that is not a plain administrative code (digits only): codes come from
    // servers and must never name a file outside the cache.
    std::string cachedFilePathForItem(const VMOfflineItem& item) const;
    std::string cachedFilePathForCityCode(const std::string& code) const;
    static bool isFileSafeAdcode(const std::string& code);
    // The item's package; a URL without a scheme is taken relative to the map data server.
    std::shared_ptr<NSURL> URLForItem(const VMOfflineItem& item) const;
    static constexpr std::size_t kMaxAdcodeLength = 12;
    static std::int64_t fileSizeForPath(const std::string& path);
    // The catalogue's version against an old record's, as plain strings ("10" before "9"):
    // negative, zero or positive as the catalogue's is older, the same or newer.
    static int packageCompareCityAggregate(const VMOfflinePackage& package,
                                           const VMOfflineCityAggregateOld& aggregate);
    static bool packageEqualToCityAggregate(const VMOfflinePackage& package,
                                            const VMOfflineCityAggregateOld& aggregate);
    static bool packageGreaterThanCityAggregate(const VMOfflinePackage& package,
                                                const VMOfflineCityAggregateOld& aggregate);
    static bool packageLessThanCityAggregate(const VMOfflinePackage& package,
                                             const VMOfflineCityAggregateOld& aggregate);

  private:
    explicit ZUZavadevIru(Options options);
    bool setup();
    void setupBasePath();
    bool setupPackage();
    void setupStatus();
    void forbidBackup();
    void makeCompatibilityToPackage(VMOfflinePackage& package);
    void packageMakeCompatibilityWithCityAggregate(VMOfflinePackage& package,
                                                   const VMOfflineCityAggregateOld& aggregate);
    bool writeIndex(NSError* error = nullptr);

    void progress(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                  std::int64_t received, std::int64_t expected);
    void completed(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                   const NSErrorOpt& error);
    void cancelled(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block);
    void setItemState(VMOfflineItem& item, std::int32_t status, std::int64_t downloadedSize);
    void applySizeRule(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                       ZUZavadevIruDownloadInfo info);
    void executeCompleteWithItem(const std::shared_ptr<VMOfflineItem>& item,
                                 const DownloadBlock& block, int status,
                                 const ZUZavadevIruDownloadInfo& info);
    // The download's end once the index holds it: its entry goes, then the block hears it.
    void endDownload(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                     int status, const ZUZavadevIruDownloadInfo& info);
    void install(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block);
    // Unpacks into the folder, which holds nothing else after a failure.
    bool unzipDownloadedFile(const std::string& path, const std::string& adcode,
                             const std::string& folder, NSError* error);
    // Where a package is unpacked before the index records it, below the engine's data directory
    // so that its files move into place by renaming.
    std::string stagingRoot() const;
    bool hasPackageFiles(const std::string& adcode) const;
    // Renames the unpacked files over the package's, then removes the folder; false leaves what
    // could not be moved for the next start.
    bool moveUnpackedFiles(const std::string& folder);
    // What the last run left unpacked: moved into place when the index records the package,
    // removed otherwise.
    void finishInstalls(const VMOfflinePackage::ItemMap& items);

    bool checkLocalVersion(const std::string& localVersion, const std::string& apiKey);
    std::shared_ptr<VMOfflinePackage> checkoutNewestPackageWithAPIKey(const std::string& apiKey);
    void mergeFrom(VMOfflinePackage& from, VMOfflinePackage& to);
    void deleteCachedFileForItems(const std::vector<std::shared_ptr<VMOfflineItem>>& items);
    void removeCachedFilesForCityCodes(const std::vector<std::string>& codes);
    void moveCachedFileWithDictionary(const std::map<std::string, std::string>& moves);
    void updateItemStatusToNoneIncludingCached(bool includingCached);
    bool clearAndReconstructDirectoryAtPath(const std::string& path);

    const Options options_;
    std::shared_ptr<VMDownloader> downloader_;
    std::string basePath_, cachedPath_, vmapPath_;

    mutable std::recursive_mutex packageMutex_;  // the catalogue lock
    std::shared_ptr<VMOfflinePackage> package_;

    mutable std::recursive_mutex runningMutex_;
    std::map<std::string, std::shared_ptr<VMDownloaderOperation>> runningOperations_;

    std::atomic<bool> checkNewestVersionIsRunning_{false};
};
