#include "VMDownloaderOperation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include "Foundation/Dispatch.h"
#include "Foundation/NSFileError.h"
#include "Foundation/NSURLErrorDescription.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "VMSystemUtility.h"

namespace {

// Whether `length` bytes from `start` go past `maximum` (0: none).
bool pastMaximum(std::uint64_t maximum, std::uint64_t start, std::uint64_t length) {
    return maximum != 0 && (length > maximum || start > maximum - length);
}

NSError pastMaximumError(const NSURLRequest& request) {
    return NSURLErrorWithCode(NSURLErrorDataLengthExceedsMaximum, request.URL()->absoluteString());
}

// The first byte a part answer ("bytes FIRST-LAST/TOTAL") carries, when the header says one.
std::optional<std::int64_t> partStart(const std::optional<std::string>& contentRange) {
    if (!contentRange) return std::nullopt;
    std::string_view text = *contentRange;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    constexpr std::string_view kUnit = "bytes ";
    if (text.size() <= kUnit.size() ||
        !std::equal(kUnit.begin(), kUnit.end(), text.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        }))
        return std::nullopt;
    text.remove_prefix(kUnit.size());
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    std::int64_t first = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), first);
    if (error != std::errc() || end == text.data() || end == text.data() + text.size() ||
        *end != '-')
        return std::nullopt;
    return first;
}

}  // namespace

VMDownloaderOperation::VMDownloaderOperation(std::shared_ptr<NSURLRequest> request,
                                             ProgressBlock progress, CompletedBlock completed,
                                             CancelledBlock cancelled)
    : request_(std::move(request)),
      progressBlock_(std::move(progress)),
      completedBlock_(std::move(completed)),
      cancelledBlock_(std::move(cancelled)) {}

std::shared_ptr<VMDownloaderOperation> VMDownloaderOperation::create(
    std::shared_ptr<NSURLRequest> request, ProgressBlock progress, CompletedBlock completed,
    CancelledBlock cancelled) {
    return std::shared_ptr<VMDownloaderOperation>(new VMDownloaderOperation(
        std::move(request), std::move(progress), std::move(completed), std::move(cancelled)));
}

VMDownloaderOperation::~VMDownloaderOperation() {
    if (file_ >= 0) ::close(file_);
}

std::int64_t VMDownloaderOperation::expectedSize() const {
    std::lock_guard lock(mutex_);
    return expectedSize_;
}

std::int64_t VMDownloaderOperation::receivedSize() const {
    std::lock_guard lock(mutex_);
    return receivedSize_;
}

VMDownloaderOperation::ProgressBlock VMDownloaderOperation::progressBlock() const {
    std::lock_guard lock(mutex_);
    return progressBlock_;
}

VMDownloaderOperation::CompletedBlock VMDownloaderOperation::completedBlock() const {
    std::lock_guard lock(mutex_);
    return completedBlock_;
}

VMDownloaderOperation::CancelledBlock VMDownloaderOperation::cancelledBlock() const {
    std::lock_guard lock(mutex_);
    return cancelledBlock_;
}

std::vector<std::uint8_t> VMDownloaderOperation::receivedData() const {
    std::lock_guard lock(mutex_);
    return receivedData_;
}

std::shared_ptr<NSURLConnection> VMDownloaderOperation::connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

unsigned long VMDownloaderOperation::backgroundTask() const {
    std::lock_guard lock(mutex_);
    return backgroundTask_;
}

int VMDownloaderOperation::fileHandleForDownloadToFilePath() const {
    std::lock_guard lock(mutex_);
    return file_;
}

bool VMDownloaderOperation::removeDownloadFile() const {
    return !downloadToFilePath_.empty() && ::unlink(downloadToFilePath_.c_str()) == 0;
}

std::int64_t VMDownloaderOperation::fileOffset() const {
    std::lock_guard lock(mutex_);
    return fileOffset_;
}

bool VMDownloaderOperation::isMultitaskingSupported() {
    return UIDevice::currentDevice()->isMultitaskingSupported();
}

