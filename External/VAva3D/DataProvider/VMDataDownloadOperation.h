#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"

// Loads one map data request on the thread that starts it, turning that thread's run loop until
// the load ends, and hands the bytes or an error to its result block exactly once. A cancel from
// any thread before the end delivers -999 "Connection cancelled", also when the operation has
// not started yet.
class VMDataDownloadOperation : public NSOperation, public NSURLConnectionDelegate {
  public:
    // Data (absent on failure) and error (set on failure).
    using ResultBlock =
        std::function<void(const std::optional<NSData>& data, const NSErrorOpt& error)>;

    // The receive buffer reserves no more than this up front, whatever length is announced.
    static constexpr std::uint64_t kMaxReserve = std::uint64_t{1} << 20;

    static std::shared_ptr<VMDataDownloadOperation> create(std::shared_ptr<NSURLRequest> request,
                                                           ResultBlock resultBlock);

    void start() override;
    void cancel() override;
    bool isConcurrent() const override { return true; }

    std::shared_ptr<NSURLRequest> request() const;
    // What a load not yet started fetches.
    void setRequest(std::shared_ptr<NSURLRequest> request);
    std::uint64_t expectedSize() const;
    void setExpectedSize(std::uint64_t size);
    // The bytes received so far.
    NSData data() const;
    // What later bytes are appended to; ignored once the load has ended.
    void setData(NSData data);
    std::shared_ptr<NSURLConnection> connection() const;
    // The connection the load cancels when it ends early.
    void setConnection(std::shared_ptr<NSURLConnection> connection);
    ResultBlock resultBlock() const;
    // Ignored once the load has ended: the result is handed out at most once.
    void setResultBlock(ResultBlock block);

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;
    void connectionDidFailWithError(NSURLConnection& connection, const NSError& error) override;

  private:
    VMDataDownloadOperation(std::shared_ptr<NSURLRequest> request, ResultBlock resultBlock)
        : request_(std::move(request)), resultBlock_(std::move(resultBlock)) {}

    // Ends the load with this result unless it has ended already; the block runs outside the lock.
    void finish(std::optional<NSData> data, NSErrorOpt error);
    // Hands both to the block, if one is set, and drops it.
    void invokeResultBlockWithData(const std::optional<NSData>& data, const NSErrorOpt& error);

    mutable std::mutex mutex_;  // guards everything below
    std::shared_ptr<NSURLRequest> request_;
    ResultBlock resultBlock_;
    std::shared_ptr<NSURLConnection> connection_;
    std::shared_ptr<NSRunLoop> runLoop_;
    NSData data_;
    std::uint64_t expectedSize_ = 0;
    bool ended_ = false;
};
