#include "NSURLLoader.h"

#include <curl/curl.h>
#include <poll.h>
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
#include <vector>

#include "NSHTTPCookieStorage.h"
#include "NSLog.h"
#include "NSURLErrorDescription.h"
#include "ThreadChecker.h"

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

NSError multiError(CURLMcode code, const std::string& url) {
    return NSURLErrorWithCode(NSURLErrorUnknown, url, curl_multi_strerror(code));
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

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // A full counter (EAGAIN) is a wake-up already pending.
    void signal() const {
        const std::uint64_t one = 1;
        if (write(fd_, &one, sizeof one) < 0 && errno != EAGAIN)
            NSLog("URL loading: cannot wake the network thread: errno %d", errno);
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

}  // namespace

// What a transfer's handle shares with the thread that runs it.
struct NSURLLoader::Control {
    // Set when the client is to hear nothing more: the handle cancelled, or the transfer ended.
    std::atomic<bool> done{false};
    // Null for a test transport, which has no thread to wake.
    std::weak_ptr<const WakeSignal> wake;
};

namespace {

// One transfer as the network thread runs it.
struct Job {
    std::shared_ptr<NSURLLoader::Control> control;
    SteadyClock::duration timeout{};
    // Large downloads only: the time-out bounds each wait for progress, not the whole transfer.
    bool timeoutIsIdleLimit = false;
    SteadyClock::time_point started;
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
    std::uint64_t maximumLength = 0;  // 0: no limit
    std::uint64_t received = 0;       // body bytes as decoded
    bool tooLong = false;
    std::shared_ptr<NSHTTPCookieStorage> cookies;

    // Cookies belong to the address that set them, a redirect's included.
    void storeCookie(std::string_view value) {
        char* current = nullptr;
        std::shared_ptr<NSURL> from;
        if (curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &current) == CURLE_OK &&
            current != nullptr)
            from = NSURL::URLWithString(current);
        cookies->setCookieFromHeader(value, from ? *from : *nsurl);
    }

    bool cancelled() const { return control->done.load(); }

    SteadyClock::time_point expiry() const {
        return (timeoutIsIdleLimit ? lastProgress : started) + timeout;
    }

    void sendResponse() {
        responseSent = true;
        char* effective = nullptr;
        std::shared_ptr<NSURL> responseURL;
        if (curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
            effective != nullptr)
            responseURL = NSURL::URLWithString(effective);
        long code = 0;
        if (curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
        client->loaderDidReceiveResponse(NSHTTPURLResponse::create(
            responseURL ? responseURL : nsurl, code ? code : status, version, fields));
    }
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Job*>(user);
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
    if (NSHTTPFieldNameLess::equal(name, "Set-Cookie")) t->storeCookie(value);
    if (auto it = t->fields.find(name); it != t->fields.end()) {
        it->second += ", ";
        it->second += value;
    } else {
        t->fields.emplace(std::string(name), std::string(value));
    }
    return length;
}

size_t onData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Job*>(user);
    // Nobody listens any more: stop reading (curl ends the transfer with a write error).
    if (t->cancelled()) return 0;
    if (t->backlog->bytes.load() >= kBacklogHighMark) {
        // curl keeps these bytes and hands them over again once resumed.
        t->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->lastProgress = SteadyClock::now();
    const size_t length = size * count;
    // Counted after decoding: a small compressed reply may inflate without end.
    if (t->maximumLength != 0 &&
        length > t->maximumLength - std::min(t->received, t->maximumLength)) {
        t->tooLong = true;
        return 0;
    }
    t->received += length;
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
    auto* t = static_cast<Job*>(user);
    if (downloaded != t->seenDown || uploaded != t->seenUp) {
        t->seenDown = downloaded;
        t->seenUp = uploaded;
        t->lastProgress = SteadyClock::now();
    }
    return 0;
}

// Checks what curl would otherwise reject late or obscurely; returns the error to report.
NSErrorOpt validate(const NSURLRequest& request) {
    const auto& url = request.URL();
    const std::string text = url ? url->absoluteString() : std::string();
    if (!url) return NSURLErrorWithCode(NSURLErrorBadURL, text);
    if (url->scheme() != "http" && url->scheme() != "https")
        return NSURLErrorWithCode(NSURLErrorUnsupportedURL, text);
    if (url->host().empty()) return NSURLErrorWithCode(NSURLErrorBadURL, text, "no host");
    if (!isToken(request.HTTPMethod()))
        return NSURLErrorWithCode(NSURLErrorBadURL, text, "invalid HTTP method");
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        if (!isToken(name) || !isSafeFieldText(value))
            return NSURLErrorWithCode(NSURLErrorBadURL, text,
                                      "invalid header field \"" + name + "\"");
    }
    return std::nullopt;
}

// Sets options in turn until curl refuses one; that refusal is the result.
class EasyOptions {
  public:
    explicit EasyOptions(CURL* easy) : easy_(easy) {}
    template <class Value>
    EasyOptions& set(CURLoption option, Value value) {
        if (result_ == CURLE_OK) result_ = curl_easy_setopt(easy_, option, value);
        return *this;
    }
    void fail(CURLcode code) {
        if (result_ == CURLE_OK) result_ = code;
    }
    CURLcode result() const { return result_; }

  private:
    CURL* easy_;
    CURLcode result_ = CURLE_OK;
};

HeaderList headerLines(const NSURLRequest& request, const NSHTTPCookieStorage& cookies,
                       EasyOptions& options) {
    HeaderList list;
    const auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) {
            options.fail(CURLE_OUT_OF_MEMORY);
            return;
        }
        static_cast<void>(list.release());
        list.reset(grown);
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
    // A caller that sets its own cookies decides alone what goes.
    if (!request.valueForHTTPHeaderField("Cookie")) {
        if (const auto jar = cookies.cookieHeaderForURL(*request.URL()); !jar.empty())
            append("Cookie: " + jar);
    }
    return list;
}

