#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"
#include "VAvaSearchObject.h"

inline constexpr const char* VAvaSearchErrorDomain = "VAvaSearchErrorDomain";

enum VAvaSearchErrorCode : long {
    // The server could not be reached or did not answer in time.
    VAvaSearchErrorNetwork = 1,
    // The answer was not one the client understands.
    VAvaSearchErrorBadResponse = 2,
    // The server refused the request (a bad key, a point it has no address for); the
    // description is the server's.
    VAvaSearchErrorRefused = 3,
};

// Hears a search client on the main thread. Every method is optional.
class VAvaSearchDelegate {
  public:
    virtual ~VAvaSearchDelegate() = default;
    virtual void onReGeocodeSearchDone(
        const std::shared_ptr<VAvaReGeocodeSearchRequest>& /*request*/,
        const std::shared_ptr<VAvaReGeocodeSearchResponse>& /*response*/) {}
    virtual void VAvaSearchRequestDidFailWithError(
        const std::shared_ptr<VAvaSearchRequest>& /*request*/, const NSError& /*error*/) {}
};

// Sends searches over HTTP on the search queue (at most 3 at once) and answers its delegate,
// held weakly, on the main queue. Called on the main thread.
class VAvaSearchAPI : public NSObject {
  public:
    static constexpr int kMaxConcurrentSearches = 3;
    static constexpr double kTimeout = 10.0;

    static std::shared_ptr<VAvaSearchAPI> create() {
        return std::shared_ptr<VAvaSearchAPI>(new VAvaSearchAPI());
    }

    // Seconds by which a search has its answer or fails, however slowly the server answers.
    double timeout() const { return timeout_; }
    void setTimeout(double seconds) { timeout_ = seconds; }

    std::shared_ptr<VAvaSearchDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<VAvaSearchDelegate> d) { delegate_ = std::move(d); }

    // Looks up the address of the request's point. A null request, one without a point and one
    // already in flight are ignored.
    void VAvaReGoecodeSearch(const std::shared_ptr<VAvaReGeocodeSearchRequest>& request);

  private:
    VAvaSearchAPI() = default;
    void finishReGeocode(const std::shared_ptr<VAvaReGeocodeSearchRequest>& request,
                         const std::shared_ptr<VAvaReGeocodeSearchResponse>& response,
                         const NSErrorOpt& error);

    std::weak_ptr<VAvaSearchDelegate> delegate_;
    double timeout_ = kTimeout;
    std::vector<std::shared_ptr<VAvaSearchRequest>> inFlight_;
};
