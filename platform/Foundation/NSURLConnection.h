#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "NSData.h"
#include "NSError.h"
#include "NSHTTPURLResponse.h"
#include "NSObject.h"
#include "NSURLLoader.h"
#include "NSURLRequest.h"
#include "ThreadChecker.h"

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

// Loads a request on a loader's network thread (the shared one unless given another, such as
// one made with a test transport) and hands the events to the run loop of the thread that
// started it. A started connection keeps itself alive until it finishes, fails or is cancelled.
// The delegate is held weakly; a connection whose delegate has gone cancels itself.
class NSURLConnection : public NSObject {
  public:
    using CompletionHandler = std::function<void(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                 const NSData& data, const NSErrorOpt& error)>;

    // Absent without a request, as the loading system refuses to make a connection for none.
    static std::shared_ptr<NSURLConnection> connectionWithRequest(
        std::shared_ptr<NSURLRequest> request, std::weak_ptr<NSURLConnectionDelegate> delegate);
    static std::shared_ptr<NSURLConnection> create(std::shared_ptr<NSURLRequest> request,
                                                   std::weak_ptr<NSURLConnectionDelegate> delegate,
                                                   bool startImmediately = true,
                                                   std::shared_ptr<NSURLLoader> loader = nullptr);

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
    // Blocks the calling thread until the load ends, at the latest when the request's time-out
    // has passed (unless its time-out is an idle limit); meant for worker threads.
    static NSURLConnectionResult sendSynchronousRequest(
        const std::shared_ptr<NSURLRequest>& request);

  private:
    class Client;

    NSURLConnection(std::shared_ptr<NSURLRequest> request,
                    std::weak_ptr<NSURLConnectionDelegate> delegate,
                    std::shared_ptr<NSURLLoader> loader);
    void deliver(const std::function<void(NSURLConnectionDelegate&)>& call, bool last);

    std::shared_ptr<NSURLRequest> request_;
    std::weak_ptr<NSURLConnectionDelegate> delegate_;
    const std::shared_ptr<NSURLLoader> loader_;
    const bool hasDelegate_;
    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    // Deliveries run on the thread that started the connection.
    ThreadChecker startingThread_{"NSURLConnection delivery"};
    std::mutex mutex_;  // guards transfer_
    NSURLLoader::Transfer transfer_;
};
