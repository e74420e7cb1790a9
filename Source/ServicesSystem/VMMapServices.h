#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "Foundation/NSObject.h"

// The map kit's shared settings: the vendor key the application registers at start-up and the
// base addresses of the servers the kit talks to. Written on the main thread, read from any
// thread: getters answer copies, so that a setter never replaces a string under a reader.
class VMMapServices : public NSObject {
  public:
    static std::shared_ptr<VMMapServices> sharedServices();

    std::string apiKey() const;
    // Ignores an empty key; stores a different one.
    void setApiKey(const std::string& apiKey);

    // Map data, traffic and model requests are made relative to this; it ends with "/".
    std::string internalServerAddress() const;
    void setInternalServerAddress(const std::string& address);
    std::string trafficServerAddress() const;
    void setTrafficServerAddress(const std::string& address);
    std::string manifestServerAddress() const;
    void setManifestServerAddress(const std::string& address);
    std::string manifestServer() const { return manifestServerAddress(); }

    // Puts the traffic address back to its default, then asks the configuration server for the
    // real-time traffic settings and takes their "url" when it is not empty. The answer arrives
    // on a global queue and is taken on the main queue, where the addresses are written.
    void initTrafficBaseAddress();

    std::string userAgent() const;
    std::string SDKNumberVersion() const;
    std::string SDKVersion() const;

  private:
    VMMapServices();

    mutable std::mutex mutex_;  // guards the four below
    std::string apiKey_;
    std::string internalServerAddress_;
    std::string trafficServerAddress_;
    std::string manifestServerAddress_;
};
