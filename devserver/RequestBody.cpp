#include "RequestBody.h"

#include <httplib.h>

#include <charconv>
#include <cstdint>

#include "ApiRouter.h"

namespace devserver {

namespace {

constexpr const char* kJsonType = "application/json; charset=utf-8";

std::string tipForStatus(int status) {
    switch (status) {
        case 404:
            return "接口不存在";
        case 405:
            return "请求方法不支持";
        case 413:
            return "请求内容过大";
        case 415:
            return "请求内容类型不支持";
        case 500:
            return "服务器内部错误";
        case 501:
            return "请求传输编码不支持";
        default:
            return "请求无效";
    }
}

}  // namespace

int readBody(const httplib::Request& request, const httplib::ContentReader& reader,
             std::string& body, size_t limit) {
    if (request.is_multipart_form_data()) return 415;
    if (request.has_header("Content-Length")) {
        const std::string value = request.get_header_value("Content-Length");
        uint64_t length = 0;
        const auto parsed = std::from_chars(value.data(), value.data() + value.size(), length);
        if (parsed.ec != std::errc() || length > limit) return 413;
        if (length == 0) return 200;
    } else if (!request.has_header("Transfer-Encoding")) {
        return 200;
    }
    // The reader hands over decoded parts; refusing one stops the decoding there.
    bool tooLarge = false;
    const bool whole = reader([&](const char* data, size_t size) {
        if (size > limit - body.size()) {
            tooLarge = true;
            return false;
        }
        body.append(data, size);
        return true;
    });
    if (tooLarge) return 413;
    return whole ? 200 : 400;
}

void reply(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         kJsonType);
}

void refuseWith(httplib::Response& response, int status) {
    reply(response, status, actionReply(false, tipForStatus(status)));
}

}  // namespace devserver
