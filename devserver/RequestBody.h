#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace httplib {
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace devserver {

// Every request body, whatever its type, framing or coding.
inline constexpr size_t kMaxBodyBytes = 64 * 1024;

// Reads the body (framing already checked) and gives 200, or the status refusing it. A body
// over the limit, counted as the handler gets it (decoded, when it came compressed), is refused
// as soon as that is known, from its declared length or from the part that crosses the limit,
// and no more of it is kept or decoded.
int readBody(const httplib::Request& request, const httplib::ContentReader& reader,
             std::string& body, size_t limit = kMaxBodyBytes);

// The JSON reply with its status; text that is not UTF-8 is replaced rather than thrown on.
void reply(httplib::Response& response, int status, const nlohmann::json& body);
// The envelope {"code":"0","tip":...} of a refusal by status.
void refuseWith(httplib::Response& response, int status);

}  // namespace devserver
