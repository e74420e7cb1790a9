#include "ZUZavadevIru.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Foundation/Dispatch.h"
#include "Foundation/JSONValue.h"
#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURLConnection.h"
#include "VMMapServices.h"
#include "VMResources.h"
#include "VMZipArchive.h"
#include "ZIRidUdoDoNotBackup.h"

namespace {

// A download's first report ("waiting") is made by the thread that queued it, after queueing; a
// transfer that ends at once reports from the downloader's threads and must not overtake it, or
// the caller would see the download waiting again after it failed. Later reports wait for the
// first; one made on the queueing thread before it (a downloader that ends inside the call) is
// held and made right after it.
class FirstReport {
  public:
    void after(std::function<void()> report) {
        std::unique_lock lock(mutex_);
        if (!made_ && std::this_thread::get_id() == queueing_) {
            held_.push_back(std::move(report));
            return;
        }
        madeCv_.wait(lock, [this] { return made_; });
        lock.unlock();
        report();
    }
    void made() {
        std::vector<std::function<void()>> held;
        {
            std::lock_guard lock(mutex_);
            made_ = true;
            held.swap(held_);
        }
        madeCv_.notify_all();
        for (auto& report : held) report();
    }

  private:
    std::mutex mutex_;
    std::condition_variable madeCv_;
    bool made_ = false;
    const std::thread::id queueing_ = std::this_thread::get_id();
    std::vector<std::function<void()>> held_;
};

constexpr const char* kIndexName = "offlinePackage.plist";
constexpr const char* kOldRecordName = "cityAggregate.plist";
constexpr const char* kStagingName = ".unpacking";
constexpr const char* kPartialSuffix = ".part";
constexpr std::uint64_t kMaxVersionReplyLength = 64 * 1024;

std::string documentsDirectory() {
    const auto paths = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask);
    return paths.empty() ? NSHomeDirectory() + "/Documents" : paths.front();
}

std::string join(const std::string& directory, const std::string& name) {
    return (std::filesystem::path(directory) / name).string();
}

nlohmann::json progressInfoWithReceivedSize(std::int64_t received, std::int64_t expected) {
    return {{ZUZavadevIruDownloadReceivedSizeKey, received},
            {ZUZavadevIruDownloadExpectedSizeKey, expected}};
}

}  // namespace

ZUZavadevIru::ZUZavadevIru(Options options)
    : options_(std::move(options)),
      downloader_(options_.downloader ? options_.downloader : VMDownloader::sharedDownloader()) {}

std::shared_ptr<ZUZavadevIru> ZUZavadevIru::sharedOfflineMap() {
    static const std::shared_ptr<ZUZavadevIru> shared = create({});
    return shared;
}

std::shared_ptr<ZUZavadevIru> ZUZavadevIru::create(Options options) {
    auto manager = std::shared_ptr<ZUZavadevIru>(new ZUZavadevIru(std::move(options)));
    return manager->setup() ? manager : nullptr;
}

bool ZUZavadevIru::setup() {
    VMOfflinePackage::registerClasses();
    setupBasePath();
    return setupPackage();
}

void ZUZavadevIru::setupBasePath() {
    basePath_ = join(documentsDirectory(), "Offline");
    cachedPath_ = join(basePath_, "Cached");
    vmapPath_ = options_.vmapPath.value_or(VMResources::coreCachePath());
    NSError error;
    if (!NSFileManager::defaultManager()->createDirectoryAtPath(cachedPath_, true, &error)) {
        NSLog("%s:Error Create portion path: %s", "-[ZUZavadevIru setupBasePath]",
              error.localizedDescription.c_str());
    }
    forbidBackup();
}

void ZUZavadevIru::forbidBackup() {
    createDirectoryAndForbidBackup(vmapPath_);
    createDirectoryAndForbidBackup(basePath_);
}