CURLcode configure(Job& t, const NSURLRequest& request) {
    EasyOptions options(t.easy.get());
    // Never destroyed: a queue's worker may still start a transfer while the process exits.
    static const std::string& noProxy = *new std::string(noProxyList());
    options.set(CURLOPT_URL, t.url.c_str())
        .set(CURLOPT_NOSIGNAL, 1L)
        .set(CURLOPT_PROTOCOLS_STR, "http,https")
        .set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
        .set(CURLOPT_FOLLOWLOCATION, 1L)
        .set(CURLOPT_MAXREDIRS, kMaxRedirects)
        .set(CURLOPT_ACCEPT_ENCODING, "gzip, deflate")
        .set(CURLOPT_NOPROXY, noProxy.c_str())
        .set(CURLOPT_HEADERFUNCTION, onHeader)
        .set(CURLOPT_HEADERDATA, &t)
        .set(CURLOPT_WRITEFUNCTION, onData)
        .set(CURLOPT_WRITEDATA, &t);

    // The network thread watches the time-out itself (see Impl::expire): curl's own would be
    // reset by every byte a slow server lets through.
    t.timeout = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(NSURLLoader::timeoutSeconds(request)));
    t.timeoutIsIdleLimit = request.timeoutIsIdleLimit();
    options.set(CURLOPT_NOPROGRESS, 0L)
        .set(CURLOPT_XFERINFOFUNCTION, onProgress)
        .set(CURLOPT_XFERINFODATA, &t);

    const std::string& method = request.HTTPMethod();
    if (method == "HEAD") {
        options.set(CURLOPT_NOBODY, 1L);
    } else {
        if (!t.body.empty() || method == "POST") {
            options.set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body.size()))
                .set(CURLOPT_POSTFIELDS,
                     t.body.empty() ? "" : reinterpret_cast<const char*>(t.body.data()));
        }
        if (method != "POST" && !(method == "GET" && t.body.empty()))
            options.set(CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    t.headers = headerLines(request, *t.cookies, options);
    options.set(CURLOPT_HTTPHEADER, t.headers.get());
    return options.result();
}

}  // namespace

struct NSURLLoader::Impl {
    // Set once at construction: null when curl could not be set up.
    bool curlInitialised = false;
    CURLM* multi = nullptr;
    NSErrorOpt setUpError;
    const std::shared_ptr<const WakeSignal> wake = std::make_shared<WakeSignal>();
    std::thread thread;
    ThreadChecker networkThread{"URL loader's transfer list"};

    std::mutex mutex;  // guards the two below
    std::vector<std::unique_ptr<Job>> pendingAdds;
    bool stopping = false;

