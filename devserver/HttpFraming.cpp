// Where a request ends: its head, and its body by its length or its chunks.

#include <sys/socket.h>

#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "HttpConnection.h"

namespace devserver {

namespace {

// The library's limit for one line of the head.
constexpr size_t kMaxHeadLine = 8192;
// A body gathered without a limit of its own, when the server sets none.
constexpr size_t kDefaultBodyBytes = 64 * 1024;
// Room for the size lines of a chunked body the loop gathers: twice its data and a little more
// takes chunks of a few bytes each.
constexpr size_t kChunkFramingAllowance = 4096;
// A chunk's size line (its extensions included) or a trailer line, as common servers bound them.
constexpr size_t kMaxChunkLine = 1024;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A number of decimal digits alone: no sign, no spaces.
std::optional<size_t> plainDecimal(std::string_view text) {
    size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() < '0' || text.front() > '9' || error != std::errc() ||
        end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The header fields of a head that ends with its blank line, after the request line.
template <typename Field>
void forEachField(std::string_view head, Field field) {
    size_t at = head.find('\n');
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const size_t end = head.find('\n', at + 1);
        std::string_view line = head.substr(at + 1, end - at - 1);
        at = end;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        field(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
}

// Anything but one plain length or one "chunked" is left to the handlers, which refuse it
// before reading a body.
HeadFraming framingOf(std::string_view head) {
    size_t lengths = 0;
    size_t codings = 0;
    std::string_view length;
    std::string_view coding;
    HeadFraming framing;
    forEachField(head, [&](std::string_view name, std::string_view value) {
        if (sameIgnoringCase(name, "Content-Length")) {
            ++lengths;
            length = value;
        } else if (sameIgnoringCase(name, "Transfer-Encoding")) {
            ++codings;
            coding = value;
        } else if (sameIgnoringCase(name, "Expect")) {
            framing.expectsContinue = sameIgnoringCase(value, "100-continue");
        }
    });
    if (lengths == 0 && codings == 0) return framing;
    framing.kind = HeadFraming::Other;
    if (lengths == 1 && codings == 0) {
        if (const auto parsed = plainDecimal(length)) {
            framing.kind = *parsed == 0 ? HeadFraming::NoBody : HeadFraming::Length;
            framing.length = *parsed;
        }
    } else if (codings == 1 && lengths == 0 && sameIgnoringCase(coding, "chunked")) {
        framing.kind = HeadFraming::Chunked;
    }
    return framing;
}

// The most body the server's routes take for the request of this head.
size_t bodyBytesFor(std::string_view head, const HttpLimits& limits, bool chunked) {
    if (!limits.bodyBytes) return kDefaultBodyBytes;
    const std::string_view line = head.substr(0, head.find_first_of("\r\n"));
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    std::string_view target = line.substr(space + 1);
    target = target.substr(0, target.find(' '));
    const std::string path =
        httplib::detail::decode_url(std::string(target.substr(0, target.find('?'))), false);
    return limits.bodyBytes(line.substr(0, space), path, chunked);
}

}  // namespace

size_t readableRanges(std::string& bytes, size_t headEnd) {
    size_t at = bytes.find('\n');
    while (at != std::string::npos && at + 1 < headEnd) {
        const size_t start = at + 1;
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos || end >= headEnd) break;
        std::string_view line = std::string_view(bytes).substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !sameIgnoringCase(line.substr(0, colon), "Range")) {
            at = end;
            continue;
        }
        const auto readable = rangeForLibrary(trimmed(line.substr(colon + 1)));
        const std::string field = readable ? "Range: " + *readable + "\r\n" : "";
        bytes.replace(start, end + 1 - start, field);
        headEnd = headEnd - (end + 1 - start) + field.size();
        // The newline that ends the field, or the one before it when it is gone.
        at = start + field.size() - 1;
    }
    return headEnd;
}

ChunkScanner::Result ChunkScanner::scan(std::string_view body) {
    while (at_ < body.size()) {
        if (state_ == Data) {
            const size_t taken = std::min(left_, body.size() - at_);
            at_ += taken;
            left_ -= taken;
            data_ += taken;
            if (left_ == 0) state_ = DataEnd;
            continue;
        }
        // A line is searched once, from where the last scan stopped, and no further than its
        // bound: one that never ends costs no more than that.
        const size_t end = body.find('\n', std::max(at_, searched_));
        if (end == std::string_view::npos) {
            searched_ = body.size();
            return body.size() - at_ > kMaxChunkLine ? Malformed : More;
        }
        if (end - at_ > kMaxChunkLine) return Malformed;
        std::string_view line = body.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at_ = end + 1;
        switch (state_) {
            case Size: {
                line = trimmed(line.substr(0, line.find(';')));
                size_t size = 0;
                const auto [stop, error] =
                    std::from_chars(line.data(), line.data() + line.size(), size, 16);
                if (line.empty() || error != std::errc() || stop != line.data() + line.size())
                    return Malformed;
                left_ = size;
                state_ = size == 0 ? Trailers : Data;
                break;
            }
            case DataEnd:
                state_ = Size;
                break;
            case Trailers:
                if (line.empty()) return Done;
                break;
            case Data:
                break;
        }
    }
    return More;
}

std::optional<httplib::Request> parsedHead(std::string_view head) {
    const size_t lineEnd = head.find('\n');
    std::string_view line = head.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t firstSpace = line.find(' ');
    const size_t secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos)
        return std::nullopt;
    httplib::Request request;
    request.method = std::string(line.substr(0, firstSpace));
    request.target = std::string(line.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    const size_t question = request.target.find('?');
    request.path = httplib::detail::decode_url(request.target.substr(0, question), false);
    if (question != std::string::npos)
        httplib::detail::parse_query_text(request.target.substr(question + 1), request.params);
    forEachField(head, [&](std::string_view name, std::string_view value) {
        request.headers.emplace(std::string(name), std::string(value));
    });
    return request;
}

Gathered judgeGathered(HttpServer::Connection& connection, const HttpLimits& limits) {
    using Connection = HttpServer::Connection;
    if (connection.state == Connection::Head) {
        const std::string_view bytes = connection.bytes;
        // Only from where the last search stopped: a head trickled in byte by byte must not
        // cost a search of all of it for each byte.
        const size_t end = bytes.find("\r\n\r\n", connection.searchedTo);
        if (end == std::string_view::npos) {
            connection.searchedTo = bytes.size() < 3 ? 0 : bytes.size() - 3;
            // A line longer than the library takes, or a head at its bound: the library refuses
            // it from what is here.
            const size_t lineStart = bytes.rfind('\n');
            const size_t line =
                lineStart == std::string_view::npos ? bytes.size() : bytes.size() - lineStart - 1;
            return line > kMaxHeadLine || bytes.size() >= connection.bound ? Gathered::Whole
                                                                           : Gathered::Wait;
        }
        connection.headEnd = end + 4;
        connection.framing = framingOf(bytes.substr(0, connection.headEnd));
        connection.bodyBytes = bodyBytesFor(bytes.substr(0, connection.headEnd), limits,
                                            connection.framing.kind == HeadFraming::Chunked);
        connection.state = Connection::Body;
        const auto& framing = connection.framing;
        // A body the route does not take, or declared larger than it takes, is not gathered:
        // its handler refuses it from the head alone.
        if (framing.kind == HeadFraming::NoBody || framing.kind == HeadFraming::Other ||
            connection.bodyBytes == 0 ||
            (framing.kind == HeadFraming::Length && framing.length > connection.bodyBytes))
            return Gathered::Whole;
        connection.bound =
            connection.headEnd + (framing.kind == HeadFraming::Length
                                      ? framing.length
                                      : 2 * connection.bodyBytes + kChunkFramingAllowance);
        if (framing.expectsContinue && bytes.size() == connection.headEnd) {
            constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            if (::send(connection.fd, kContinue.data(), kContinue.size(),
                       MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                // A client that cannot take these few bytes is gone or sends without them.
            }
        }
    }
    const std::string_view body = std::string_view(connection.bytes).substr(connection.headEnd);
    if (connection.framing.kind == HeadFraming::Length)
        return body.size() >= connection.framing.length ? Gathered::Whole : Gathered::Wait;
    switch (connection.chunks.scan(body)) {
        case ChunkScanner::Done:
        case ChunkScanner::Malformed:
            return Gathered::Whole;
        case ChunkScanner::More:
            // A body past its limit, or in chunks too small to carry it within the bound, is
            // refused from what arrived.
            return connection.chunks.data() > connection.bodyBytes ||
                           connection.bytes.size() >= connection.bound
                       ? Gathered::Whole
                       : Gathered::Wait;
    }
    return Gathered::Wait;
}

}  // namespace devserver
