#include "VMDataDownloadOperation.h"

#include <algorithm>

#include "VMUserAgent.h"

namespace {

NSError urlError(long code, std::string description) {
    return NSError::make(NSURLErrorDomain, code, std::move(description));
}

}  // namespace

std::shared_ptr<VMDataDownloadOperation> VMDataDownloadOperation::create(
    std::shared_ptr<NSURLRequest> request, ResultBlock resultBlock) {
    return std::shared_ptr<VMDataDownloadOperation>(
        new VMDataDownloadOperation(std::move(request), std::move(resultBlock)));
}

std::shared_ptr<NSURLRequest> VMDataDownloadOperation::request() const {
    std::lock_guard lock(mutex_);
    return request_;
}

void VMDataDownloadOperation::setRequest(std::shared_ptr<NSURLRequest> request) {
    std::lock_guard lock(mutex_);
    request_ = std::move(request);
}

std::uint64_t VMDataDownloadOperation::expectedSize() const {
    std::lock_guard lock(mutex_);
    return expectedSize_;
}

void VMDataDownloadOperation::setExpectedSize(std::uint64_t size) {
    std::lock_guard lock(mutex_);
    expectedSize_ = size;
}

NSData VMDataDownloadOperation::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

void VMDataDownloadOperation::setData(NSData data) {
    std::lock_guard lock(mutex_);
    if (!ended_) data_ = std::move(data);
}

std::shared_ptr<NSURLConnection> VMDataDownloadOperation::connection() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

void VMDataDownloadOperation::setConnection(std::shared_ptr<NSURLConnection> connection) {
    std::lock_guard lock(mutex_);
    connection_ = std::move(connection);
}

VMDataDownloadOperation::ResultBlock VMDataDownloadOperation::resultBlock() const {
    std::lock_guard lock(mutex_);
    return resultBlock_;
}

void VMDataDownloadOperation::setResultBlock(ResultBlock block) {
    std::lock_guard lock(mutex_);
    if (!ended_) resultBlock_ = std::move(block);
}

void VMDataDownloadOperation::start() {
    if (isFinished() || isExecuting()) return;
    auto self = std::static_pointer_cast<VMDataDownloadOperation>(shared_from_this());
    std::shared_ptr<NSURLConnection> connection;
    std::shared_ptr<NSRunLoop> runLoop = NSRunLoop::currentRunLoop();
    {
        std::lock_guard lock(mutex_);
        // A cancel marks the operation before it ends it: that end, here or still to come,
        // tells the block.
        if (!isCancelled() && !ended_) {
            setExecuting(true);
            connection_ = brandedConnectionWithRequest(
                request_, std::weak_ptr<NSURLConnectionDelegate>(self), false);
            connection = connection_;
            runLoop_ = runLoop;
        }
    }
    if (!isExecuting()) {
        setFinished(true);
        return;
    }
    if (!connection) {
        finish(std::nullopt, urlError(NSURLErrorUnknown, "Connection init error."));
        return;
    }
    connection->start();
    runLoop->run();
}

void VMDataDownloadOperation::cancel() {
    NSOperation::cancel();
    finish(std::nullopt, urlError(NSURLErrorCancelled, "Connection cancelled"));
}

void VMDataDownloadOperation::finish(std::optional<NSData> data, NSErrorOpt error) {
    std::shared_ptr<NSURLConnection> connection;
    std::shared_ptr<NSRunLoop> runLoop;
    bool wasExecuting = false;
    {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        ended_ = true;
        connection.swap(connection_);
        runLoop.swap(runLoop_);
        data_ = {};
        wasExecuting = isExecuting();
    }
    if (connection) connection->cancel();
    if (runLoop) runLoop->stop();
    invokeResultBlockWithData(data, error);
    if (wasExecuting) {
        setExecuting(false);
        setFinished(true);
    }
}

// Only the one finish that ended the load gets here, and the block can no longer be replaced.
void VMDataDownloadOperation::invokeResultBlockWithData(const std::optional<NSData>& data,
                                                        const NSErrorOpt& error) {
    ResultBlock block;
    {
        std::lock_guard lock(mutex_);
        block.swap(resultBlock_);
    }
    if (block) block(data, error);
}

void VMDataDownloadOperation::connectionDidReceiveResponse(
    NSURLConnection&, const std::shared_ptr<NSHTTPURLResponse>& response) {
    const long status = response ? response->statusCode() : 0;
    if (status != 200 && status != 206) {
        finish(std::nullopt,
               urlError(NSURLErrorUnknown, "Invalid response :" + std::to_string(status)));
        return;
    }
    const long long announced = response->expectedContentLength();
    std::lock_guard lock(mutex_);
    if (ended_) return;
    expectedSize_ = announced > 0 ? static_cast<std::uint64_t>(announced) : 0;
    data_.clear();
    data_.reserve(static_cast<std::size_t>(std::min(expectedSize_, kMaxReserve)));
}

void VMDataDownloadOperation::connectionDidReceiveData(NSURLConnection&,
                                                       std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    if (ended_ || isCancelled()) return;
    data_.insert(data_.end(), data.begin(), data.end());
}

void VMDataDownloadOperation::connectionDidFinishLoading(NSURLConnection&) {
    NSData data;
    {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        data.swap(data_);
    }
    if (data.empty()) {
        finish(std::nullopt, urlError(NSURLErrorUnknown, "Downloaded data has 0 pixels"));
        return;
    }
    finish(std::move(data), std::nullopt);
}

void VMDataDownloadOperation::connectionDidFailWithError(NSURLConnection&, const NSError& error) {
    finish(std::nullopt, error);
}
