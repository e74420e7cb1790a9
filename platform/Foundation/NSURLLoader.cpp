#include "NSURLLoader.h"

#include <curl/curl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

constexpr long kMaxRedirects = 16;

NSError urlError(long code, std::string description, const std::string& url) {
    auto error = NSError::make(NSURLErrorDomain, code, std::move(description));
    error.userInfo["NSErrorFailingURLStringKey"] = url;
    return error;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool isSafeFieldText(std::string_view s) {
    return std::none_of(s.begin(), s.end(),
                        [](char c) { return c == '\r' || c == '\n' || c == 0; });
}

bool isToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

// Requests to this machine never go through a proxy named in the environment.
std::string noProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) return list + "," + value;
    }
    return list;
}

using SteadyClock = std::chrono::steady_clock;

// Body bytes handed to a client and not yet let go of. Above the high mark the network thread
// pauses the transfer; it resumes once the holder has worked its way below the low mark.
constexpr size_t kBacklogHighMark = 8u << 20;
constexpr size_t kBacklogLowMark = 2u << 20;

// Wakes the network thread from any thread, for as long as anybody holds it.
class WakeSignal {
  public:
    WakeSignal() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~WakeSignal() {
        if (fd_ >= 0) close(fd_);
    }
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    int fd() const { return fd_; }
    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(fd_, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto n = read(fd_, &value, sizeof value);
    }

  private:
    int fd_;
};

struct Backlog {
    std::atomic<size_t> bytes{0};
    std::shared_ptr<const WakeSignal> wake;

    void release(size_t n) {
        const size_t before = bytes.fetch_sub(n);
        if (before >= kBacklogLowMark && before - n < kBacklogLowMark) wake->signal();
    }
};

struct Transfer {
    NSURLLoader::TransferId id = 0;
    SteadyClock::duration idleLimit{};
    SteadyClock::time_point lastProgress;
    curl_off_t seenDown = 0;
    curl_off_t seenUp = 0;
    std::shared_ptr<Backlog> backlog;
    bool paused = false;
    EasyHandle easy;
    HeaderList headers;
    NSData body;
    std::string url;
    std::shared_ptr<NSURL> nsurl;
    std::shared_ptr<NSURLLoaderClient> client;
    std::string version;
    long status = 0;
    NSHTTPHeaderFields fields;
    bool responseSent = false;

    void sendResponse() {
        responseSent = true;
        char* effective = nullptr;
        curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &effective);
        auto responseURL = effective ? NSURL::URLWithString(effective) : nullptr;
        long code = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
        client->loaderDidReceiveResponse(NSHTTPURLResponse::create(
            responseURL ? responseURL : nsurl, code ? code : status, version, fields));
    }
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->lastProgress = SteadyClock::now();
    const size_t length = size * count;
    const std::string_view line = trimmed(std::string_view(data, length));
    if (line.starts_with("HTTP/")) {
        // Each status line (redirects, "100 Continue") starts a new block; the last one wins.
        t->fields.clear();
        const auto space = line.find(' ');
        t->version = std::string(line.substr(0, space));
        t->status = 0;
        if (space != std::string_view::npos) {
            const auto code = line.substr(space + 1);
            std::from_chars(code.data(), code.data() + code.size(), t->status);
        }
        return length;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return length;
    const auto name = trimmed(line.substr(0, colon));
    const auto value = trimmed(line.substr(colon + 1));
    if (auto it = t->fields.find(name); it != t->fields.end()) {
        it->second += ", ";
        it->second += value;
    } else {
        t->fields.emplace(std::string(name), std::string(value));
    }
    return length;
}

size_t onData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (t->backlog->bytes.load() >= kBacklogHighMark) {
        // curl keeps these bytes and hands them over again once resumed.
        t->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->lastProgress = SteadyClock::now();
    const size_t length = size * count;
    if (!t->responseSent) t->sendResponse();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    t->backlog->bytes += length;
    std::shared_ptr<const NSData> chunk(new NSData(bytes, bytes + length),
                                        [backlog = t->backlog, length](const NSData* d) {
                                            delete d;
                                            backlog->release(length);
                                        });
    t->client->loaderDidReceiveData(std::move(chunk));
    return length;
}

