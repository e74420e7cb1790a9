#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSOperationQueue.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"

// Called at most once, on the download's thread, with the body or why there is none.
using VMImageDownloadResult = std::function<void(std::optional<NSData> data, NSErrorOpt error)>;

// One download on its own thread's run loop. A download cancelled before it started never
// calls its block.
class VMImageDownloaderOperation : public NSOperation, public NSURLConnectionDelegate {
  public:
    static std::shared_ptr<VMImageDownloaderOperation> create(std::shared_ptr<NSURLRequest> request,
                                                              VMImageDownloadResult resultBlock);

    bool isConcurrent() const override { return true; }
    void start() override;
    void cancel() override;
    const std::shared_ptr<NSURLRequest>& request() const { return request_; }
    int64_t expectedSize() const;

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;
    void connectionDidFailWithError(NSURLConnection& connection, const NSError& error) override;

  private:
    VMImageDownloaderOperation(std::shared_ptr<NSURLRequest> request, VMImageDownloadResult block)
        : request_(std::move(request)), resultBlcok_(std::move(block)) {}
    // Hands the result to the block if it is still there, and ends the operation.
    void finish(std::optional<NSData> data, NSErrorOpt error);
    void done();
    void reset();

    const std::shared_ptr<NSURLRequest> request_;
    mutable std::mutex mutex_;  // guards everything below
    VMImageDownloadResult resultBlcok_;
    std::shared_ptr<NSURLConnection> connection_;
    std::shared_ptr<NSRunLoop> runLoop_;
    NSData data_;
    int64_t expectedSize_ = 0;
};

// Downloads at most four images at once; among those waiting, the newest runs first.
class VMImageDownloader : public NSObject {
  public:
    static constexpr int kMaxConcurrentDownloads = 4;
    static constexpr double kTimeoutSeconds = 15;

    static std::shared_ptr<VMImageDownloader> sharedDownloadManager();
    static std::shared_ptr<VMImageDownloader> create();
    // Cancels what waits or runs and joins the feeder.
    ~VMImageDownloader() override;

    // The download, for a caller that may cancel it alone.
    std::shared_ptr<VMImageDownloaderOperation> downloadWithUrl(std::shared_ptr<NSURL> url,
                                                                VMImageDownloadResult resultBlock);
    void processOperation(const std::shared_ptr<VMImageDownloaderOperation>& operation);
    // For good: waiting downloads go silently, running ones end with an error.
    void cancelDownload();

    const std::shared_ptr<NSOperationQueue>& downloadQueue() const { return queue_; }
    std::vector<std::shared_ptr<VMImageDownloaderOperation>> stackArray() const;
    bool isCancelled() const;

  private:
    // Shared with the operations' completion blocks, which may outlive a turn of the feeder.
    struct Feed {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::shared_ptr<VMImageDownloaderOperation>> stack;
        int inQueue = 0;
        bool cancelled = false;
    };

    VMImageDownloader();
    void enqueue(const std::shared_ptr<VMImageDownloaderOperation>& operation);
    void addQueue();

    const std::shared_ptr<Feed> feed_ = std::make_shared<Feed>();
    const std::shared_ptr<NSOperationQueue> queue_;
    std::thread feeder_;
};