bool ZUZavadevIru::setupPackage() {
    const std::string indexPath = join(basePath_, kIndexName);
    NSDataRemoveStaleTemporaries(indexPath);
    std::shared_ptr<VMOfflinePackage> package;
    std::error_code missing;
    if (std::filesystem::exists(indexPath, missing)) {
        NSError error;
        package = VMOfflinePackage::packageWithContentsOfFile(indexPath, &error);
        // A damaged index is as good as none: the shipped catalogue and the disk rebuild it.
        if (!package)
            NSLog("offline index unreadable, rebuilt: %s", error.localizedDescription.c_str());
    }
    if (!package) {
        const auto shipped = options_.shippedPackagePath
                                 ? options_.shippedPackagePath
                                 : VMResources::sharedResources()->offlinePackagePath();
        if (shipped) package = VMOfflinePackage::packageWithContentsOfFile(*shipped);
        if (!package) {
            NSLog("exception: %s", "ZIRidUdoException: offlinePackage.plist 缺失!");
            return false;
        }
        makeCompatibilityToPackage(*package);
        std::lock_guard lock(packageMutex_);
        package_ = package;
        writeIndex();
    }
    {
        std::lock_guard lock(packageMutex_);
        package_ = package;
    }
    setupStatus();
    return true;
}

// The index may name packages whose files went after it was last written (a clearing or a
// failed install whose index write failed too): those are listed as not downloaded again.
void ZUZavadevIru::setupStatus() {
    std::lock_guard lock(packageMutex_);
    auto items = package_->items();
    finishInstalls(items);
    bool unlisted = false;
    for (const auto& [adcode, item] : items) {
        const auto status = item->itemStatus();
        if ((status == ZUZavadevIruItemStatusInstalled ||
             status == ZUZavadevIruItemStatusExpired) &&
            !hasPackageFiles(adcode)) {
            item->setItemStatus(ZUZavadevIruItemStatusNone);
            item->setDownloadedSize(0);
            unlisted = true;
        }
    }
    std::map<std::string, bool> found;
    if (auto walk = NSFileManager::defaultManager()->enumeratorAtPath(cachedPath_)) {
        while (auto entry = walk->nextObject()) {
            const std::filesystem::path relative = *entry;
            if (relative.extension() != ".zip") continue;
            const std::string adcode = relative.parent_path().empty()
                                           ? relative.stem().string()
                                           : (relative.parent_path() / relative.stem()).string();
            const auto it = items.find(adcode);
            if (it == items.end()) continue;
            it->second->setItemStatus(ZUZavadevIruItemStatusCached);
            it->second->setDownloadedSize(fileSizeForPath(join(cachedPath_, *entry)));
            found[adcode] = true;
        }
    }
    for (const auto& [adcode, item] : items) {
        if (item->itemStatus() == ZUZavadevIruItemStatusCached && !found.count(adcode)) {
            item->setItemStatus(ZUZavadevIruItemStatusNone);
        }
    }
    NSError error;
    if (unlisted && !writeIndex(&error))
        NSLog("offline index not written: %s", error.localizedDescription.c_str());
}

std::string ZUZavadevIru::stagingRoot() const { return join(vmapPath_, kStagingName); }

// A package's files are the folder vmap/<adcode> of the engine's data directory.
bool ZUZavadevIru::hasPackageFiles(const std::string& adcode) const {
    if (!isFileSafeAdcode(adcode)) return false;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator
             it(std::filesystem::path(vmapPath_) / "vmap" / adcode, error),
         end;
         !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) return true;
    }
    return false;
}

bool ZUZavadevIru::moveUnpackedFiles(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) files.push_back(it->path());
    }
    if (error) return false;
    bool moved = true;
    for (const auto& file : files) {
        const fs::path target = fs::path(vmapPath_) / file.lexically_relative(folder);
        std::error_code failed;
        fs::create_directories(target.parent_path(), failed);
        fs::rename(file, target, failed);
        if (failed) {
            NSLog("offline package file not moved into place: %s: %s", target.c_str(),
                  failed.message().c_str());
            moved = false;
        }
    }
    if (moved) fs::remove_all(folder, error);
    return moved;
}