// Bytes moving either way (a long upload included) count as progress.
int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<Transfer*>(user);
    if (downloaded != t->seenDown || uploaded != t->seenUp) {
        t->seenDown = downloaded;
        t->seenUp = uploaded;
        t->lastProgress = SteadyClock::now();
    }
    return 0;
}

// Set when the loader is destroyed at exit, so that objects destroyed after it (singletons made
// before the first request) can still cancel or ask without touching a dead thread.
std::atomic<bool> gLoaderGone{false};

std::mutex gTestTransportMutex;
NSURLLoader::TestTransport& testTransport() {
    static NSURLLoader::TestTransport transport;
    return transport;
}

// Checks what curl would otherwise reject late or obscurely; returns the error to report.
NSErrorOpt validate(const NSURLRequest& request) {
    const auto& url = request.URL();
    const std::string text = url ? url->absoluteString() : std::string();
    if (!url) return urlError(NSURLErrorBadURL, "bad URL", text);
    if (url->scheme() != "http" && url->scheme() != "https")
        return urlError(NSURLErrorUnsupportedURL, "unsupported URL", text);
    if (url->host().empty()) return urlError(NSURLErrorBadURL, "bad URL", text);
    if (!isToken(request.HTTPMethod()))
        return urlError(NSURLErrorBadURL, "invalid HTTP method", text);
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        if (!isToken(name) || !isSafeFieldText(value))
            return urlError(NSURLErrorBadURL, "invalid header field \"" + name + "\"", text);
    }
    return std::nullopt;
}

void configure(Transfer& t, const NSURLRequest& request) {
    CURL* e = t.easy.get();
    curl_easy_setopt(e, CURLOPT_URL, t.url.c_str());
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    static const std::string noProxy = noProxyList();
    curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);

    // The interval bounds each wait for progress, not the whole transfer, so a long download
    // that keeps moving is not cut off. The network thread watches it (see Impl::expireIdle).
    // Capped at about three years so the clock's nanoseconds hold it: a larger figure would
    // overflow into a deadline already past.
    constexpr double kLongestTimeout = 1e8;
    const double timeout = request.timeoutInterval() > 0
                               ? std::min(request.timeoutInterval(), kLongestTimeout)
                               : NSURLRequest::kDefaultTimeoutInterval;
    t.idleLimit =
        std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(timeout));
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);

    const std::string& method = request.HTTPMethod();
    if (method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        if (!t.body.empty() || method == "POST") {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(t.body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS,
                             t.body.empty() ? "" : reinterpret_cast<const char*>(t.body.data()));
        }
        if (method != "POST" && !(method == "GET" && t.body.empty()))
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    curl_slist* list = nullptr;
    const auto append = [&list](const std::string& line) {
        if (auto* grown = curl_slist_append(list, line.c_str())) list = grown;
    };
    // The body's length is the one curl measures: a caller's figure that disagreed with it would
    // make the server cut the body or wait for bytes that never come.
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        if (NSHTTPFieldNameLess::equal(name, "Content-Length")) continue;
        append(value.empty() ? name + ";" : name + ": " + value);
    }
    const auto policy = request.cachePolicy();
    if ((policy == NSURLRequestReloadIgnoringLocalCacheData ||
         policy == NSURLRequestReloadIgnoringLocalAndRemoteCacheData) &&
        !request.valueForHTTPHeaderField("Cache-Control"))
        append("Cache-Control: no-cache");
    // Bodies go at once; a round trip for "100 Continue" only slows the small posts we send.
    if (!request.valueForHTTPHeaderField("Expect")) append("Expect:");
    t.headers.reset(list);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);
}

}  // namespace

struct NSURLLoader::Impl {
    CURLM* multi = nullptr;
    std::shared_ptr<const WakeSignal> drained = std::make_shared<WakeSignal>();
    std::thread thread;
    std::atomic<TransferId> nextId{1};