    // Network thread only.
    std::map<CURL*, std::unique_ptr<Job>> active;

    void run();
    void addPending();
    void dropCancelled();
    void finishCompleted();
    void complete(Job& t, CURLcode result);
    // Fails the transfers whose time-out has passed (since their start, or since their last
    // progress for an idle limit); returns how long the thread may sleep before the next one
    // could expire.
    std::chrono::milliseconds expire();
    void resumeDrained();
    void wait(std::chrono::milliseconds sleep);
    // Tells every client that its transfer ended with the error, and drops the transfers.
    void failAll(const std::function<NSError(const Job&)>& error);
    void fail(Job& t, NSError error);
    void drop(std::map<CURL*, std::unique_ptr<Job>>::iterator it);
};

void NSURLLoader::Impl::fail(Job& t, NSError error) {
    if (t.control->done.exchange(true)) return;
    t.client->loaderDidFail(std::move(error));
}

void NSURLLoader::Impl::drop(std::map<CURL*, std::unique_ptr<Job>>::iterator it) {
    networkThread.verifyThread();
    // The handle is cleaned up either way; a refusal here means curl's own bookkeeping is off.
    if (const CURLMcode code = curl_multi_remove_handle(multi, it->first); code != CURLM_OK)
        NSLog("URL loading: cannot detach the transfer of %s: %s", it->second->url.c_str(),
              curl_multi_strerror(code));
    active.erase(it);
}

void NSURLLoader::Impl::failAll(const std::function<NSError(const Job&)>& error) {
    while (!active.empty()) {
        const auto it = active.begin();
        fail(*it->second, error(*it->second));
        drop(it);
    }
}

void NSURLLoader::Impl::complete(Job& t, CURLcode result) {
    if (t.cancelled()) return;
    if (result == CURLE_OK) {
        if (!t.responseSent) t.sendResponse();
        if (!t.control->done.exchange(true)) t.client->loaderDidFinish();
        return;
    }
    // Schemes were checked before the start, so "unsupported" before any status line means the
    // peer did not answer in HTTP at all.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && t.status == 0) result = CURLE_WEIRD_SERVER_REPLY;
    if (t.tooLong) {
        fail(t, NSURLErrorWithCode(NSURLErrorDataLengthExceedsMaximum, t.url));
        return;
    }
    long osErrno = 0;
    if (curl_easy_getinfo(t.easy.get(), CURLINFO_OS_ERRNO, &osErrno) != CURLE_OK) osErrno = 0;
    fail(t, errorForTransferFailure(result, osErrno, t.url));
}

std::chrono::milliseconds NSURLLoader::Impl::expire() {
    networkThread.verifyThread();
    const auto now = SteadyClock::now();
    auto sleep = std::chrono::milliseconds(1000);
    for (auto it = active.begin(); it != active.end();) {
        Job& t = *it->second;
        if (t.paused && t.timeoutIsIdleLimit) {  // waiting for its reader, not for the network
            ++it;
            continue;
        }
        const auto deadline = t.expiry();
        if (deadline <= now) {
            fail(t, errorForTransferFailure(CURLE_OPERATION_TIMEDOUT, 0, t.url));
            drop(it++);
            continue;
        }
        sleep = std::min(sleep, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
        ++it;
    }
    return sleep;
}

void NSURLLoader::Impl::resumeDrained() {
    networkThread.verifyThread();
    for (auto it = active.begin(); it != active.end();) {
        Job& t = *it->second;
        if (!t.paused || t.backlog->bytes.load() >= kBacklogLowMark) {
            ++it;
            continue;
        }
        t.paused = false;
        t.lastProgress = SteadyClock::now();
        // The bytes held back are handed over inside this call and may be the ones that end
        // the transfer (past the maximum, or for a client that has gone): it ends as any would.
        if (const CURLcode code = curl_easy_pause(t.easy.get(), CURLPAUSE_CONT); code != CURLE_OK) {
            complete(t, code);
            drop(it++);
            continue;
        }
        ++it;
    }
}

void NSURLLoader::Impl::addPending() {
    std::vector<std::unique_ptr<Job>> adds;
    {
        std::lock_guard lock(mutex);
        adds.swap(pendingAdds);
    }
    for (auto& t : adds) {
        if (t->cancelled()) continue;
        t->lastProgress = SteadyClock::now();
        if (const CURLMcode code = curl_multi_add_handle(multi, t->easy.get()); code != CURLM_OK) {
            fail(*t, multiError(code, t->url));
            continue;
        }
        CURL* easy = t->easy.get();
        active.emplace(easy, std::move(t));
    }
}

void NSURLLoader::Impl::dropCancelled() {
    for (auto it = active.begin(); it != active.end();) {
        if (it->second->cancelled()) {
            drop(it++);
        } else {
            ++it;
        }
    }
}

void NSURLLoader::Impl::finishCompleted() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        const auto it = active.find(message->easy_handle);
        if (it == active.end()) continue;
        complete(*it->second, message->data.result);
        drop(it);
    }
}

