#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Foundation/NSHTTPHeaderFields.h"
#include "Foundation/NSOperationQueue.h"
#include "Foundation/NSURL.h"
#include "VMDownloaderOperation.h"

// Queues file downloads, one at a time unless told otherwise. Every request gets a copy of the
// header table as it is when the download is queued.
class VMDownloader : public NSObject {
  public:
    static constexpr NSTimeInterval kTimeoutInterval = 15.0;

    static std::shared_ptr<VMDownloader> sharedDownloader();
    static std::shared_ptr<VMDownloader> create();

    // An empty field is ignored; no value removes the field.
    void setValue(std::optional<std::string> value, const std::string& field);
    std::optional<std::string> valueForHTTPHeaderField(const std::string& field) const;

    void setMaxConcurrentDownloads(int count);
    int maxConcurrentDownloads() const;
    // How long a download may go without receiving a byte; for downloads queued later.
    void setTimeoutInterval(NSTimeInterval seconds);
    NSTimeInterval timeoutInterval() const;

    // Null without a URL. fileSize, when known (not 0), is what the file holds once whole: the
    // download stops there (see VMDownloaderOperation).
    std::shared_ptr<VMDownloaderOperation> downloadWithURL(
        const std::shared_ptr<NSURL>& url, const std::string& downloadToFile,
        bool shouldContinueWhenAppEntersBackground, VMDownloaderOperation::ProgressBlock progress,
        VMDownloaderOperation::CompletedBlock completed,
        VMDownloaderOperation::CancelledBlock cancelled, std::uint64_t fileSize = 0);

  private:
    VMDownloader();

    std::shared_ptr<NSOperationQueue> downloadQueue_;
    mutable std::mutex mutex_;  // guards the two below
    NSHTTPHeaderFields HTTPHeaders_;
    NSTimeInterval timeoutInterval_ = kTimeoutInterval;
};
