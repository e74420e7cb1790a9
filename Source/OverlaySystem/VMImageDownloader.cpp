#include "VMImageDownloader.h"

#include <algorithm>

namespace {

// Far beyond the request's own time-out, which is what really ends a stuck download.
constexpr double kRunLoopPatienceSeconds = 24 * 3600;
constexpr int64_t kMaxReserve = 1 << 20;

NSError errorOf(const char* domain, const char* description) {
    return NSError::make(domain, 0, description);
}

}  // namespace

std::shared_ptr<VMImageDownloaderOperation> VMImageDownloaderOperation::create(
    std::shared_ptr<NSURLRequest> request, VMImageDownloadResult resultBlock) {
    return std::shared_ptr<VMImageDownloaderOperation>(
        new VMImageDownloaderOperation(std::move(request), std::move(resultBlock)));
}

int64_t VMImageDownloaderOperation::expectedSize() const {
    std::lock_guard guard(mutex_);
    return expectedSize_;
}

VMImageDownloadResult VMImageDownloaderOperation::resultBlcok() const {
    std::lock_guard guard(mutex_);
    return resultBlcok_;
}

void VMImageDownloaderOperation::setResultBlcok(VMImageDownloadResult block) {
    std::lock_guard guard(mutex_);
    if (!isFinished()) resultBlcok_ = std::move(block);
}

void VMImageDownloaderOperation::start() {
    if (isCancelled()) {
        setFinished(true);
        reset();
        return;
    }
    setExecuting(true);
    auto connection = NSURLConnection::create(
        request_, std::static_pointer_cast<VMImageDownloaderOperation>(shared_from_this()), false);
    if (!connection) {
        finish(std::nullopt, errorOf("NSConnectionDomain", "connection error"));
        return;
    }
    const auto runLoop = NSRunLoop::currentRunLoop();
    {
        std::lock_guard guard(mutex_);
        connection_ = connection;
        runLoop_ = runLoop;
    }
    if (isCancelled()) {
        connection->cancel();
        done();
        return;
    }
    connection->start();
    // The connection's own time-out ends the load; the loop ends with the operation.
    runLoop->runUntil([this] { return isFinished(); }, kRunLoopPatienceSeconds);
}

void VMImageDownloaderOperation::cancel() {
    NSOperation::cancel();
    std::shared_ptr<NSURLConnection> connection;
    std::shared_ptr<NSRunLoop> runLoop;
    {
        std::lock_guard guard(mutex_);
        connection = connection_;
        runLoop = runLoop_;
    }
    if (connection) {
        connection->cancel();
        finish(std::nullopt, errorOf("NSConnection", "Connection cancle"));
        if (runLoop) runLoop->wakeUp();
        return;
    }
    reset();
}

void VMImageDownloaderOperation::connectionDidReceiveResponse(
    NSURLConnection& connection, const std::shared_ptr<NSHTTPURLResponse>& response) {
    const int status = response ? response->statusCode() : 0;
    if (status == 200 || status == 206) {
        std::lock_guard guard(mutex_);
        expectedSize_ = std::max<int64_t>(response->expectedContentLength(), 0);
        data_.clear();
        // The announced length is the server's word: reserve a tile's worth, grow past it.
        data_.reserve(size_t(std::min<int64_t>(expectedSize_, kMaxReserve)));
        return;
    }
    connection.cancel();
    finish(std::nullopt, errorOf("NSResponse", "NSRespones error"));
}

void VMImageDownloaderOperation::connectionDidReceiveData(NSURLConnection&,
                                                          std::span<const std::uint8_t> data) {
    if (isCancelled()) return;
    std::lock_guard guard(mutex_);
    data_.insert(data_.end(), data.begin(), data.end());
}

void VMImageDownloaderOperation::connectionDidFinishLoading(NSURLConnection&) {
    NSData body;
    {
        std::lock_guard guard(mutex_);
        body.swap(data_);
    }
    NSErrorOpt error;
    if (body.empty()) {
        error = errorOf("VMDownloaderOperationErrorDomain", "Downloaded image has 0 pixels");
    }
    finish(std::move(body), std::move(error));
}

void VMImageDownloaderOperation::connectionDidFailWithError(NSURLConnection&,
                                                            const NSError& error) {
    finish(std::nullopt, error);
}

void VMImageDownloaderOperation::finish(std::optional<NSData> data, NSErrorOpt error) {
    VMImageDownloadResult block;
    {
        std::lock_guard guard(mutex_);
        block = std::exchange(resultBlcok_, nullptr);
    }
    if (block) block(std::move(data), std::move(error));
    done();
}

void VMImageDownloaderOperation::done() {
    setExecuting(false);
    setFinished(true);
    reset();
}

void VMImageDownloaderOperation::reset() {
    std::lock_guard guard(mutex_);
    connection_.reset();
    runLoop_.reset();
    data_ = {};
    resultBlcok_ = nullptr;
}

VMImageDownloader::VMImageDownloader() {
    feed_->queue = NSOperationQueue::create();
    feed_->queue->setMaxConcurrentOperationCount(kMaxConcurrentDownloads);
    feeder_ = std::thread([this] { addQueue(); });
}

VMImageDownloader::~VMImageDownloader() {
    cancelDownload();
    {
        std::lock_guard guard(feed_->mutex);
        feed_->ending = true;
        feed_->changed.notify_all();
    }
    feeder_.join();
}