void NSURLLoader::Impl::wait(std::chrono::milliseconds sleep) {
    curl_waitfd woken{wake->fd(), CURL_WAIT_POLLIN, 0};
    const CURLMcode code =
        curl_multi_poll(multi, &woken, 1, static_cast<int>(sleep.count()), nullptr);
    if (code == CURLM_OK) return;
    failAll([code](const Job& t) { return multiError(code, t.url); });
    // Without curl's wait, still sleep until woken rather than spin.
    pollfd own{wake->fd(), POLLIN, 0};
    ::poll(&own, 1, static_cast<int>(sleep.count()));
}

void NSURLLoader::Impl::run() {
    networkThread.attachToCurrentThread();
    for (;;) {
        // Drained before the queues are read, so a wake-up after this is never lost.
        wake->drain();
        addPending();
        dropCancelled();
        {
            std::lock_guard lock(mutex);
            if (stopping) break;
        }
        resumeDrained();
        int running = 0;
        if (const CURLMcode code = curl_multi_perform(multi, &running); code != CURLM_OK)
            failAll([code](const Job& t) { return multiError(code, t.url); });
        finishCompleted();
        wait(expire());
    }
    // Whoever still waits, queued or running, hears that its transfer will not complete.
    addPending();
    failAll([](const Job& t) { return NSURLErrorWithCode(NSURLErrorCancelled, t.url); });
}

void NSURLLoader::Transfer::cancel() {
    const auto control = std::move(control_);
    if (!control || control->done.exchange(true)) return;
    if (const auto wake = control->wake.lock()) wake->signal();
}

NSURLLoader::Transfer& NSURLLoader::Transfer::operator=(Transfer&& other) noexcept {
    if (this != &other) {
        cancel();
        control_ = std::move(other.control_);
    }
    return *this;
}

NSURLLoader::NSURLLoader() : impl_(std::make_shared<Impl>()) {
    if (const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT); code != CURLE_OK) {
        impl_->setUpError = errorForTransferFailure(code, 0, "");
        return;
    }
    impl_->curlInitialised = true;
    impl_->multi = curl_multi_init();
    if (impl_->multi == nullptr || !impl_->wake->valid()) {
        impl_->setUpError = errorForTransferFailure(CURLE_FAILED_INIT, 0, "");
        return;
    }
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

NSURLLoader::NSURLLoader(TestTransport transport)
    : impl_(std::make_shared<Impl>()), transport_(std::move(transport)) {}

NSURLLoader::~NSURLLoader() { shutDown(); }

void NSURLLoader::shutDown() {
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping) return;
        impl_->stopping = true;
    }
    if (impl_->thread.joinable()) {
        impl_->wake->signal();
        impl_->thread.join();
    }
    if (impl_->multi != nullptr) {
        if (const CURLMcode code = curl_multi_cleanup(impl_->multi); code != CURLM_OK)
            NSLog("URL loading: cannot clean up: %s", curl_multi_strerror(code));
    }
    if (impl_->curlInitialised) curl_global_cleanup();
}

const std::shared_ptr<NSURLLoader>& NSURLLoader::shared() {
    // Never destroyed, so that whoever loads during exit finds a loader that answers
    // "cancelled"; its thread is stopped and joined at exit all the same.
    static const auto* const loader =
        new std::shared_ptr<NSURLLoader>(std::make_shared<NSURLLoader>());
    static const struct StopAtExit {
        ~StopAtExit() { (*loader)->shutDown(); }
    } stopAtExit;
    return *loader;
}

