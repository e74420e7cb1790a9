#include "shell/DataRequestManager.h"

#include "Foundation/JSONValue.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLErrorDescription.h"
#include "Foundation/NSURLRequest.h"
#include "shell/FactoryClass.h"
#include "shell/ShowAlertView.h"
#include "shell/UIViewController+CustomVC.h"

namespace {

void toast(const std::string& message, const std::weak_ptr<UIViewController>& owner) {
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), message, 1,
                                                owner.lock())
        ->addAlertView();
}

}  // namespace

std::string formValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '%' || c == '&' || c == '=' || c == '+') {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

std::string replyText(const nlohmann::json& reply, const std::string& key) {
    if (!reply.is_object()) return {};
    const auto found = reply.find(key);
    return found == reply.end() || found->is_null() ? std::string() : describe(*found);
}

// One request on its way: collects the answer and hands it to the manager.
class DataRequestManager::Request : public NSObject, public NSURLConnectionDelegate {
  public:
    Request(std::string key, std::weak_ptr<UIViewController> screen, Block block)
        : key(std::move(key)), screen(std::move(screen)), block(std::move(block)) {}

    void connectionDidReceiveResponse(NSURLConnection&,
                                      const std::shared_ptr<NSHTTPURLResponse>& r) override {
        status = r ? r->statusCode() : 0;
    }
    void connectionDidReceiveData(NSURLConnection&, std::span<const std::uint8_t> data) override {
        body.append(data.begin(), data.end());
    }
    void connectionDidFinishLoading(NSURLConnection&) override {
        DataRequestManager::shareManger()->finish(sharedSelf<Request>(), status, body);
    }
    void connectionDidFailWithError(NSURLConnection&, const NSError& error) override {
        DataRequestManager::shareManger()->fail(sharedSelf<Request>(), error);
    }

    const std::string key;
    const std::weak_ptr<UIViewController> screen;
    const Block block;
    long status = 0;
    std::string body;
};

std::shared_ptr<DataRequestManager> DataRequestManager::shareManger() {
    static const std::shared_ptr<DataRequestManager> manager(new DataRequestManager());
    return manager;
}

void DataRequestManager::requestWithURLString(const std::string& url,
                                              const std::string& currentText,
                                              std::weak_ptr<UIViewController> cls) {
    requestWithURLString(url, currentText, std::move(cls), nullptr);
}

void DataRequestManager::requestWithURLString(const std::string& url,
                                              const std::string& currentText,
                                              std::weak_ptr<UIViewController> cls, Block block) {
    if (isInFlight(currentText)) return;
    auto request = std::make_shared<Request>(currentText, std::move(cls), std::move(block));
    auto address = NSURL::URLWithString(url);
    if (!address) {
        toast(NSURLErrorWithCode(NSURLErrorBadURL, url).localizedDescription, request->screen);
        return;
    }
    auto post = requestForURL(std::move(address), currentText);
    if (!FactoryClass::isLoadingShown()) FactoryClass::showloadingView();
    inFlight_[currentText] = request;
    // A started connection keeps itself alive until it ends.
    NSURLConnection::create(post, request, true, loader_);
}

std::shared_ptr<NSMutableURLRequest> DataRequestManager::requestForURL(
    std::shared_ptr<NSURL> url, std::optional<std::string_view> formBody) const {
    auto request = NSMutableURLRequest::requestWithURL(
        std::move(url), NSURLRequestUseProtocolCachePolicy, timeoutInterval_);
    request->setMaximumResponseLength(kMaxReplyLength);
    if (formBody) {
        request->setHTTPMethod("POST");
        request->setHTTPBody(*formBody);
    }
    return request;
}

void DataRequestManager::finish(const std::shared_ptr<Request>& request, long status,
                                const std::string& body) {
    FactoryClass::deleteLoingView();
    if (status != 200) {
        toast(statusText(status), request->screen);
        inFlight_.erase(request->key);
    }
    auto reply = NSJSONSerialization::JSONObjectWithData(body, NSJSONReadingMutableContainers);
    if (!reply || !reply->is_object()) {
        inFlight_.erase(request->key);
        return;
    }
    replies_[request->key] = *reply;
    if (request->block) {
        request->block(*reply, true);
    } else if (auto screen = request->screen.lock()) {
        updateDataWithDictionary(*screen, *reply);
    }
    inFlight_.erase(request->key);
    NSNotificationCenter::defaultCenter()->postNotificationName(request->key);
}

void DataRequestManager::fail(const std::shared_ptr<Request>& request, const NSError& error) {
    FactoryClass::deleteLoingView();
    toast(error.code == NSURLErrorNotConnectedToInternet ? "网络异常" : error.localizedDescription,
          request->screen);
    inFlight_.erase(request->key);
}

nlohmann::json DataRequestManager::replyForKey(const std::string& key) const {
    const auto found = replies_.find(key);
    return found == replies_.end() ? nlohmann::json() : found->second;
}

std::string DataRequestManager::statusText(long statusCode) {
    static const std::map<long, const char*> kTexts = {
        {400, "请求有误"},         {401, "未授权"},           {403, "禁止访问"},
        {404, "请求的地址不存在"}, {405, "请求方法不被允许"}, {408, "请求超时"},
        {413, "请求内容过大"},     {500, "服务器内部错误"},   {502, "网关错误"},
        {503, "服务暂时不可用"},   {504, "网关超时"},
    };
    const auto found = kTexts.find(statusCode);
    const std::string text = found == kTexts.end() ? "服务器错误" : found->second;
    return text + " (" + std::to_string(statusCode) + ")";
}
