#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// A network thread: a curl multi handle that runs every transfer given to this loader.
// Connections and the completion-style calls sit on the shared one and move events to run loops.
// A loader made with a test transport hands its requests to that instead of the network.
class NSURLLoader {
  public:
    // Answers a request handed to a test transport, once, from any thread: a failure when the
    // error is set, otherwise the response followed by the body.
    using TestReply = std::function<void(std::shared_ptr<NSHTTPURLResponse> response, NSData body,
                                         NSErrorOpt error)>;
    // Called on the thread that loads, with a copy of the request.
    using TestTransport =
        std::function<void(const std::shared_ptr<const NSURLRequest>& request, TestReply reply)>;

    struct Control;

    // A transfer under way, owned by whoever holds this: letting go of it cancels the transfer.
    // Once cancel() has returned the client hears nothing more of it, apart from a call the
    // network thread is making at that moment. Safe to cancel or drop from any thread, before
    // or after the transfer ends, and after the loader has gone.
    class Transfer {
      public:
        Transfer() = default;
        explicit Transfer(std::shared_ptr<Control> control) : control_(std::move(control)) {}
        Transfer(Transfer&&) noexcept = default;
        Transfer& operator=(Transfer&& other) noexcept;
        ~Transfer() { cancel(); }

        void cancel();

      private:
        std::shared_ptr<Control> control_;
    };

    NSURLLoader();
    explicit NSURLLoader(TestTransport transport);
    // Every transfer still under way fails with "cancelled".
    ~NSURLLoader();
    NSURLLoader(const NSURLLoader&) = delete;
    NSURLLoader& operator=(const NSURLLoader&) = delete;

    // The loader of the process, which goes at exit; loads after that fail with "cancelled".
    static const std::shared_ptr<NSURLLoader>& shared();

    // The request is copied, so the caller may change it afterwards. A request that cannot
    // start fails at once, before this returns.
    [[nodiscard]] Transfer load(const NSURLRequest& request,
                                std::shared_ptr<NSURLLoaderClient> client);

    // The seconds a request is held to: its time-out, or the default for none.
    static double timeoutSeconds(const NSURLRequest& request);

    // The URL error for a failed transfer, from the curl result and the socket's errno.
    static NSError errorForTransferFailure(int curlCode, long osErrno, const std::string& url);

  private:
    struct Impl;
    Transfer loadThroughTransport(const NSURLRequest& request,
                                  std::shared_ptr<NSURLLoaderClient> client);
    void shutDown();

    std::shared_ptr<Impl> impl_;
    TestTransport transport_;
};