std::shared_ptr<VMImageDownloader> VMImageDownloader::sharedDownloadManager() {
    static const std::shared_ptr<VMImageDownloader> shared = create();
    return shared;
}

std::shared_ptr<VMImageDownloader> VMImageDownloader::create() {
    return std::shared_ptr<VMImageDownloader>(new VMImageDownloader());
}

std::shared_ptr<VMImageDownloaderOperation> VMImageDownloader::downloadWithUrl(
    std::shared_ptr<NSURL> url, VMImageDownloadResult resultBlock) {
    auto request = NSMutableURLRequest::requestWithURL(std::move(url));
    request->setTimeoutInterval(kTimeoutSeconds);
    request->setMaximumResponseLength(kMaxImageLength);
    auto operation = VMImageDownloaderOperation::create(std::move(request), std::move(resultBlock));
    processOperation(operation);
    return operation;
}

void VMImageDownloader::processOperation(
    const std::shared_ptr<VMImageDownloaderOperation>& operation) {
    if (!operation) return;
    std::lock_guard guard(feed_->mutex);
    if (!takesSlotLocked(*operation)) return;
    // Cancelled, it waits unfed like every other: a cancel must not be followed by a download.
    if (!feed_->stack.empty() || feed_->cancelled) {
        feed_->stack.push_front(operation);
    } else if (feed_->inQueue.size() < std::size_t{kMaxConcurrentDownloads}) {
        handInLocked(operation);
        return;
    } else {
        feed_->stack.push_back(operation);
    }
    feed_->changed.notify_all();
}

bool VMImageDownloader::takesSlotLocked(const VMImageDownloaderOperation& operation) const {
    // Finished is set before the queue's watch gives the slot back: one of the two holds.
    return !feed_->inQueue.contains(&operation) && !operation.isFinished();
}

// Under the feed lock, so that a cancel finds the download either waiting or in the queue. The
// queue calls back into nothing here while adding; its watch takes the lock on the thread that
// finishes the download.
void VMImageDownloader::handInLocked(const std::shared_ptr<VMImageDownloaderOperation>& operation) {
    feed_->inQueue.insert(operation.get());
    const auto release = [feed = feed_, key = operation.get()] {
        std::lock_guard guard(feed->mutex);
        if (feed->inQueue.erase(key) != 0) feed->changed.notify_all();
    };
    // A queue refuses one that any queue holds or that finished meanwhile, and leaves it as it
    // was: the slot goes back at once.
    if (!feed_->queue->addOperation(operation, release)) feed_->inQueue.erase(operation.get());
}

// Moves the newest waiting download into the queue whenever a slot frees up; sleeps otherwise,
// and while cancelled. Lives as long as the downloader, so that clearing the cancel feeds again.
void VMImageDownloader::addQueue() {
    std::unique_lock lock(feed_->mutex);
    while (true) {
        feed_->changed.wait(lock, [&] {
            return feed_->ending || (!feed_->cancelled && !feed_->stack.empty() &&
                                     feed_->inQueue.size() < std::size_t{kMaxConcurrentDownloads});
        });
        if (feed_->ending) return;
        const auto next = std::move(feed_->stack.front());
        feed_->stack.pop_front();
        if (takesSlotLocked(*next)) handInLocked(next);
    }
}

void VMImageDownloader::cancelDownload() {
    std::deque<std::shared_ptr<VMImageDownloaderOperation>> waiting;
    {
        std::lock_guard guard(feed_->mutex);
        waiting.swap(feed_->stack);
        feed_->cancelled = true;
        feed_->changed.notify_all();
    }
    for (const auto& operation : waiting) operation->cancel();
    downloadQueue()->cancelAllOperations();
}

std::shared_ptr<NSOperationQueue> VMImageDownloader::downloadQueue() const {
    std::lock_guard guard(feed_->mutex);
    return feed_->queue;
}

void VMImageDownloader::setDownloadQueue(std::shared_ptr<NSOperationQueue> queue) {
    if (!queue) return;
    std::lock_guard guard(feed_->mutex);
    feed_->queue = std::move(queue);
}

std::vector<std::shared_ptr<VMImageDownloaderOperation>> VMImageDownloader::stackArray() const {
    std::lock_guard guard(feed_->mutex);
    return {feed_->stack.begin(), feed_->stack.end()};
}

void VMImageDownloader::setStackArray(
    std::vector<std::shared_ptr<VMImageDownloaderOperation>> stack) {
    std::erase(stack, nullptr);
    std::deque<std::shared_ptr<VMImageDownloaderOperation>> old(stack.begin(), stack.end());
    {
        std::lock_guard guard(feed_->mutex);
        old.swap(feed_->stack);
        feed_->changed.notify_all();
    }
    // Outside the lock: a waiting download's cancel ends it without a call back.
    for (const auto& operation : old) {
        if (std::find(stack.begin(), stack.end(), operation) == stack.end()) operation->cancel();
    }
}

bool VMImageDownloader::isCancelled() const {
    std::lock_guard guard(feed_->mutex);
    return feed_->cancelled;
}

void VMImageDownloader::setIsCancelled(bool cancelled) {
    std::lock_guard guard(feed_->mutex);
    feed_->cancelled = cancelled;
    feed_->changed.notify_all();
}