NSURLLoader::Transfer NSURLLoader::loadThroughTransport(const NSURLRequest& request,
                                                        std::shared_ptr<NSURLLoaderClient> client) {
    auto control = std::make_shared<Control>();
    auto once = std::make_shared<std::once_flag>();
    transport_(request.mutableCopy(), [client = std::move(client), control, once](
                                          std::shared_ptr<NSHTTPURLResponse> response, NSData body,
                                          NSErrorOpt error) {
        std::call_once(*once, [&] {
            if (control->done.exchange(true)) return;
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
    return Transfer(std::move(control));
}

NSURLLoader::Transfer NSURLLoader::load(const NSURLRequest& request,
                                        std::shared_ptr<NSURLLoaderClient> client) {
    if (transport_) return loadThroughTransport(request, std::move(client));
    if (auto error = validate(request)) {
        client->loaderDidFail(std::move(*error));
        return {};
    }
    const std::string url = request.URL()->absoluteString();
    if (impl_->setUpError) {
        auto error = *impl_->setUpError;
        error.userInfo["NSErrorFailingURLStringKey"] = url;
        client->loaderDidFail(std::move(error));
        return {};
    }
    auto control = std::make_shared<Control>();
    control->wake = impl_->wake;
    auto t = std::make_unique<Job>();
    t->started = SteadyClock::now();
    t->control = control;
    t->easy.reset(curl_easy_init());
    t->nsurl = request.URL();
    t->url = url;
    t->body = request.HTTPBody();
    t->maximumLength = request.maximumResponseLength();
    t->client = std::move(client);
    t->backlog = std::make_shared<Backlog>();
    t->backlog->wake = impl_->wake;
    t->cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    const CURLcode configured = t->easy ? configure(*t, request) : CURLE_OUT_OF_MEMORY;
    if (configured != CURLE_OK) {
        t->client->loaderDidFail(errorForTransferFailure(configured, 0, url));
        return {};
    }
    {
        std::unique_lock lock(impl_->mutex);
        if (impl_->stopping) {
            lock.unlock();
            t->client->loaderDidFail(NSURLErrorWithCode(NSURLErrorCancelled, url));
            return {};
        }
        impl_->pendingAdds.push_back(std::move(t));
    }
    impl_->wake->signal();
    return Transfer(std::move(control));
}

double NSURLLoader::timeoutSeconds(const NSURLRequest& request) {
    // Capped at about three years so the clock's nanoseconds hold it: a larger figure would
    // overflow into a deadline already past.
    constexpr double kLongestTimeout = 1e8;
    const double asked = request.timeoutInterval();
    if (!(asked > 0)) return NSURLRequest::kDefaultTimeoutInterval;
    return std::min(asked, kLongestTimeout);
}

NSError NSURLLoader::errorForTransferFailure(int curlCode, long osErrno, const std::string& url) {
    switch (curlCode) {
        case CURLE_UNSUPPORTED_PROTOCOL:
            return NSURLErrorWithCode(NSURLErrorUnsupportedURL, url);
        case CURLE_URL_MALFORMAT:
            return NSURLErrorWithCode(NSURLErrorBadURL, url);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return NSURLErrorWithCode(NSURLErrorCannotFindHost, url);
        case CURLE_COULDNT_CONNECT:
            if (osErrno == ENETUNREACH || osErrno == ENETDOWN)
                return NSURLErrorWithCode(NSURLErrorNotConnectedToInternet, url);
            return NSURLErrorWithCode(NSURLErrorCannotConnectToHost, url);
        case CURLE_OPERATION_TIMEDOUT:
            return NSURLErrorWithCode(NSURLErrorTimedOut, url);
        case CURLE_TOO_MANY_REDIRECTS:
            return NSURLErrorWithCode(NSURLErrorHTTPTooManyRedirects, url);
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return NSURLErrorWithCode(NSURLErrorNetworkConnectionLost, url);
        case CURLE_WEIRD_SERVER_REPLY:
            return NSURLErrorWithCode(NSURLErrorBadServerResponse, url);
        case CURLE_BAD_CONTENT_ENCODING:
            return NSURLErrorWithCode(NSURLErrorCannotDecodeContentData, url);
        default:
            return NSURLErrorWithCode(NSURLErrorUnknown, url,
                                      curl_easy_strerror(static_cast<CURLcode>(curlCode)));
    }
}
