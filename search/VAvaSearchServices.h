#pragma once

#include <memory>
#include <string>

#include "Foundation/NSObject.h"

// The search client's process-wide settings: the key every request carries and the address of
// the search server.
class VAvaSearchServices : public NSObject {
  public:
    static std::shared_ptr<VAvaSearchServices> sharedServices();

    const std::string& apiKey() const { return apiKey_; }
    void setApiKey(std::string key) { apiKey_ = std::move(key); }
    // The server's base address ("http://h:p/"); requests go to paths below it.
    const std::string& searchServer() const { return server_; }
    void setSearchServer(std::string base) { server_ = std::move(base); }

  private:
    VAvaSearchServices() = default;
    std::string apiKey_;
    std::string server_;
};
