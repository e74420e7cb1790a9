#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"

// Downloads one request onto the end of a file, so that a partial file and a range request
// resume a transfer. Incoming bytes are buffered and written in pieces of just over 1 MiB; the
// free space is checked before a response is accepted and before every write.
//
// One lock covers the buffer, the file, the state and the blocks: whatever races (data, the end
// of the transfer, a cancel from another thread, background expiry), no byte is written twice
// and exactly one of the completed and cancelled blocks is called, once.
//
// The request's maximum response length, when set, is the size of the whole file: the bytes
// already there count toward it. A reply that announces more fails before it writes; one that
// sends more fails with NSURLErrorDataLengthExceedsMaximum and takes the file away, since what
// came may be no start of the file at all.
class VMDownloaderOperation : public NSOperation, public NSURLConnectionDelegate {
  public:
    using ProgressBlock = std::function<void(std::int64_t receivedSize, std::int64_t expectedSize)>;
    using CompletedBlock = std::function<void(const NSErrorOpt& error)>;
    using CancelledBlock = std::function<void()>;

    static constexpr std::size_t kWriteThreshold = 1048576;

    static std::shared_ptr<VMDownloaderOperation> create(std::shared_ptr<NSURLRequest> request,
                                                         ProgressBlock progress,
                                                         CompletedBlock completed,
                                                         CancelledBlock cancelled);
    ~VMDownloaderOperation() override;

    void start() override;
    void cancel() override;
    bool isConcurrent() const override { return true; }

    const std::shared_ptr<NSURLRequest>& request() const { return request_; }
    const std::string& downloadToFilePath() const { return downloadToFilePath_; }
    void setDownloadToFilePath(std::string path) { downloadToFilePath_ = std::move(path); }
    bool shouldContinueWhenAppEntersBackground() const { return shouldContinue_; }
    void setShouldContinueWhenAppEntersBackground(bool v) { shouldContinue_ = v; }
    std::int64_t expectedSize() const;
    std::int64_t receivedSize() const;
    // Empty once the download has ended.
    ProgressBlock progressBlock() const;
    CompletedBlock completedBlock() const;
    CancelledBlock cancelledBlock() const;
    // Bytes received and not yet written to the file.
    std::vector<std::uint8_t> receivedData() const;
    std::shared_ptr<NSURLConnection> connection() const;
    unsigned long backgroundTask() const;
    // The descriptor open for appending to the target file while the download runs; -1 else.
    int fileHandleForDownloadToFilePath() const;
    // Deletes the target file; false when there was none to delete.
    bool removeDownloadFile() const;
    // Where this transfer's bytes begin in the file: what was there before, or 0 once a whole
    // body replaced it.
    std::int64_t fileOffset() const;

    static bool isMultitaskingSupported();
    // What a download short of room fails with; the offline manager's unpacking says it too.
    static NSError constructOutOfSpaceError();

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;
    void connectionDidFailWithError(NSURLConnection& connection, const NSError& error) override;

  private:
    VMDownloaderOperation(std::shared_ptr<NSURLRequest> request, ProgressBlock progress,
                          CompletedBlock completed, CancelledBlock cancelled);

    void beginBackgroundTask();
    void endBackgroundTask();
    void reset();
    void done();
    bool writeDataToDownloadFileWithError(NSError* error);
    static bool isFreeDiskSpaceLargerThanSize(std::uint64_t size);
    void dealError(const NSError& error, bool cancelConnection);
    // Fails a transfer that went past the file's size.
    void dealOverrun(bool cancelConnection);
    void stopRunLoop();
    bool over() const { return isFinished() || isCancelled(); }

    const std::shared_ptr<NSURLRequest> request_;
    std::string downloadToFilePath_;
    bool shouldContinue_ = false;

    mutable std::recursive_mutex mutex_;
    ProgressBlock progressBlock_;
    CompletedBlock completedBlock_;
    CancelledBlock cancelledBlock_;
    std::int64_t expectedSize_ = 0;
    std::int64_t receivedSize_ = 0;
    std::vector<std::uint8_t> receivedData_;
    std::shared_ptr<NSURLConnection> connection_;
    std::shared_ptr<NSRunLoop> runLoop_;
    int file_ = -1;
    // A file that already had bytes was asked for its rest; an answer with the whole body
    // replaces them instead of following them.
    bool resuming_ = false;
    std::int64_t fileOffset_ = 0;
    unsigned long backgroundTask_ = 0;
};
