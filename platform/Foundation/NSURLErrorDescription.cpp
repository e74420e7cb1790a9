#include "NSURLErrorDescription.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "NSBundle.h"

namespace {

struct Description {
    long code;
    const char* english;
    const char* simplifiedChinese;
};

constexpr std::array kDescriptions{
    Description{NSURLErrorUnknown, "unknown error", "未知错误"},
    Description{NSURLErrorCancelled, "cancelled", "已取消"},
    Description{NSURLErrorBadURL, "bad URL", "错误的URL"},
    Description{NSURLErrorTimedOut, "The request timed out.", "请求超时。"},
    Description{NSURLErrorUnsupportedURL, "unsupported URL", "不支持的URL"},
    Description{NSURLErrorCannotFindHost,
                "A server with the specified hostname could not be found.",
                "未能找到使用指定主机名的服务器。"},
    Description{NSURLErrorCannotConnectToHost, "Could not connect to the server.",
                "未能连接到服务器。"},
    Description{NSURLErrorNetworkConnectionLost, "The network connection was lost.",
                "网络连接已中断。"},
    Description{NSURLErrorHTTPTooManyRedirects, "too many HTTP redirects", "HTTP重定向过多"},
    Description{NSURLErrorNotConnectedToInternet, "The Internet connection appears to be offline.",
                "似乎已断开与互联网的连接。"},
    Description{NSURLErrorBadServerResponse, "bad server response", "错误的服务器响应"},
    Description{NSURLErrorCannotDecodeContentData, "cannot decode content data",
                "无法解码内容数据"},
    Description{NSURLErrorDataLengthExceedsMaximum, "resource exceeds maximum size",
                "资源超过了最大大小"},
};

// "zh-Hans", "zh_CN", "zh-Hans-CN", "zh" and the like; not the Traditional regions.
bool isSimplifiedChinese(std::string_view region) {
    if (region != "zh" && !region.starts_with("zh-") && !region.starts_with("zh_")) return false;
    const std::string_view rest = region.substr(std::min<size_t>(region.size(), 3));
    for (const std::string_view traditional : {"Hant", "TW", "HK", "MO"}) {
        if (rest.starts_with(traditional)) return false;
    }
    return true;
}

bool mainBundleSpeaksSimplifiedChinese() {
    const auto region =
        NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleDevelopmentRegion");
    return region.is_string() && isSimplifiedChinese(region.get<std::string>());
}

}  // namespace

std::string NSURLErrorDescription(long code) {
    const auto* found = std::find_if(kDescriptions.begin(), kDescriptions.end(),
                                     [code](const Description& d) { return d.code == code; });
    const Description& d = found != kDescriptions.end() ? *found : kDescriptions.front();
    return mainBundleSpeaksSimplifiedChinese() ? d.simplifiedChinese : d.english;
}

NSError NSURLErrorWithCode(long code, const std::string& failingURL, const std::string& detail) {
    auto error = NSError::make(NSURLErrorDomain, code, NSURLErrorDescription(code));
    if (!failingURL.empty()) error.userInfo["NSErrorFailingURLStringKey"] = failingURL;
    if (!detail.empty()) error.userInfo["NSDebugDescription"] = detail;
    return error;
}
