#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Foundation/NSObject.h"
#include "Foundation/NSOperationQueue.h"
#include "VMDataDownloadOperation.h"

// Schedules map data requests: they wait in a list served newest first, at most 128 wait, and
// at most two run at once on an operation queue fed by a thread of the downloader's own, which
// lives as long as the downloader.
class VMDataDownloader : public NSObject {
  public:
    static constexpr std::size_t kMaxWaiting = 128;
    static constexpr int kMaxRunning = 2;
    static constexpr double kTimeoutInterval = 25.0;
    // A request names at most 169 grids, each far below 100 KB.
    static constexpr std::uint64_t kMaxAnswerLength = std::uint64_t{16} << 20;

    // What every map data request is: a longer answer fails instead of filling memory.
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(std::shared_ptr<NSURL> url,
                                                               double timeout = kTimeoutInterval);

    static std::shared_ptr<VMDataDownloader> create();
    static std::shared_ptr<VMDataDownloader> sharedInstance();
    ~VMDataDownloader() override;

    // Puts the operation first in the waiting list; past 128 the oldest waiting one is dropped
    // and told it was cancelled. Sets the downloader started. Any thread may call it.
    void downloadWithOperation(const std::shared_ptr<VMDataDownloadOperation>& operation);
    void downloadWithURL(const std::string& url, VMDataDownloadOperation::ResultBlock block);

    // While cleared, nothing waiting moves to the queue; setting it feeds them again.
    void setStartDownloading(bool start);
    bool startDownloading() const;
    // Moves the newest waiting operation to the queue when a slot is free and the downloader is
    // started; false when it moved none.
    bool fetchDownloadOperation();
    // Clears the started flag, drops every waiting operation and cancels the running ones; each
    // is told it was cancelled. Waits for no thread, so it returns whatever other threads queue
    // meanwhile.
    void cancelAllDownload();
    // Cancels everything, then waits until no operation is still starting or running: what a
    // program does before it exits, so that no transfer outlives the statics it reads.
    void cancelAllDownloadAndWait();

    std::size_t waitingCount() const;

  private:
    VMDataDownloader();
    void startDownloader();
    bool fetchLocked();

    // Shared with the queue's watches on the operations: the last owner may be a download's own
    // block, so an operation can end on a queue thread after the downloader has gone.
    struct Feed {
        std::mutex mutex;  // guards everything below
        std::condition_variable changed;
        std::deque<std::shared_ptr<VMDataDownloadOperation>> waitingStack;  // newest first
        bool startDownloading = false;
        int running = 0;
        bool ending = false;
    };

    const std::shared_ptr<Feed> feed_ = std::make_shared<Feed>();
    // One for the downloader's life: a feeder stopped and restarted by racing threads could be
    // joined while the flag it waits to see cleared was set again.
    std::thread feeder_;
    const std::shared_ptr<NSOperationQueue> downloadQueue_ = NSOperationQueue::create();
};
