#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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
    // Empty once the download has ended.
    VMImageDownloadResult resultBlcok() const;
    // Ignored once the download has ended: the block is called at most once.
    void setResultBlcok(VMImageDownloadResult block);
    // Kept for callers that parse images as they arrive; the download itself never reads them.
    uint64_t parsedDataLength() const { return parsedDataLength_; }
    void setParsedDataLength(uint64_t length) { parsedDataLength_ = length; }
    uint64_t nextImageDataSize() const { return nextImageDataSize_; }
    void setNextImageDataSize(uint64_t size) { nextImageDataSize_ = size; }

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
    std::atomic<uint64_t> parsedDataLength_ = 0;
    std::atomic<uint64_t> nextImageDataSize_ = 0;
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
    // Room for an incompressible tile of 768 pixels square, a 256-pixel tile at scale 3.
    static constexpr std::uint64_t kMaxImageLength = std::uint64_t{4} << 20;

    static std::shared_ptr<VMImageDownloader> sharedDownloadManager();
    static std::shared_ptr<VMImageDownloader> create();
    // Cancels what waits or runs and joins the feeder.
    ~VMImageDownloader() override;

    // The download, for a caller that may cancel it alone.
    std::shared_ptr<VMImageDownloaderOperation> downloadWithUrl(std::shared_ptr<NSURL> url,
                                                                VMImageDownloadResult resultBlock);
    // One already in the queue or finished is refused. While cancelled, it waits unfed.
    void processOperation(const std::shared_ptr<VMImageDownloaderOperation>& operation);
    // For good: waiting downloads go silently, running ones end with an error before it returns,
    // and later ones wait unfed; no download reports after it.
    void cancelDownload();

    std::shared_ptr<NSOperationQueue> downloadQueue() const;
    // Later downloads run on this queue; those already on the old one finish there. A null
    // queue is refused.
    void setDownloadQueue(std::shared_ptr<NSOperationQueue> queue);
    std::vector<std::shared_ptr<VMImageDownloaderOperation>> stackArray() const;
    // Replaces the waiting downloads, the first to run first; those it drops are cancelled
    // silently. One already in the queue or finished is passed over when its turn comes.
    void setStackArray(std::vector<std::shared_ptr<VMImageDownloaderOperation>> stack);
    bool isCancelled() const;
    // While set, nothing goes to the queue, new downloads included; clearing it feeds them again.
    void setIsCancelled(bool cancelled);

  private:
    // Shared with the queue's watches on the operations, which may outlive a turn of the feeder.
    struct Feed {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::shared_ptr<VMImageDownloaderOperation>> stack;
        // Handed to the queue and not finished yet, each holding one slot.
        std::set<const VMImageDownloaderOperation*> inQueue;
        bool cancelled = false;
        bool ending = false;
        std::shared_ptr<NSOperationQueue> queue;
    };

    VMImageDownloader();
    // Whether the operation may take a slot: not one that holds one already or has finished.
    bool takesSlotLocked(const VMImageDownloaderOperation& operation) const;
    void handInLocked(const std::shared_ptr<VMImageDownloaderOperation>& operation);
    void addQueue();

    const std::shared_ptr<Feed> feed_ = std::make_shared<Feed>();
    std::thread feeder_;
};
