#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "NSData.h"
#include "NSError.h"
#include "NSHTTPURLResponse.h"
#include "NSObject.h"
#include "NSURLRequest.h"

class NSOperationQueue;
class NSURLConnection;

// Hears a connection, on the thread that started it. Every method is optional.
class NSURLConnectionDelegate {
  public:
    virtual ~NSURLConnectionDelegate() = default;
    virtual void connectionDidReceiveResponse(NSURLConnection& /*connection*/,
                                              const std::shared_ptr<NSHTTPURLResponse>& /*r*/) {}
    // The body in order, in chunks of whatever size the network delivered.
    virtual void connectionDidReceiveData(NSURLConnection& /*connection*/,
                                          std::span<const std::uint8_t> /*data*/) {}
    virtual void connectionDidFinishLoading(NSURLConnection& /*connection*/) {}
    virtual void connectionDidFailWithError(NSURLConnection& /*connection*/,
                                            const NSError& /*error*/) {}
};

// What a request came back with. On failure the error is set and the data is empty.
struct NSURLConnectionResult {
    NSData data;
    std::shared_ptr<NSHTTPURLResponse> response;
    NSErrorOpt error;
};

// Loads a request on the shared network thread and hands the events to the run loop of the
// thread that started it. A started connection keeps itself alive until it finishes, fails or
// is cancelled. The delegate is held weakly; a connection whose delegate has gone cancels itself.
class NSURLConnection : public NSObject {
  public:
    using CompletionHandler = std::function<void(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                 const NSData& data, const NSErrorOpt& error)>;
    using TestReply = std::function<void(std::shared_ptr<NSHTTPURLResponse> response, NSData body,
                                         NSErrorOpt error)>;
    using TestTransport =
        std::function<void(const std::shared_ptr<const NSURLRequest>& request, TestReply reply)>;

    // Absent without a request, as the loading system refuses to make a connection for none.
    static std::shared_ptr<NSURLConnection> connectionWithRequest(
        std::shared_ptr<NSURLRequest> request, std::weak_ptr<NSURLConnectionDelegate> delegate);
    static std::shared_ptr<NSURLConnection> create(std::shared_ptr<NSURLRequest> request,
                                                   std::weak_ptr<NSURLConnectionDelegate> delegate,
                                                   bool startImmediately = true);

    // Starts loading; the events go to the current thread's run loop. Later calls do nothing.
    void start();
    // Stops loading, from any thread. No delegate method runs after cancel() returns when it is
    // called on the starting thread; from another thread a method already running may finish.
    // The delegate hears no failure for it.
    void cancel();

    const std::shared_ptr<NSURLRequest>& originalRequest() const { return request_; }

    // Calls the handler on the current thread's run loop once the load ends.
    static void sendAsynchronousRequest(std::shared_ptr<NSURLRequest> request,
                                        CompletionHandler completionHandler);
    // Calls the handler as an operation of the queue, which is held weakly: an answer for a
    // queue that has gone is dropped.
    static void sendAsynchronousRequest(std::shared_ptr<NSURLRequest> request,
                                        const std::shared_ptr<NSOperationQueue>& queue,
                                        CompletionHandler completionHandler);
    // Blocks the calling thread until the load ends; meant for worker threads.
    static NSURLConnectionResult sendSynchronousRequest(
        const std::shared_ptr<NSURLRequest>& request);

    // Hands every later request to the transport instead of the network (an empty one restores
    // the network), so tests of higher layers can see what is sent and answer when they like.
    // The transport is called on the thread that starts the request, with a copy of it; the
    // reply may come from any thread, later, and counts once (an error makes it a failure).
    static void setTestTransport(TestTransport transport);

  private:
    class Client;

    NSURLConnection(std::shared_ptr<NSURLRequest> request,
                    std::weak_ptr<NSURLConnectionDelegate> delegate);
    void deliver(const std::function<void(NSURLConnectionDelegate&)>& call, bool last);

    std::shared_ptr<NSURLRequest> request_;
    std::weak_ptr<NSURLConnectionDelegate> delegate_;
    const bool hasDelegate_;
    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    std::atomic<std::uint64_t> transfer_{0};
};
