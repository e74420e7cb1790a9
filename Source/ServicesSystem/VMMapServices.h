#pragma once

#include <memory>
#include <string>

#include "Foundation/NSObject.h"

// The map kit's shared settings: the vendor key the application registers at start-up and the
// base addresses of the servers the kit talks to. Filled on the main thread before any map view
// exists, read from any thread afterwards.
class VMMapServices : public NSObject {
  public:
    static std::shared_ptr<VMMapServices> sharedServices();

    const std::string& apiKey() const { return apiKey_; }
    // Ignores an empty key; stores a different one.
    void setApiKey(const std::string& apiKey);

    // Map data, traffic and model requests are made relative to this; it ends with "/".
    const std::string& internalServerAddress() const { return internalServerAddress_; }
    void setInternalServerAddress(const std::string& address) { internalServerAddress_ = address; }
    const std::string& trafficServerAddress() const { return trafficServerAddress_; }
    void setTrafficServerAddress(const std::string& address) { trafficServerAddress_ = address; }
    const std::string& manifestServerAddress() const { return manifestServerAddress_; }
    void setManifestServerAddress(const std::string& address) { manifestServerAddress_ = address; }
    const std::string& manifestServer() const { return manifestServerAddress_; }

    // Puts the traffic address back to its default, then asks the configuration server for the
    // real-time traffic settings and takes their "url" when it is not empty. The answer arrives
    // on a global queue and is taken on the main queue, where the addresses are written.
    void initTrafficBaseAddress();

    std::string userAgent() const;
    std::string SDKNumberVersion() const;
    std::string SDKVersion() const;

  private:
    VMMapServices();

    std::string apiKey_;
    std::string internalServerAddress_;
    std::string trafficServerAddress_;
    std::string manifestServerAddress_;
};
