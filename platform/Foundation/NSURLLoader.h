#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NSData.h"
#include "NSError.h"
#include "NSHTTPURLResponse.h"
#include "NSURLRequest.h"

// Hears one transfer. Calls come from the network thread (or at once from load() for a request
// that cannot start, or from whichever thread answers for a test transport), one at a time:
// at most one response, then data in order, then exactly one of finish or fail.
class NSURLLoaderClient {
  public:
    virtual ~NSURLLoaderClient() = default;
    virtual void loaderDidReceiveResponse(std::shared_ptr<NSHTTPURLResponse> response) = 0;
    // A client that keeps a chunk past the call holds back the transfer: while too many bytes
    // are held, the network thread stops reading it.
    virtual void loaderDidReceiveData(std::shared_ptr<const NSData> data) = 0;
    virtual void loaderDidFinish() = 0;
    virtual void loaderDidFail(NSError error) = 0;
};

// The one network thread: a curl multi handle that runs every transfer of the process.
// Connections and the completion-style calls sit on top of it and move events to run loops.
class NSURLLoader {
  public:
    using TransferId = std::uint64_t;
    // Answers a request handed to a test transport, once, from any thread: a failure when the
    // error is set, otherwise the response followed by the body.
    using TestReply = std::function<void(std::shared_ptr<NSHTTPURLResponse> response, NSData body,
                                         NSErrorOpt error)>;
    using TestTransport =
        std::function<void(const std::shared_ptr<const NSURLRequest>& request, TestReply reply)>;

    static NSURLLoader& shared();

    // The request is copied, so the caller may change it afterwards.
    TransferId load(const NSURLRequest& request, std::shared_ptr<NSURLLoaderClient> client);
    // The client hears nothing more of the transfer once the network thread has dropped it.
    void cancel(TransferId transfer);

    // Replaces the network for every later request; an empty transport restores it.
    static void setTestTransport(TestTransport transport);

    // The URL error for a failed transfer, from the curl result and the socket's errno.
    static NSError errorForTransferFailure(int curlCode, long osErrno, const std::string& url);

    ~NSURLLoader();
    NSURLLoader(const NSURLLoader&) = delete;
    NSURLLoader& operator=(const NSURLLoader&) = delete;

  private:
    NSURLLoader();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