    std::mutex mutex;  // guards the three below
    std::vector<std::unique_ptr<Transfer>> pendingAdds;
    std::vector<TransferId> pendingCancels;
    bool stopping = false;

    // Network thread only.
    std::map<TransferId, std::unique_ptr<Transfer>> active;

    void run();
    void complete(Transfer& t, CURLcode result);
    // Fails the transfers that went without progress for their time-out; returns how long the
    // thread may sleep before the next one could expire.
    std::chrono::milliseconds expireIdle();
    void resumeDrained();
    void drop(std::map<TransferId, std::unique_ptr<Transfer>>::iterator it);
};

void NSURLLoader::Impl::drop(std::map<TransferId, std::unique_ptr<Transfer>>::iterator it) {
    curl_multi_remove_handle(multi, it->second->easy.get());
    active.erase(it);
}

void NSURLLoader::Impl::complete(Transfer& t, CURLcode result) {
    if (result == CURLE_OK) {
        if (!t.responseSent) t.sendResponse();
        t.client->loaderDidFinish();
        return;
    }
    // Schemes were checked before the start, so "unsupported" before any status line means the
    // peer did not answer in HTTP at all.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && t.status == 0) result = CURLE_WEIRD_SERVER_REPLY;
    long osErrno = 0;
    curl_easy_getinfo(t.easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    t.client->loaderDidFail(errorForTransferFailure(result, osErrno, t.url));
}

std::chrono::milliseconds NSURLLoader::Impl::expireIdle() {
    const auto now = SteadyClock::now();
    auto sleep = std::chrono::milliseconds(1000);
    for (auto it = active.begin(); it != active.end();) {
        Transfer& t = *it->second;
        if (t.paused) {  // waiting for its reader, not for the network
            ++it;
            continue;
        }
        const auto deadline = t.lastProgress + t.idleLimit;
        if (deadline <= now) {
            t.client->loaderDidFail(errorForTransferFailure(CURLE_OPERATION_TIMEDOUT, 0, t.url));
            drop(it++);
            continue;
        }
        sleep = std::min(sleep, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        ++it;
    }
    return sleep;
}

void NSURLLoader::Impl::resumeDrained() {
    drained->drain();
    for (auto& [id, t] : active) {
        if (!t->paused || t->backlog->bytes.load() >= kBacklogLowMark) continue;
        t->paused = false;
        t->lastProgress = SteadyClock::now();
        curl_easy_pause(t->easy.get(), CURLPAUSE_CONT);
    }
}

void NSURLLoader::Impl::run() {
    for (;;) {
        std::vector<std::unique_ptr<Transfer>> adds;
        std::vector<TransferId> cancels;
        bool stop = false;
        {
            std::lock_guard lock(mutex);
            adds.swap(pendingAdds);
            cancels.swap(pendingCancels);
            stop = stopping;
        }
        for (auto& t : adds) {
            t->lastProgress = SteadyClock::now();
            curl_multi_add_handle(multi, t->easy.get());
            const TransferId id = t->id;
            active.emplace(id, std::move(t));
        }
        for (const TransferId id : cancels) {
            if (auto it = active.find(id); it != active.end()) drop(it);
        }
        if (stop) break;

        resumeDrained();
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
            const CURLcode result = message->data.result;
            const auto it = active.find(t->id);
            complete(*t, result);
            drop(it);
        }
        const auto sleep = expireIdle();
        curl_waitfd wake{drained->fd(), CURL_WAIT_POLLIN, 0};
        curl_multi_poll(multi, &wake, 1, static_cast<int>(sleep.count()), nullptr);
    }
    // Whoever still waits hears that its transfer will not complete.
    for (auto it = active.begin(); it != active.end(); it = active.begin()) {
        it->second->client->loaderDidFail(
            urlError(NSURLErrorCancelled, "cancelled", it->second->url));
        drop(it);
    }
}

NSURLLoader::NSURLLoader() : impl_(std::make_unique<Impl>()) {
    // Made first, so it is destroyed after the loader at exit.
    testTransport();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    impl_->multi = curl_multi_init();
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

NSURLLoader::~NSURLLoader() {
    gLoaderGone = true;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    curl_multi_wakeup(impl_->multi);
    impl_->thread.join();
    curl_multi_cleanup(impl_->multi);
    curl_global_cleanup();
}

NSURLLoader& NSURLLoader::shared() {
    static NSURLLoader loader;
    return loader;
}

void NSURLLoader::setTestTransport(TestTransport transport) {
    std::lock_guard lock(gTestTransportMutex);
    testTransport() = std::move(transport);
}

NSURLLoader::TransferId NSURLLoader::load(const NSURLRequest& request,
                                          std::shared_ptr<NSURLLoaderClient> client) {
    if (gLoaderGone) {
        client->loaderDidFail(urlError(NSURLErrorCancelled, "cancelled",
                                       request.URL() ? request.URL()->absoluteString() : ""));
        return 0;
    }
    const TransferId id = impl_->nextId++;
    TestTransport transport;
    {
        std::lock_guard lock(gTestTransportMutex);
        transport = testTransport();
    }
    if (transport) {
        auto once = std::make_shared<std::once_flag>();
        transport(request.mutableCopy(), [client, once](std::shared_ptr<NSHTTPURLResponse> response,
                                                        NSData body, NSErrorOpt error) {
            std::call_once(*once, [&] {
                if (error) {
                    client->loaderDidFail(std::move(*error));
                    return;
                }
                client->loaderDidReceiveResponse(std::move(response));
                if (!body.empty())
                    client->loaderDidReceiveData(std::make_shared<const NSData>(std::move(body)));
                client->loaderDidFinish();
            });
        });
        return id;
    }
    if (auto error = validate(request)) {
        client->loaderDidFail(std::move(*error));
        return id;
    }

    auto t = std::make_unique<Transfer>();
    t->id = id;
    t->easy.reset(curl_easy_init());
    t->nsurl = request.URL();
    t->url = t->nsurl->absoluteString();
    t->body = request.HTTPBody();
    t->client = std::move(client);
    t->backlog = std::make_shared<Backlog>();
    t->backlog->wake = impl_->drained;
    configure(*t, request);
    {
        std::lock_guard lock(impl_->mutex);
        impl_->pendingAdds.push_back(std::move(t));
    }
    curl_multi_wakeup(impl_->multi);
    return id;
}

void NSURLLoader::cancel(TransferId transfer) {
    if (gLoaderGone) return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->pendingCancels.push_back(transfer);
    }
    curl_multi_wakeup(impl_->multi);
}

NSError NSURLLoader::errorForTransferFailure(int curlCode, long osErrno, const std::string& url) {
    switch (curlCode) {
        case CURLE_UNSUPPORTED_PROTOCOL:
            return urlError(NSURLErrorUnsupportedURL, "unsupported URL", url);
        case CURLE_URL_MALFORMAT:
            return urlError(NSURLErrorBadURL, "bad URL", url);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return urlError(NSURLErrorCannotFindHost,
                            "A server with the specified hostname could not be found.", url);
        case CURLE_COULDNT_CONNECT:
            if (osErrno == ENETUNREACH || osErrno == ENETDOWN)
                return urlError(NSURLErrorNotConnectedToInternet,
                                "The Internet connection appears to be offline.", url);
            return urlError(NSURLErrorCannotConnectToHost, "Could not connect to the server.", url);
        case CURLE_OPERATION_TIMEDOUT:
            return urlError(NSURLErrorTimedOut, "The request timed out.", url);
        case CURLE_TOO_MANY_REDIRECTS:
            return urlError(NSURLErrorHTTPTooManyRedirects, "too many HTTP redirects", url);
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return urlError(NSURLErrorNetworkConnectionLost, "The network connection was lost.",
                            url);
        case CURLE_WEIRD_SERVER_REPLY:
            return urlError(NSURLErrorBadServerResponse, "bad server response", url);
        case CURLE_BAD_CONTENT_ENCODING:
            return urlError(NSURLErrorCannotDecodeContentData, "cannot decode content data", url);
        default:
            return urlError(NSURLErrorUnknown, curl_easy_strerror(static_cast<CURLcode>(curlCode)),
                            url);
    }
}