void ZUZavadevIru::finishInstalls(const VMOfflinePackage::ItemMap& items) {
    namespace fs = std::filesystem;
    std::vector<fs::path> left;
    std::error_code error;
    for (fs::directory_iterator it(stagingRoot(), error), end; !error && it != end;
         it.increment(error))
        left.push_back(it->path());
    for (const auto& folder : left) {
        const auto it = items.find(folder.filename().string());
        if (it != items.end() && it->second->itemStatus() == ZUZavadevIruItemStatusInstalled &&
            moveUnpackedFiles(folder.string()))
            continue;
        fs::remove_all(folder, error);
    }
    fs::remove(stagingRoot(), error);
}

void ZUZavadevIru::makeCompatibilityToPackage(VMOfflinePackage& package) {
    const std::string path = join(basePath_, kOldRecordName);
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) return;
    NSError error;
    if (auto aggregate = VMOfflineCityAggregateOld::cityAggregateWithContentsOfFile(path, &error)) {
        packageMakeCompatibilityWithCityAggregate(package, *aggregate);
    } else {
        NSLog("old offline record unreadable, dropped: %s", error.localizedDescription.c_str());
    }
    NSFileManager::defaultManager()->removeItemAtPath(path);
}

void ZUZavadevIru::packageMakeCompatibilityWithCityAggregate(
    VMOfflinePackage& package, const VMOfflineCityAggregateOld& aggregate) {
    const bool newer = packageGreaterThanCityAggregate(package, aggregate);
    const bool older = packageLessThanCityAggregate(package, aggregate);
    const auto byCityCode = package.cityCodeItems();
    std::vector<std::string> removals;
    std::map<std::string, std::string> moves;
    for (const auto& old : aggregate.citys) {
        const auto it = byCityCode.find(old->cityCode);
        const std::shared_ptr<VMOfflineCity> item = it == byCityCode.end() ? nullptr : it->second;
        if (newer) {
            if (old->status == ZUZavadevIruItemStatusCached) {
                removals.push_back(old->cityCode);
            } else if (item && (old->status == ZUZavadevIruItemStatusInstalled ||
                                old->status == ZUZavadevIruItemStatusExpired)) {
                item->setItemStatus(ZUZavadevIruItemStatusExpired);
            }
            continue;
        }
        if (!item) {
            if (old->status == ZUZavadevIruItemStatusCached) removals.push_back(old->cityCode);
            continue;
        }
        item->setItemStatus(static_cast<std::int32_t>(old->status));
        item->setDownloadedSize(old->downloadedSize);
        if (older) {
            item->url = old->urlString;
            item->name = old->cityName;
            item->size = old->size;
        }
        if (old->status == ZUZavadevIruItemStatusCached) {
            moves[cachedFilePathForCityCode(old->cityCode)] = cachedFilePathForItem(*item);
        }
    }
    removeCachedFilesForCityCodes(removals);
    moveCachedFileWithDictionary(moves);
}

int ZUZavadevIru::packageCompareCityAggregate(const VMOfflinePackage& package,
                                              const VMOfflineCityAggregateOld& aggregate) {
    return package.version.compare(aggregate.version);
}

bool ZUZavadevIru::packageEqualToCityAggregate(const VMOfflinePackage& package,
                                               const VMOfflineCityAggregateOld& aggregate) {
    return packageCompareCityAggregate(package, aggregate) == 0;
}

bool ZUZavadevIru::packageGreaterThanCityAggregate(const VMOfflinePackage& package,
                                                   const VMOfflineCityAggregateOld& aggregate) {
    return packageCompareCityAggregate(package, aggregate) > 0;
}

bool ZUZavadevIru::packageLessThanCityAggregate(const VMOfflinePackage& package,
                                                const VMOfflineCityAggregateOld& aggregate) {
    return packageCompareCityAggregate(package, aggregate) < 0;
}

bool ZUZavadevIru::writeIndex(NSError* error) {
    std::lock_guard lock(packageMutex_);
    return package_ && package_->writeToFile(join(basePath_, kIndexName), error);
}

