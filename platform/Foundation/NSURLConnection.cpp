#include "NSURLConnection.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "NSOperationQueue.h"
#include "NSRunLoop.h"
#include "NSURLErrorDescription.h"

class NSURLConnection::Client final : public NSURLLoaderClient {
  public:
    Client(std::shared_ptr<NSURLConnection> connection, std::weak_ptr<NSRunLoop> loop)
        : connection_(std::move(connection)), loop_(std::move(loop)) {}

    void loaderDidReceiveResponse(std::shared_ptr<NSHTTPURLResponse> response) override {
        post(
            [response](NSURLConnection& c, NSURLConnectionDelegate& d) {
                d.connectionDidReceiveResponse(c, response);
            },
            false);
    }
    void loaderDidReceiveData(std::shared_ptr<const NSData> data) override {
        post(
            [data = std::move(data)](NSURLConnection& c, NSURLConnectionDelegate& d) {
                d.connectionDidReceiveData(c, *data);
            },
            false);
    }
    void loaderDidFinish() override {
        post(
            [](NSURLConnection& c, NSURLConnectionDelegate& d) { d.connectionDidFinishLoading(c); },
            true);
    }
    void loaderDidFail(NSError error) override {
        post(
            [error = std::move(error)](NSURLConnection& c, NSURLConnectionDelegate& d) {
                d.connectionDidFailWithError(c, error);
            },
            true);
    }

  private:
    void post(std::function<void(NSURLConnection&, NSURLConnectionDelegate&)> call, bool last) {
        // The last event hands over the client's reference, so the connection goes with the
        // delivery on its own thread rather than whenever the network thread drops the client.
        auto connection = last ? std::move(connection_) : connection_;
        const auto loop = loop_.lock();
        if (!loop) {
            // The starting thread has gone: nobody is left to hear the rest.
            connection->cancel();
            return;
        }
        loop->performBlock([connection = std::move(connection), call = std::move(call), last] {
            connection->deliver([&](NSURLConnectionDelegate& d) { call(*connection, d); }, last);
        });
    }

    std::shared_ptr<NSURLConnection> connection_;
    std::weak_ptr<NSRunLoop> loop_;
};

namespace {

// Where a completion handler runs: a run loop or an operation queue.
using Dispatcher = std::function<void(std::function<void()>)>;

Dispatcher onRunLoop(std::weak_ptr<NSRunLoop> loop) {
    return [loop = std::move(loop)](std::function<void()> block) {
        if (const auto l = loop.lock()) l->performBlock(std::move(block));
    };
}

// Collects the whole body on the network thread and answers once, through the dispatcher.
// Nobody can cancel such a request: the client holds its own transfer until it ends.
class CompletionClient final : public NSURLLoaderClient {
  public:
    CompletionClient(NSURLConnection::CompletionHandler handler, Dispatcher dispatcher)
        : handler_(std::move(handler)), dispatcher_(std::move(dispatcher)) {}

    void keep(NSURLLoader::Transfer transfer) { transfer_ = std::move(transfer); }

    void loaderDidReceiveResponse(std::shared_ptr<NSHTTPURLResponse> response) override {
        response_ = std::move(response);
    }
    void loaderDidReceiveData(std::shared_ptr<const NSData> data) override {
        data_.insert(data_.end(), data->begin(), data->end());
    }
    void loaderDidFinish() override { answer(std::move(response_), std::move(data_), {}); }
    void loaderDidFail(NSError error) override { answer(nullptr, {}, std::move(error)); }

  private:
    void answer(std::shared_ptr<NSHTTPURLResponse> response, NSData data, NSErrorOpt error) {
        dispatcher_([handler = std::move(handler_), response = std::move(response),
                     data = std::move(data),
                     error = std::move(error)] { handler(response, data, error); });
    }

    NSURLLoader::Transfer transfer_;
    NSURLConnection::CompletionHandler handler_;
    Dispatcher dispatcher_;
    std::shared_ptr<NSHTTPURLResponse> response_;
    NSData data_;
};

void sendWithDispatcher(const std::shared_ptr<NSURLRequest>& request,
                        NSURLConnection::CompletionHandler handler, Dispatcher dispatcher) {
    auto client = std::make_shared<CompletionClient>(std::move(handler), std::move(dispatcher));
    if (!request) {
        client->loaderDidFail(NSURLErrorWithCode(NSURLErrorBadURL, ""));
        return;
    }
    client->keep(NSURLLoader::shared()->load(*request, client));
}

class WaitingClient final : public NSURLLoaderClient {
  public:
    void loaderDidReceiveResponse(std::shared_ptr<NSHTTPURLResponse> response) override {
        std::lock_guard lock(mutex_);
        result_.response = std::move(response);
    }
    void loaderDidReceiveData(std::shared_ptr<const NSData> data) override {
        std::lock_guard lock(mutex_);
        result_.data.insert(result_.data.end(), data->begin(), data->end());
    }
    void loaderDidFinish() override { end({}); }
    void loaderDidFail(NSError error) override { end(std::move(error)); }

