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
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    feeder_.join();
}

void VMDataDownloader::downloadWithOperation(
    const std::shared_ptr<VMDataDownloadOperation>& operation) {
    if (!operation) return;
    std::shared_ptr<VMDataDownloadOperation> dropped;
    {
        std::lock_guard lock(mutex_);
        waitingStack_.push_front(operation);
        if (waitingStack_.size() > kMaxWaiting) {
            dropped = std::move(waitingStack_.back());
            waitingStack_.pop_back();
        }
    }
    changed_.notify_all();
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
        std::lock_guard lock(mutex_);
        startDownloading_ = start;
    }
    changed_.notify_all();
}

bool VMDataDownloader::startDownloading() const {
    std::lock_guard lock(mutex_);
    return startDownloading_;
}

void VMDataDownloader::startDownloader() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return ending_ ||
                   (startDownloading_ && !waitingStack_.empty() && running_ < kMaxRunning);
        });
        if (ending_) return;
        fetchLocked();
    }
}

bool VMDataDownloader::fetchDownloadOperation() {
    std::lock_guard lock(mutex_);
    return fetchLocked();
}

// Under the lock up to the queue, so that a cancel finds the operation either waiting or queued.
// The queue calls back into nothing here while adding; the completion block takes the lock on
// the thread that finishes the operation.
bool VMDataDownloader::fetchLocked() {
    if (!startDownloading_ || waitingStack_.empty() || running_ >= kMaxRunning) return false;
    const auto operation = std::move(waitingStack_.front());
    waitingStack_.pop_front();
    ++running_;
    operation->setCompletionBlock([this] {
        {
            std::lock_guard finished(mutex_);
            --running_;
        }
        changed_.notify_all();
    });
    if (!downloadQueue_->addOperation(operation)) --running_;
    return true;
}

void VMDataDownloader::cancelAllDownload() {
    std::deque<std::shared_ptr<VMDataDownloadOperation>> dropped;
    {
        std::lock_guard lock(mutex_);
        startDownloading_ = false;
        dropped.swap(waitingStack_);
    }
    for (const auto& operation : dropped) operation->cancel();
    downloadQueue_->cancelAllOperations();
}

void VMDataDownloader::cancelAllDownloadAndWait() {
    cancelAllDownload();
    downloadQueue_->waitUntilAllOperationsAreFinished();
}

std::size_t VMDataDownloader::waitingCount() const {
    std::lock_guard lock(mutex_);
    return waitingStack_.size();
}