void VMDownloaderOperation::start() {
    std::unique_lock lock(mutex_);
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    if (isFinished() || isExecuting()) return;
    // A bad target fails the download rather than the process.
    struct stat target {};
    const bool exists = ::stat(downloadToFilePath_.c_str(), &target) == 0;
    if (downloadToFilePath_.empty() || (exists && S_ISDIR(target.st_mode))) {
        if (completedBlock_) {
            completedBlock_(NSError::make(NSCocoaErrorDomain, NSFileWriteInvalidFileNameError,
                                          "The download target is not a file"));
        }
        done();
        return;
    }
    file_ = ::open(downloadToFilePath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (file_ < 0) {
        if (completedBlock_)
            completedBlock_(NSFileErrorWithErrno(errno, downloadToFilePath_, true));
        done();
        return;
    }
    fileOffset_ = exists ? static_cast<std::int64_t>(target.st_size) : 0;
    resuming_ =
        exists && target.st_size > 0 && request_->valueForHTTPHeaderField("Range").has_value();
    beginBackgroundTask();
    setExecuting(true);
    runLoop_ = NSRunLoop::currentRunLoop();
    connection_ = NSURLConnection::create(request_, sharedSelf<VMDownloaderOperation>(), false);
    if (!connection_) {
        if (completedBlock_) {
            completedBlock_(NSError::make(NSURLErrorDomain, 0, "Connection can't be initialized"));
        }
        done();
        return;
    }
    connection_->start();
    if (progressBlock_) progressBlock_(0, -1);
    auto runLoop = runLoop_;
    lock.unlock();
    // Stopped by the end of the transfer, a failure or a cancel, each of which asks it to stop
    // once; running it even when a cancel came first takes that request off the loop.
    runLoop->run();
}

void VMDownloaderOperation::connectionDidReceiveResponse(
    NSURLConnection& /*connection*/, const std::shared_ptr<NSHTTPURLResponse>& response) {
    std::lock_guard lock(mutex_);
    if (over()) return;
    const long status = response ? response->statusCode() : 0;
    if (status != 200 && status != 206) {
        dealError(NSError::make(NSURLErrorDomain, status), true);
        return;
    }
    const long long length = response->expectedContentLength();
    const std::int64_t expected = length >= 1 ? length : 0;
    if (!isFreeDiskSpaceLargerThanSize(static_cast<std::uint64_t>(expected))) {
        dealError(constructOutOfSpaceError(), true);
        return;
    }
    // A part goes after the bytes on disk: one that starts anywhere else, or does not say where
    // while there are bytes to go after, would be appended at the wrong place and spoil the file.
    if (status == 206) {
        const auto contentRange = response->valueForHTTPHeaderField("Content-Range");
        const bool placed =
            contentRange ? partStart(contentRange) == fileOffset_ : fileOffset_ == 0;
        if (!placed) {
            dealError(
                NSURLErrorWithCode(NSURLErrorBadServerResponse, request_->URL()->absoluteString(),
                                   "the part does not start where the file on disk ends"),
                true);
            return;
        }
    }
    // Checked before anything is cut or written: the file stays what it was.
    const auto start = static_cast<std::uint64_t>(status == 200 ? 0 : fileOffset_);
    if (pastMaximum(request_->maximumResponseLength(), start,
                    static_cast<std::uint64_t>(expected))) {
        dealError(pastMaximumError(*request_), true);
        return;
    }
    // A 200 is the whole body: whatever the file held before, resumed or stale, goes.
    if (status == 200 && fileOffset_ > 0 && ::ftruncate(file_, 0) != 0) {
        dealError(NSFileErrorWithErrno(errno, downloadToFilePath_, true), true);
        return;
    }
    if (status == 200) fileOffset_ = 0;
    expectedSize_ = expected;
    if (progressBlock_) progressBlock_(0, expected);
    receivedData_.clear();
    receivedSize_ = 0;
}

void VMDownloaderOperation::connectionDidReceiveData(NSURLConnection& /*connection*/,
                                                     std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (over()) return;
    if (pastMaximum(request_->maximumResponseLength(), static_cast<std::uint64_t>(fileOffset_),
                    static_cast<std::uint64_t>(receivedSize_) + data.size())) {
        dealOverrun(true);
        return;
    }
    receivedData_.insert(receivedData_.end(), data.begin(), data.end());
    receivedSize_ += static_cast<std::int64_t>(data.size());
    if (receivedData_.size() > kWriteThreshold) {
        NSError error;
        if (!writeDataToDownloadFileWithError(&error)) {
            dealError(error, true);
            return;
        }
    }
    if (progressBlock_) progressBlock_(receivedSize_, expectedSize_);
}

void VMDownloaderOperation::connectionDidFinishLoading(NSURLConnection& /*connection*/) {
    std::lock_guard lock(mutex_);
    if (over()) return;
    stopRunLoop();
    NSError error;
    if (!writeDataToDownloadFileWithError(&error)) {
        dealError(error, false);
        return;
    }
    if (completedBlock_) completedBlock_(std::nullopt);
    done();
}

void VMDownloaderOperation::connectionDidFailWithError(NSURLConnection& /*connection*/,
                                                       const NSError& error) {
    std::lock_guard lock(mutex_);
    if (over()) return;
    // The loader stops a reply past the request's maximum, the size of the whole file.
    if (error.domain == NSURLErrorDomain && error.code == NSURLErrorDataLengthExceedsMaximum) {
        dealOverrun(false);
        return;
    }
    // What arrived before the network failed is good: keeping it lets the resume start there.
    NSError ignored;
    writeDataToDownloadFileWithError(&ignored);
    dealError(error, false);
}

void VMDownloaderOperation::dealError(const NSError& error, bool cancelConnection) {
    if (cancelConnection && connection_) connection_->cancel();
    stopRunLoop();
    if (completedBlock_) completedBlock_(error);
    done();
}

void VMDownloaderOperation::dealOverrun(bool cancelConnection) {
    receivedData_.clear();
    if (file_ >= 0) ::close(file_);
    file_ = -1;
    // Nothing to resume from: a missing file is no failure here.
    ::unlink(downloadToFilePath_.c_str());
    fileOffset_ = 0;
    dealError(pastMaximumError(*request_), cancelConnection);
}

void VMDownloaderOperation::cancel() {
    std::lock_guard lock(mutex_);
    if (over()) return;
    NSOperation::cancel();
    NSError ignored;
    writeDataToDownloadFileWithError(&ignored);
    if (cancelledBlock_) cancelledBlock_();
    if (connection_) {
        connection_->cancel();
        stopRunLoop();
        setExecuting(false);
        setFinished(true);
    }
    reset();
}

bool VMDownloaderOperation::writeDataToDownloadFileWithError(NSError* error) {
    // Emptied whatever happens, keeping its capacity for the next piece.
    struct Clear {
        std::vector<std::uint8_t>& data;
        ~Clear() { data.clear(); }
    } clear{receivedData_};
    if (receivedData_.empty() || file_ < 0) return true;
    if (!isFreeDiskSpaceLargerThanSize(receivedData_.size())) {
        NSSetError(error, constructOutOfSpaceError());
        return false;
    }
    const std::uint8_t* at = receivedData_.data();
    std::size_t left = receivedData_.size();
    while (left > 0) {
        const ssize_t n = ::write(file_, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            NSSetError(error, NSFileErrorWithErrno(errno, downloadToFilePath_, true));
            return false;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool VMDownloaderOperation::isFreeDiskSpaceLargerThanSize(std::uint64_t size) {
    return VMSystemUtility::freeDiskSpace() >= size;
}

NSError VMDownloaderOperation::constructOutOfSpaceError() {
    return NSError::make(NSCocoaErrorDomain, NSFileWriteOutOfSpaceError,
                         "There is insufficient space on the disk");
}

void VMDownloaderOperation::stopRunLoop() {
    if (runLoop_) runLoop_->stop();
}

void VMDownloaderOperation::done() {
    setExecuting(false);
    setFinished(true);
    reset();
}

void VMDownloaderOperation::reset() {
    progressBlock_ = nullptr;
    completedBlock_ = nullptr;
    cancelledBlock_ = nullptr;
    connection_.reset();
    if (file_ >= 0) ::close(file_);
    file_ = -1;
    endBackgroundTask();
}

void VMDownloaderOperation::beginBackgroundTask() {
    if (!isMultitaskingSupported() || !shouldContinue_ ||
        backgroundTask_ != UIBackgroundTaskInvalid)
        return;
    std::weak_ptr<VMDownloaderOperation> weak = sharedSelf<VMDownloaderOperation>();
    backgroundTask_ =
        UIApplication::sharedApplication()->beginBackgroundTaskWithExpirationHandler([weak] {
            auto self = weak.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mutex_);
                if (self->backgroundTask_ != UIBackgroundTaskInvalid) {
                    UIApplication::sharedApplication()->endBackgroundTask(self->backgroundTask_);
                    self->backgroundTask_ = UIBackgroundTaskInvalid;
                }
            }
            self->cancel();
        });
}

void VMDownloaderOperation::endBackgroundTask() {
    if (!isMultitaskingSupported() || !shouldContinue_ ||
        backgroundTask_ == UIBackgroundTaskInvalid)
        return;
    const unsigned long task = std::exchange(backgroundTask_, UIBackgroundTaskInvalid);
    DispatchQueue::main()->async(
        [task] { UIApplication::sharedApplication()->endBackgroundTask(task); });
}
