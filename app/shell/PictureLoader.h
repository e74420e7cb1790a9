#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSURLConnection.h"
#include "UIKit/UIImage.h"

// Loads one picture from the servers on the main run loop and hands it over once, only when it
// came whole and decodes. Dropping the loader cancels the load.
class PictureLoader : public NSURLConnectionDelegate,
                      public std::enable_shared_from_this<PictureLoader> {
  public:
    // A picture larger than this is no engineer's photo: the load is given up.
    static constexpr std::size_t kMaxBytes = 2 * 1024 * 1024;
    using Completion = std::function<void(const std::shared_ptr<UIImage>& image)>;

    // Null for a URL that cannot be loaded.
    static std::shared_ptr<PictureLoader> load(const std::string& url, Completion completion);
    ~PictureLoader() override;

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;

  private:
    explicit PictureLoader(Completion completion) : completion_(std::move(completion)) {}
    void giveUp();

    Completion completion_;
    std::shared_ptr<NSURLConnection> connection_;
    NSData data_;
    bool failed_ = false;
};
