#include "VMDataDownloader.h"

#include <vector>

#include "Foundation/NSURL.h"
#include "Foundation/NSURLLoader.h"

std::shared_ptr<NSMutableURLRequest> VMDataDownloader::requestWithURL(std::shared_ptr<NSURL> url,
                                                                      double timeout) {
    auto request = NSMutableURLRequest::requestWithURL(std::move(url),
                                                       NSURLRequestUseProtocolCachePolicy, timeout);
    request->setMaximumResponseLength(kMaxAnswerLength);
    return request;
}

std::shared_ptr<VMDataDownloader> VMDataDownloader::create() {
    return std::shared_ptr<VMDataDownloader>(new VMDataDownloader());
}

std::shared_ptr<VMDataDownloader> VMDataDownloader::sharedInstance() {
    static const std::shared_ptr<VMDataDownloader> shared = create();
    return shared;
}

VMDataDownloader::VMDataDownloader() {
    downloadQueue_->setMaxConcurrentOperationCount(kMaxRunning);
    // The URL loader's global set-up (curl's, and the TLS library's under it) is made here, on
    // the thread that makes the downloader, rather than on whichever queue thread loads first:
    // it is not safe to run beside other threads, and the TLS library keeps state of its own on
    // the thread that ran it.
    NSURLLoader::shared();
    feeder_ = std::thread([this] { startDownloader(); });
}

VMDataDownloader::~VMDataDownloader() {
    cancelAllDownload();
    {
        std::lock_guard lock(feed_->mutex);
        feed_->ending = true;
    }
    feed_->changed.notify_all();
    feeder_.join();
}

void VMDataDownloader::downloadWithOperation(
    const std::shared_ptr<VMDataDownloadOperation>& operation) {
    if (!operation) return;
    std::shared_ptr<VMDataDownloadOperation> dropped;
    {
        std::lock_guard lock(feed_->mutex);
        feed_->waitingStack.push_front(operation);
        if (feed_->waitingStack.size() > kMaxWaiting) {
            dropped = std::move(feed_->waitingStack.back());
            feed_->waitingStack.pop_back();
        }
    }
    feed_->changed.notify_all();
    // Outside the lock: the operation's block may come straight back here.
    if (dropped) dropped->cancel();
    setStartDownloading(true);
}

void VMDataDownloader::downloadWithURL(const std::string& url,
                                       VMDataDownloadOperation::ResultBlock block) {
    downloadWithOperation(VMDataDownloadOperation::create(requestWithURL(NSURL::URLWithString(url)),
                                                          std::move(block)));
}

void VMDataDownloader::setStartDownloading(bool start) {
    {
        std::lock_guard lock(feed_->mutex);
        feed_->startDownloading = start;
    }
    feed_->changed.notify_all();
}

bool VMDataDownloader::startDownloading() const {
    std::lock_guard lock(feed_->mutex);
    return feed_->startDownloading;
}

void VMDataDownloader::startDownloader() {
    std::unique_lock lock(feed_->mutex);
    for (;;) {
        feed_->changed.wait(lock, [this] {
            return feed_->ending || (feed_->startDownloading && !feed_->waitingStack.empty() &&
                                     feed_->running < kMaxRunning);
        });
        if (feed_->ending) return;
        fetchLocked();
    }
}

bool VMDataDownloader::fetchDownloadOperation() {
    std::lock_guard lock(feed_->mutex);
    return fetchLocked();
}

// Under the lock up to the queue, so that a cancel finds the operation either waiting or queued.
// The queue calls back into nothing here while adding; its watch on the operation takes the lock on
// the thread that finishes the operation.
bool VMDataDownloader::fetchLocked() {
    if (!feed_->startDownloading || feed_->waitingStack.empty() || feed_->running >= kMaxRunning)
        return false;
    const auto operation = std::move(feed_->waitingStack.front());
    feed_->waitingStack.pop_front();
    // One that another downloader runs, or that has finished, is refused as it is: it stays
    // that one's, and this slot stays free.
    const bool added = downloadQueue_->addOperation(operation, [feed = feed_] {
        {
            std::lock_guard finished(feed->mutex);
            --feed->running;
        }
        feed->changed.notify_all();
    });
    if (added) ++feed_->running;
    return true;
}

void VMDataDownloader::cancelAllDownload() {
    std::deque<std::shared_ptr<VMDataDownloadOperation>> dropped;
    {
        std::lock_guard lock(feed_->mutex);
        feed_->startDownloading = false;
        dropped.swap(feed_->waitingStack);
    }
    for (const auto& operation : dropped) operation->cancel();
    downloadQueue_->cancelAllOperations();
}

void VMDataDownloader::cancelAllDownloadAndWait() {
    cancelAllDownload();
    downloadQueue_->waitUntilAllOperationsAreFinished();
}

std::size_t VMDataDownloader::waitingCount() const {
    std::lock_guard lock(feed_->mutex);
    return feed_->waitingStack.size();
}