std::shared_ptr<VMOfflinePackage> ZUZavadevIru::package() const {
    std::lock_guard lock(packageMutex_);
    return package_;
}

std::vector<std::shared_ptr<VMOfflineProvince>> ZUZavadevIru::provinces() const {
    return package()->provinces;
}

std::vector<std::shared_ptr<VMOfflineItemMunicipality>> ZUZavadevIru::municipalities() const {
    return package()->municipalities;
}

std::shared_ptr<VMOfflineItemNationWide> ZUZavadevIru::nationWide() const {
    return package()->nationWide;
}

std::string ZUZavadevIru::version() const { return package()->version; }

std::vector<std::shared_ptr<VMOfflineCity>> ZUZavadevIru::cities() const {
    const auto current = package();
    std::vector<std::shared_ptr<VMOfflineCity>> list(current->municipalities.begin(),
                                                     current->municipalities.end());
    for (const auto& province : current->provinces) {
        list.insert(list.end(), province->cities.begin(), province->cities.end());
    }
    return list;
}

std::string ZUZavadevIru::cachedFilePathForItem(const VMOfflineItem& item) const {
    return cachedFilePathForCityCode(item.adcode);
}

std::shared_ptr<NSURL> ZUZavadevIru::URLForItem(const VMOfflineItem& item) const {
    if (item.url.empty() || item.url.find("://") != std::string::npos)
        return NSURL::URLWithString(item.url);
    // The shipped catalogue names its packages relative to the server the kit is set to.
    return NSURL::URLWithString(options_.versionCheckServer.value_or(
                                    VMMapServices::sharedServices()->internalServerAddress()) +
                                item.url);
}

