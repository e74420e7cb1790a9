#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Foundation/NSOperation.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURLConnection.h"
#include "MapDataAnswer.h"
#include "VAGLMapVTMCDataCache.h"
#include "vmap_core/MapEngine.h"

// The older form of a map data request: the same URLs and answer as the data provider's, parsed
// as the answer streams in, for one engine. A time-out below 90 s is retried once at 90 s on the
// shared legacy queue. Idle in the kit: only its own retry creates one.
class VAGetMapDataOperation : public NSOperation, public NSURLConnectionDelegate {
  public:
    static constexpr double kDefaultTimeout = 45.0;
    static constexpr double kRetryTimeout = 90.0;

    // The server defaults to the kit's map server address.
    static std::shared_ptr<VAGetMapDataOperation> create(
        std::vector<VAGLMapSourceGridData> gridsList, MapDataType sourceType, MapEngine* mapEngine);

    // The body of a thread that carries connections: turns its run loop until it is stopped.
    static void runRequests();
    static bool isMultitaskingSupported();

    void main() override;
    void cancel() override;
    void cancelNetwork();

    std::optional<std::string> genMpsServerRequestString() const;
    std::string joinGridString(const std::string& separator) const;

    const std::vector<VAGLMapSourceGridData>& gridsList() const { return gridsList_; }
    MapDataType sourceType() const { return sourceType_; }
    MapEngine* mapEngine() const { return mapEngine_; }
    double timeout() const { return timeout_; }
    void setTimeout(double seconds) { timeout_ = seconds; }
    const std::string& server() const { return server_; }
    void setServer(std::string server) { server_ = std::move(server); }
    bool isCompleted() const;

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;
    void connectionDidFailWithError(NSURLConnection& connection, const NSError& error) override;

  private:
    VAGetMapDataOperation(std::vector<VAGLMapSourceGridData> gridsList, MapDataType sourceType,
                          MapEngine* mapEngine);
    void handOn(MapDataBody body);
    // Marks the operation completed and stops its run loop; false when it was completed already.
    bool complete();
    void clearGridStatus();
    void post(const char* name);

    const std::vector<VAGLMapSourceGridData> gridsList_;
    const MapDataType sourceType_;
    MapEngine* const mapEngine_;
    double timeout_ = kDefaultTimeout;
    std::string server_;

    mutable std::recursive_mutex cancelledLock_;  // guards everything below
    std::shared_ptr<NSURLConnection> urlConnection_;
    std::shared_ptr<NSRunLoop> runLoop_;
    MapDataAnswerStream stream_;
    bool receivedHeader_ = false;
    bool cancelled_ = false;
    bool completed_ = false;
};
