#include "shell/PictureLoader.h"

#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "shell/DataRequestManager.h"

std::shared_ptr<PictureLoader> PictureLoader::load(const std::string& url, Completion completion) {
    const auto address = NSURL::URLWithString(url);
    if (!address) return nullptr;
    auto request = DataRequestManager::shareManger()->requestForURL(address);
    auto loader = std::shared_ptr<PictureLoader>(new PictureLoader(std::move(completion)));
    loader->connection_ =
        NSURLConnection::create(request, std::weak_ptr<NSURLConnectionDelegate>(loader), true);
    if (!loader->connection_) return nullptr;
    return loader;
}

PictureLoader::~PictureLoader() {
    if (connection_) connection_->cancel();
}

void PictureLoader::giveUp() {
    failed_ = true;
    data_ = {};
    if (connection_) connection_->cancel();
}

void PictureLoader::connectionDidReceiveResponse(
    NSURLConnection&, const std::shared_ptr<NSHTTPURLResponse>& response) {
    if (!response || response->statusCode() != 200) giveUp();
}

void PictureLoader::connectionDidReceiveData(NSURLConnection&, std::span<const std::uint8_t> data) {
    if (failed_) return;
    if (data_.size() + data.size() > kMaxBytes) {
        giveUp();
        return;
    }
    data_.insert(data_.end(), data.begin(), data.end());
}

void PictureLoader::connectionDidFinishLoading(NSURLConnection&) {
    if (failed_ || !completion_) return;
    const auto image = UIImage::imageWithData(data_, 2);
    data_ = {};
    if (!image) return;
    const Completion completion = std::move(completion_);
    completion_ = nullptr;
    completion(image);
}
