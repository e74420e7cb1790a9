#include "VMDownloader.h"

#include "Foundation/Dispatch.h"

VMDownloader::VMDownloader() : downloadQueue_(NSOperationQueue::create()) {
    downloadQueue_->setMaxConcurrentOperationCount(1);
}

std::shared_ptr<VMDownloader> VMDownloader::create() {
    return std::shared_ptr<VMDownloader>(new VMDownloader());
}

std::shared_ptr<VMDownloader> VMDownloader::sharedDownloader() {
    static const std::shared_ptr<VMDownloader> shared = create();
    return shared;
}

void VMDownloader::setValue(std::optional<std::string> value, const std::string& field) {
    if (field.empty()) return;
    std::lock_guard lock(mutex_);
    if (value) {
        HTTPHeaders_[field] = std::move(*value);
    } else {
        HTTPHeaders_.erase(field);
    }
}

std::optional<std::string> VMDownloader::valueForHTTPHeaderField(const std::string& field) const {
    std::lock_guard lock(mutex_);
    return NSHTTPHeaderValue(HTTPHeaders_, field);
}

void VMDownloader::setMaxConcurrentDownloads(int count) {
    downloadQueue_->setMaxConcurrentOperationCount(count);
}

int VMDownloader::maxConcurrentDownloads() const {
    return downloadQueue_->maxConcurrentOperationCount();
}

void VMDownloader::setTimeoutInterval(NSTimeInterval seconds) {
    std::lock_guard lock(mutex_);
    timeoutInterval_ = seconds;
}

NSTimeInterval VMDownloader::timeoutInterval() const {
    std::lock_guard lock(mutex_);
    return timeoutInterval_;
}

std::shared_ptr<VMDownloaderOperation> VMDownloader::downloadWithURL(
    const std::shared_ptr<NSURL>& url, const std::string& downloadToFile,
    bool shouldContinueWhenAppEntersBackground, VMDownloaderOperation::ProgressBlock progress,
    VMDownloaderOperation::CompletedBlock completed,
    VMDownloaderOperation::CancelledBlock cancelled, std::uint64_t fileSize) {
    if (!url) return nullptr;
    NSTimeInterval timeout = 0;
    NSHTTPHeaderFields headers;
    {
        std::lock_guard lock(mutex_);
        timeout = timeoutInterval_;
        headers = HTTPHeaders_;
    }
    auto request =
        NSMutableURLRequest::requestWithURL(url, NSURLRequestReloadIgnoringLocalCacheData, timeout);
    request->setMaximumResponseLength(fileSize);
    // A package of hundreds of megabytes takes as long as it keeps coming.
    request->setTimeoutIsIdleLimit(true);
    request->setAllHTTPHeaderFields(std::move(headers));
    auto operation = VMDownloaderOperation::create(request, std::move(progress),
                                                   std::move(completed), std::move(cancelled));
    operation->setShouldContinueWhenAppEntersBackground(shouldContinueWhenAppEntersBackground);
    operation->setDownloadToFilePath(downloadToFile);
    downloadQueue_->addOperation(operation);
    return operation;
}