    // Null for no deadline. Past the deadline the wait ends with a time-out, whatever the
    // loader is doing.
    NSURLConnectionResult wait(std::optional<std::chrono::steady_clock::time_point> deadline,
                               const std::string& url) {
        std::unique_lock lock(mutex_);
        const auto ended = [this] { return ended_; };
        if (!deadline) {
            done_.wait(lock, ended);
        } else if (!done_.wait_until(lock, *deadline, ended)) {
            return {{}, nullptr, NSURLErrorWithCode(NSURLErrorTimedOut, url)};
        }
        return std::move(result_);
    }

  private:
    void end(NSErrorOpt error) {
        {
            std::lock_guard lock(mutex_);
            if (error) {
                result_.data.clear();
                result_.response.reset();
                result_.error = std::move(error);
            }
            ended_ = true;
        }
        done_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable done_;
    bool ended_ = false;
    NSURLConnectionResult result_;
};

}  // namespace

NSURLConnection::NSURLConnection(std::shared_ptr<NSURLRequest> request,
                                 std::weak_ptr<NSURLConnectionDelegate> delegate,
                                 std::shared_ptr<NSURLLoader> loader)
    : request_(std::move(request)),
      delegate_(std::move(delegate)),
      loader_(loader ? std::move(loader) : NSURLLoader::shared()),
      hasDelegate_(!delegate_.expired()) {}

std::shared_ptr<NSURLConnection> NSURLConnection::connectionWithRequest(
    std::shared_ptr<NSURLRequest> request, std::weak_ptr<NSURLConnectionDelegate> delegate) {
    return create(std::move(request), std::move(delegate), true);
}

std::shared_ptr<NSURLConnection> NSURLConnection::create(
    std::shared_ptr<NSURLRequest> request, std::weak_ptr<NSURLConnectionDelegate> delegate,
    bool startImmediately, std::shared_ptr<NSURLLoader> loader) {
    if (!request) return nullptr;
    auto connection = std::shared_ptr<NSURLConnection>(
        new NSURLConnection(std::move(request), std::move(delegate), std::move(loader)));
    if (startImmediately) connection->start();
    return connection;
}

void NSURLConnection::start() {
    if (cancelled_ || started_.exchange(true)) return;
    startingThread_.attachToCurrentThread();
    auto client =
        std::make_shared<Client>(sharedSelf<NSURLConnection>(), NSRunLoop::currentRunLoop());
    auto transfer = loader_->load(*request_, std::move(client));
    std::lock_guard lock(mutex_);
    // A cancel() from another thread during the load found no transfer to cancel: it goes here.
    if (!cancelled_) transfer_ = std::move(transfer);
}

void NSURLConnection::cancel() {
    if (cancelled_.exchange(true) || ended_) return;
    NSURLLoader::Transfer transfer;
    {
        std::lock_guard lock(mutex_);
        transfer = std::move(transfer_);
    }
    transfer.cancel();
}

void NSURLConnection::deliver(const std::function<void(NSURLConnectionDelegate&)>& call,
                              bool last) {
    startingThread_.verifyThread();
    if (cancelled_ || ended_) return;
    if (last) ended_ = true;
    const auto delegate = delegate_.lock();
    if (!delegate) {
        if (hasDelegate_ && !last) cancel();
        return;
    }
    call(*delegate);
}

void NSURLConnection::sendAsynchronousRequest(std::shared_ptr<NSURLRequest> request,
                                              CompletionHandler completionHandler) {
    sendWithDispatcher(request, std::move(completionHandler),
                       onRunLoop(NSRunLoop::currentRunLoop()));
}

void NSURLConnection::sendAsynchronousRequest(std::shared_ptr<NSURLRequest> request,
                                              const std::shared_ptr<NSOperationQueue>& queue,
                                              CompletionHandler completionHandler) {
    if (!queue) {
        sendAsynchronousRequest(std::move(request), std::move(completionHandler));
        return;
    }
    sendWithDispatcher(
        request, std::move(completionHandler),
        [weak = std::weak_ptr<NSOperationQueue>(queue)](std::function<void()> block) {
            if (const auto q = weak.lock()) q->addOperationWithBlock(std::move(block));
        });
}

NSURLConnectionResult NSURLConnection::sendSynchronousRequest(
    const std::shared_ptr<NSURLRequest>& request) {
    if (!request) return {{}, nullptr, NSURLErrorWithCode(NSURLErrorBadURL, "")};
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (!request->timeoutIsIdleLimit())
        deadline = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(NSURLLoader::timeoutSeconds(*request)));
    auto client = std::make_shared<WaitingClient>();
    const auto transfer = NSURLLoader::shared()->load(*request, client);
    return client->wait(deadline, request->URL() ? request->URL()->absoluteString() : "");
}
