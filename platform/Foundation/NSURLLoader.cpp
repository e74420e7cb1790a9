#include "NSURLLoader.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
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

struct Transfer {
    NSURLLoader::TransferId id = 0;
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
    const size_t length = size * count;
    if (!t->responseSent) t->sendResponse();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    t->client->loaderDidReceiveData(NSData(bytes, bytes + length));
    return length;
}

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
    // that keeps moving is not cut off.
    const double timeout = request.timeoutInterval() > 0 ? request.timeoutInterval()
                                                         : NSURLRequest::kDefaultTimeoutInterval;
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout * 1000.0));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, std::max(1L, std::lround(std::ceil(timeout))));

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
    for (const auto& [name, value] : request.allHTTPHeaderFields())
        append(value.empty() ? name + ";" : name + ": " + value);
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
    long osErrno = 0;
    curl_easy_getinfo(t.easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    t.client->loaderDidFail(errorForTransferFailure(result, osErrno, t.url));
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
            curl_multi_add_handle(multi, t->easy.get());
            const TransferId id = t->id;
            active.emplace(id, std::move(t));
        }
        for (const TransferId id : cancels) {
            if (auto it = active.find(id); it != active.end()) drop(it);
        }
        if (stop) break;

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
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    // Whoever still waits hears that its transfer will not complete.
    for (auto it = active.begin(); it != active.end(); it = active.begin()) {
        it->second->client->loaderDidFail(
            urlError(NSURLErrorCancelled, "cancelled", it->second->url));
        drop(it);
    }
}

NSURLLoader::NSURLLoader() : impl_(std::make_unique<Impl>()) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    impl_->multi = curl_multi_init();
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

NSURLLoader::~NSURLLoader() {
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
                if (!body.empty()) client->loaderDidReceiveData(std::move(body));
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
    configure(*t, request);
    {
        std::lock_guard lock(impl_->mutex);
        impl_->pendingAdds.push_back(std::move(t));
    }
    curl_multi_wakeup(impl_->multi);
    return id;
}

void NSURLLoader::cancel(TransferId transfer) {
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