bool ZUZavadevIru::isFileSafeAdcode(const std::string& code) {
    return !code.empty() && code.size() <= kMaxAdcodeLength &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string ZUZavadevIru::cachedFilePathForCityCode(const std::string& code) const {
    if (!isFileSafeAdcode(code)) return {};
    return join(cachedPath_, code + ".zip");
}

std::int64_t ZUZavadevIru::fileSizeForPath(const std::string& path) {
    if (path.empty()) return 0;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

void ZUZavadevIru::downloadItem(const std::shared_ptr<VMOfflineItem>& item,
                                bool shouldContinueWhenAppEntersBackground,
                                DownloadBlock downloadBlock) {
    if (!item) return;
    const auto refuse = [&](long code, const std::string& why) {
        if (downloadBlock) {
            downloadBlock(ZUZavadevIruDownloadStatusError,
                          NSError::make(ZUZavadevIruErrorDomain, code,
                                        "Error: adcode = " + item->adcode + why));
        }
    };
    // The code names the archive's file: a catalogue from a server could name any file.
    if (!isFileSafeAdcode(item->adcode)) return refuse(-5, " Invalid");
    // The catalogue's size is where the download stops: one of no known size could fill the disk.
    if (item->size <= 0) return refuse(-6, " No Size");
    bool queued = false;
    const auto first = std::make_shared<FirstReport>();
    {
        std::lock_guard catalogue(packageMutex_);
        // Held across setting the shared headers, queueing and recording, so that another
        // download cannot slip its headers in between and a fast finish finds its entry.
        std::lock_guard running(runningMutex_);
        if (runningOperations_.count(item->adcode) ||
            (item->itemStatus() == ZUZavadevIruItemStatusInstalled &&
             hasPackageFiles(item->adcode))) {
            return;
        }
        const std::string path = cachedFilePathForItem(*item);
        std::int64_t offset =
            item->itemStatus() == ZUZavadevIruItemStatusCached ? fileSizeForPath(path) : 0;
        // Bytes past the package's end are no start of it.
        if (offset > item->size) offset = 0;
        // A fresh download must not follow whatever stale bytes lie there.
        if (offset == 0) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
        downloader_->setValue(NSStringWithFormat("bytes=%lld-", static_cast<long long>(offset)),
                              "Range");
        downloader_->setValue(
            "VAVA SDK iOS Map " + VMMapServices::sharedServices()->SDKVersion().substr(1),
            "User-Agent");
        std::weak_ptr<ZUZavadevIru> weak = sharedSelf<ZUZavadevIru>();
        auto operation = downloader_->downloadWithURL(
            URLForItem(*item), path, shouldContinueWhenAppEntersBackground,
            [weak, item, downloadBlock, first](std::int64_t received, std::int64_t expected) {
                first->after([=] {
                    if (auto self = weak.lock())
                        self->progress(item, downloadBlock, received, expected);
                });
            },
            [weak, item, downloadBlock, first](const NSErrorOpt& error) {
                first->after([=] {
                    if (auto self = weak.lock()) self->completed(item, downloadBlock, error);
                });
            },
            [weak, item, downloadBlock, first] {
                first->after([=] {
                    if (auto self = weak.lock()) self->cancelled(item, downloadBlock);
                });
            },
            static_cast<std::uint64_t>(item->size));
        if (operation) runningOperations_[item->adcode] = operation;
        queued = operation != nullptr;
    }
    // Outside the locks, as every call of the block.
    if (!queued) {
        if (downloadBlock) {
            downloadBlock(ZUZavadevIruDownloadStatusError,
                          NSError::make(NSURLErrorDomain, NSURLErrorBadURL, "bad URL"));
        }
        return;
    }
    if (downloadBlock) downloadBlock(ZUZavadevIruDownloadStatusWaiting, std::monostate());
    first->made();
}

void ZUZavadevIru::progress(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                            std::int64_t received, std::int64_t expected) {
    if (!block) return;
    if (expected == -1) {
        block(ZUZavadevIruDownloadStatusStart, std::monostate());
        return;
    }
    std::int64_t offset = 0;
    {
        std::lock_guard running(runningMutex_);
        if (const auto it = runningOperations_.find(item->adcode); it != runningOperations_.end())
            offset = it->second->fileOffset();
    }
    block(ZUZavadevIruDownloadStatusProgress,
          progressInfoWithReceivedSize(offset + received, offset + expected));
}

// Unpacking a package takes seconds: it runs, and the blocks are called, outside the catalogue
// lock, so that reads of the catalogue answer at once and a block may wait for another thread.
void ZUZavadevIru::completed(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block,
                             const NSErrorOpt& error) {
    if (!error) {
        if (block) {
            block(ZUZavadevIruDownloadStatusCompleted, std::monostate());
            block(ZUZavadevIruDownloadStatusUnzip, std::monostate());
        }
        install(item, block);
        return;
    }
    setItemState(*item, ZUZavadevIruItemStatusCached,
                 fileSizeForPath(cachedFilePathForItem(*item)));
    applySizeRule(item, block, *error);
}

void ZUZavadevIru::setItemState(VMOfflineItem& item, std::int32_t status,
                                std::int64_t downloadedSize) {
    std::lock_guard catalogue(packageMutex_);
    item.setItemStatus(status);
    item.setDownloadedSize(downloadedSize);
}

void ZUZavadevIru::applySizeRule(const std::shared_ptr<VMOfflineItem>& item,
                                 const DownloadBlock& block, ZUZavadevIruDownloadInfo info) {
    if (item->size != item->downloadedSize()) {
        executeCompleteWithItem(item, block, ZUZavadevIruDownloadStatusError, info);
        return;
    }
    // Everything is on disk after all.
    install(item, block);
}

// The package is unpacked beside its files, and replaces them only once the index says it is
// installed: an update that cannot be recorded leaves the old ones as they were. The archive goes
// then too. An unpacking short of room, or an index that cannot be written, keeps it, as a
// download short of room keeps its bytes: the next try unpacks it without fetching it again.
void ZUZavadevIru::install(const std::shared_ptr<VMOfflineItem>& item, const DownloadBlock& block) {
    const std::string path = cachedFilePathForItem(*item);
    const std::string unpacked = join(stagingRoot(), item->adcode);
    const std::string partial = unpacked + kPartialSuffix;
    NSError error;
    bool recorded = false;
    std::error_code ignored;
    std::filesystem::remove_all(unpacked, ignored);
    std::filesystem::remove_all(partial, ignored);
    // Whole before the index may name it: a start after a crash moves only whole ones into place.
    if (unzipDownloadedFile(path, item->adcode, partial, &error)) {
        std::error_code renamed;
        std::filesystem::rename(partial, unpacked, renamed);
        if (renamed) {
            error = NSError::make(ZUZavadevIruErrorDomain, -4,
                                  "Error: adcode = " + item->adcode + " Expand File");
        } else {
            std::lock_guard catalogue(packageMutex_);
            item->setItemStatus(ZUZavadevIruItemStatusInstalled);
            recorded = writeIndex(&error);
            if (!recorded) item->setItemStatus(ZUZavadevIruItemStatusCached);
        }
    }
    if (!recorded) {
        std::filesystem::remove_all(partial, ignored);
        std::filesystem::remove_all(unpacked, ignored);
        const std::int64_t kept = fileSizeForPath(path);
        setItemState(*item, kept > 0 ? ZUZavadevIruItemStatusCached : ZUZavadevIruItemStatusNone,
                     kept);
        executeCompleteWithItem(item, block, ZUZavadevIruDownloadStatusError, error);
        return;
    }
    // What cannot be moved now is moved by the next start.
    moveUnpackedFiles(unpacked);
    std::filesystem::remove(path, ignored);
    endDownload(item, block, ZUZavadevIruDownloadStatusFinished, std::monostate());
}

void ZUZavadevIru::cancelled(const std::shared_ptr<VMOfflineItem>& item,
                             const DownloadBlock& block) {
    const std::int64_t size = fileSizeForPath(cachedFilePathForItem(*item));
    setItemState(*item, size > 0 ? ZUZavadevIruItemStatusCached : ZUZavadevIruItemStatusNone, size);
    executeCompleteWithItem(item, block, ZUZavadevIruDownloadStatusCancelled, std::monostate());
}

// An end that installs nothing only logs an index it cannot write: the next start takes the states
// of partial downloads from the disk.
void ZUZavadevIru::executeCompleteWithItem(const std::shared_ptr<VMOfflineItem>& item,
                                           const DownloadBlock& block, int status,
                                           const ZUZavadevIruDownloadInfo& info) {
    NSError error;
    if (!writeIndex(&error))
        NSLog("offline index not written: %s", error.localizedDescription.c_str());
    endDownload(item, block, status, info);
}

void ZUZavadevIru::endDownload(const std::shared_ptr<VMOfflineItem>& item,
                               const DownloadBlock& block, int status,
                               const ZUZavadevIruDownloadInfo& info) {
    // The entry goes before the block hears the end: a download of the item started in answer
    // to it (a retry after an error) would otherwise find it and be dropped without a word. The
    // operation itself lives until the block has returned.
    std::shared_ptr<VMDownloaderOperation> finished;
    {
        std::lock_guard running(runningMutex_);
        if (const auto it = runningOperations_.find(item->adcode); it != runningOperations_.end()) {
            finished = std::move(it->second);
            runningOperations_.erase(it);
        }
    }
    if (block) block(status, info);
}

bool ZUZavadevIru::unzipDownloadedFile(const std::string& path, const std::string& adcode,
                                       const std::string& folder, NSError* error) {
    auto zip = VMZipArchive::create();
    if (options_.freeSpace) zip->setFreeSpaceQuery(options_.freeSpace);
    bool success = false;
    bool outOfSpace = false;
    if (zip->UnzipOpenFile(path)) {
        // Checks the room for the files the central directory declares before writing any.
        success = zip->UnzipFileTo(folder, true);
        outOfSpace = !success && zip->ranOutOfSpace();
        // Half a package is no package: what it had unpacked would only fill the disk.
        if (!success) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
        if (!success && error) {
            *error = outOfSpace ? VMDownloaderOperation::constructOutOfSpaceError()
                                : NSError::make(ZUZavadevIruErrorDomain, -4,
                                                "Error: adcode = " + adcode + " Expand File");
        }
    } else if (error) {
        *error = NSError::make(ZUZavadevIruErrorDomain, -3,
                               "Error: adcode = " + adcode + " Open Zip File");
    }
    zip->UnzipCloseFile();
    // An archive that cannot be unpacked goes; one waiting for room or for the index stays.
    if (!success && !outOfSpace) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return success;
}

bool ZUZavadevIru::isDownloadingForItem(const std::shared_ptr<VMOfflineItem>& item) const {
    if (!item) return false;
    std::lock_guard running(runningMutex_);
    return runningOperations_.count(item->adcode) > 0;
}

void ZUZavadevIru::pauseItem(const std::shared_ptr<VMOfflineItem>& item) {
    if (!item) return;
    std::shared_ptr<VMDownloaderOperation> operation;
    {
        std::lock_guard running(runningMutex_);
        const auto it = runningOperations_.find(item->adcode);
        if (it == runningOperations_.end()) return;
        operation = it->second;
    }
    operation->cancel();
}

void ZUZavadevIru::cancelAll() {
    std::vector<std::shared_ptr<VMDownloaderOperation>> operations;
    {
        std::lock_guard running(runningMutex_);
        for (const auto& [adcode, operation] : runningOperations_) operations.push_back(operation);
    }
    for (const auto& operation : operations) operation->cancel();
}

void ZUZavadevIru::clearDisk() {
    cancelAll();
    std::lock_guard catalogue(packageMutex_);
    if (!clearAndReconstructDirectoryAtPath(vmapPath_)) return;
    if (!clearAndReconstructDirectoryAtPath(cachedPath_)) {
        NSLog("%s: clear cached path", "-[ZUZavadevIru clearDisk]");
        return;
    }
    updateItemStatusToNoneIncludingCached(true);
    writeIndex();
    forbidBackup();
}

bool ZUZavadevIru::clearAndReconstructDirectoryAtPath(const std::string& path) {
    auto fileManager = NSFileManager::defaultManager();
    bool isDirectory = false;
    if (fileManager->fileExistsAtPath(path, &isDirectory)) {
        if (!isDirectory) {
            NSLog("%s: parameter path: %s, is not a directory.",
                  "-[ZUZavadevIru clearAndReconstructDirectoryAtPath:]", path.c_str());
            return false;
        }
        if (!fileManager->removeItemAtPath(path)) return false;
        NSError error;
        if (!fileManager->createDirectoryAtPath(path, true, &error)) {
            NSLog("%s: Creating directory occurs error: %s",
                  "-[ZUZavadevIru clearAndReconstructDirectoryAtPath:]",
                  error.localizedDescription.c_str());
        }
        return true;
    }
    return fileManager->createDirectoryAtPath(path, true);
}

void ZUZavadevIru::clearCache() {
    auto fileManager = NSFileManager::defaultManager();
    NSError error;
    if (!fileManager->removeItemAtPath(cachedPath_, &error)) {
        NSLog("%s:Error remove portion path: %s", "-[ZUZavadevIru clearCache]",
              error.localizedDescription.c_str());
    }
    if (!fileManager->createDirectoryAtPath(cachedPath_, true, &error)) {
        NSLog("%s:Error Create portion path: %s", "-[ZUZavadevIru clearCache]",
              error.localizedDescription.c_str());
    }
}

void ZUZavadevIru::updateItemStatusToNoneIncludingCached(bool includingCached) {
    std::lock_guard catalogue(packageMutex_);
    package_->scanItemsWithBlock([includingCached](const std::shared_ptr<VMOfflineItem>& item) {
        if (!includingCached && item->itemStatus() == ZUZavadevIruItemStatusCached) return;
        item->setItemStatus(ZUZavadevIruItemStatusNone);
        item->setDownloadedSize(0);
    });
}

void ZUZavadevIru::deleteCachedFileForItems(
    const std::vector<std::shared_ptr<VMOfflineItem>>& items) {
    std::vector<std::string> codes;
    for (const auto& item : items) codes.push_back(item->adcode);
    removeCachedFilesForCityCodes(codes);
}

void ZUZavadevIru::removeCachedFilesForCityCodes(const std::vector<std::string>& codes) {
    for (const auto& code : codes) {
        const std::string path = cachedFilePathForCityCode(code);
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove(path, ignored);
    }
}

void ZUZavadevIru::moveCachedFileWithDictionary(const std::map<std::string, std::string>& moves) {
    for (const auto& [from, to] : moves) {
        if (from == to || from.empty() || to.empty()) continue;
        NSFileManager::defaultManager()->moveItemAtPath(from, to);
    }
}

void ZUZavadevIru::checkNewestVersion(std::function<void(bool)> block) {
    if (checkNewestVersionIsRunning_.exchange(true)) return;
    cancelAll();
    std::weak_ptr<ZUZavadevIru> weak = sharedSelf<ZUZavadevIru>();
    DispatchQueue::global()->async([weak, block = std::move(block)] {
        auto self = weak.lock();
        if (!self) return;
        const std::string apiKey = VMMapServices::sharedServices()->apiKey();
        bool result = self->checkLocalVersion(self->version(), apiKey);
        if (result) {
            auto newest = self->checkoutNewestPackageWithAPIKey(apiKey);
            result = false;
            if (newest) {
                std::lock_guard catalogue(self->packageMutex_);
                self->mergeFrom(*self->package_, *newest);
                self->package_ = newest;
                newest->invalidateItems();
                self->writeIndex();
                result = true;
            }
        }
        if (block) block(result);
        self->checkNewestVersionIsRunning_ = false;
    });
}

bool ZUZavadevIru::checkLocalVersion(const std::string& localVersion, const std::string& apiKey) {
    if (localVersion.empty() || apiKey.empty()) {
        NSLog("InvalidArgumentException %s",
              ("argument {localVersion = " + localVersion + ", apiKey = " + apiKey + "}").c_str());
        return false;
    }
    const std::string base = options_.versionCheckServer.value_or(
        VMMapServices::sharedServices()->internalServerAddress());
    const auto url =
        NSURL::URLWithString(base + NSStringWithFormat("resourcec/r/init?&key=%s&mapver=%s",
                                                       apiKey.c_str(), localVersion.c_str()));
    if (!url) return false;
    auto request = NSMutableURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy,
                                                       options_.versionCheckTimeout);
    // The answer is a few bytes of JSON; anything longer is not one.
    request->setMaximumResponseLength(kMaxVersionReplyLength);
    const auto result = NSURLConnection::sendSynchronousRequest(request);
    if (result.error || result.data.empty()) return false;
    const auto json = nlohmann::json::parse(result.data.begin(), result.data.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) return false;
    const auto offline = json.find("offlinemap");
    if (offline == json.end() || !offline->is_object()) return false;
    const auto update = offline->find("update");
    return update != offline->end() && integerValue(*update) != 0;
}

std::shared_ptr<VMOfflinePackage> ZUZavadevIru::checkoutNewestPackageWithAPIKey(
    const std::string& /*apiKey*/) {
    // No source of newer catalogues exists.
    return nullptr;
}

void ZUZavadevIru::mergeFrom(VMOfflinePackage& from, VMOfflinePackage& to) {
    const auto oldItems = from.items();
    std::vector<std::shared_ptr<VMOfflineItem>> stale;
    to.scanItemsWithBlock([&](const std::shared_ptr<VMOfflineItem>& item) {
        const auto it = oldItems.find(item->adcode);
        if (it == oldItems.end() || it->second->itemStatus() == ZUZavadevIruItemStatusNone) return;
        const auto& old = it->second;
        if (item->compare(*old) <= 0) {
            old->copyTo(*item);
        } else if (old->itemStatus() != ZUZavadevIruItemStatusCached) {
            item->setItemStatus(ZUZavadevIruItemStatusExpired);
        } else {
            stale.push_back(old);
        }
    });
    deleteCachedFileForItems(stale);
}
