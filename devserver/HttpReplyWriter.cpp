// The reply writer: a worker leaves its reply with the connection, and what the socket does not
// take at once the event loop sends as the client takes it.

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "HttpConnection.h"

namespace devserver {

namespace {

// After a reply, what the client still sends is read and dropped for this long.
constexpr auto kLinger = std::chrono::seconds(1);

// A body without a length, framed in chunks as it goes.
class ChunkedBody final : public ReplyBody {
  public:
    explicit ChunkedBody(std::unique_ptr<ReplyBody> data) : data_(std::move(data)) {}

    Piece next(Clock::time_point now) override {
        switch (step_) {
            case Step::Data:
                step_ = Step::DataEnd;
                return bytes(dataPiece_);
            case Step::DataEnd:
                step_ = Step::SizeLine;
                return bytes("\r\n");
            case Step::Ended:
                return {};
            case Step::SizeLine:
                break;
        }
        const Piece piece = data_->next(now);
        if (piece.kind == Piece::End) {
            step_ = Step::Ended;
            return bytes("0\r\n\r\n");
        }
        if (piece.kind != Piece::Bytes) return piece;
        char line[32];
        const int length = std::snprintf(line, sizeof line, "%zx\r\n", piece.bytes.size());
        sizeLine_.assign(line, static_cast<size_t>(length));
        dataPiece_ = piece.bytes;
        step_ = Step::Data;
        return bytes(sizeLine_);
    }

  private:
    enum class Step { SizeLine, Data, DataEnd, Ended };

    static Piece bytes(std::string_view text) { return {Piece::Bytes, text, {}}; }

    std::unique_ptr<ReplyBody> data_;
    Step step_ = Step::SizeLine;
    std::string sizeLine_;
    std::string_view dataPiece_;
};

// Sends the head and the response's body, in one call where the socket takes both.
ssize_t sendWhole(int fd, const PendingReply& reply) {
    iovec parts[2];
    size_t count = 0;
    const auto add = [&](const std::string& text, size_t from) {
        if (from < text.size())
            parts[count++] = {const_cast<char*>(text.data()) + from, text.size() - from};
    };
    add(reply.written, reply.sent);
    add(reply.body, reply.sent - std::min(reply.sent, reply.written.size()));
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = count;
    return ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// What the kernel holds of what was sent on the socket that the client has not taken: unsent, or
// sent and not acknowledged.
size_t unacknowledged(int fd) {
    int bytes = 0;
    return ::ioctl(fd, SIOCOUTQ, &bytes) == 0 ? static_cast<size_t>(std::max(bytes, 0)) : 0;
}

}  // namespace

HttpServer::Connection*& servedConnection() {
    thread_local HttpServer::Connection* served = nullptr;
    return served;
}

void HttpServer::sendBody(httplib::Response& response, const std::string& contentType,
                          std::optional<size_t> length, std::unique_ptr<ReplyBody> body) {
    Connection* connection = servedConnection();
    if (connection == nullptr)
        throw std::logic_error("a reply body is sent only for a request a worker processes");
    response.set_header("Content-Type", contentType);
    if (length) {
        response.set_header("Content-Length", std::to_string(*length));
    } else {
        response.set_header("Transfer-Encoding", "chunked");
        body = std::make_unique<ChunkedBody>(std::move(body));
    }
    connection->reply.rest = std::move(body);
}

void takeReplyBody(const httplib::Request& request, httplib::Response& response) {
    HttpServer::Connection* connection = servedConnection();
    if (connection == nullptr) return;
    // The library writes the head next, and then only a body it still holds: none for HEAD.
    if (request.method == "HEAD") {
        connection->reply.rest.reset();
        return;
    }
    if (response.body.empty()) {
        // The library gives a reply without a body of its own a length of 0.
        if (connection->reply.rest && response.has_header("Transfer-Encoding"))
            response.headers.erase("Content-Length");
        return;
    }
    // An error answered after a handler sent its body in pieces replaces that body.
    connection->reply.rest.reset();
    connection->reply.body = std::move(response.body);
    response.body.clear();
}

Pumped pumpReply(HttpServer::Connection& connection, bool stopping) {
    PendingReply& reply = connection.reply;
    const auto now = HttpServer::Clock::now();
    // The client has this long from when the reply begins, resumes, or last went on.
    if (!reply.blocked) reply.stalledAfter = now + connection.replyStallTimeout;
    reply.blocked = false;
    for (;;) {
        const bool whole = reply.sent >= reply.written.size() + reply.body.size();
        if (whole && reply.piece.empty()) {
            if (!reply.rest || stopping) {
                reply.rest.reset();
                return Pumped::Done;
            }
            const ReplyBody::Piece next = reply.rest->next(now);
            switch (next.kind) {
                case ReplyBody::Piece::Bytes:
                    reply.piece = next.bytes;
                    reply.waitUntil.reset();
                    continue;
                case ReplyBody::Piece::Wait:
                    reply.waitUntil = next.until;
                    return Pumped::Waiting;
                case ReplyBody::Piece::End:
                case ReplyBody::Piece::Cut:
                    reply.rest.reset();
                    return Pumped::Done;
            }
        }
        const ssize_t sent = whole ? ::send(connection.fd, reply.piece.data(), reply.piece.size(),
                                            MSG_NOSIGNAL | MSG_DONTWAIT)
                                   : sendWhole(connection.fd, reply);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno == EAGAIN) {
            reply.blocked = true;
            reply.queued = unacknowledged(connection.fd);
            return Pumped::Blocked;
        }
        if (sent < 0) return Pumped::Failed;
        if (whole)
            reply.piece.remove_prefix(static_cast<size_t>(sent));
        else
            reply.sent += static_cast<size_t>(sent);
        reply.stalledAfter = now + connection.replyStallTimeout;
    }
}

bool replyTaken(HttpServer::Connection& connection) {
    PendingReply& reply = connection.reply;
    if (!reply.blocked) return false;
    const size_t queued = unacknowledged(connection.fd);
    if (queued >= reply.queued) return false;
    reply.queued = queued;
    reply.stalledAfter = HttpServer::Clock::now() + connection.replyStallTimeout;
    return true;
}

void lingerAfterReply(HttpServer::Connection& connection) {
    ::shutdown(connection.fd, SHUT_WR);
    connection.state = HttpServer::Connection::Lingering;
    connection.reply = PendingReply();
    // A client that shut its sending side sends nothing more to wait for.
    connection.lingerUntil =
        HttpServer::Clock::now() + (connection.inputShut ? HttpServer::Clock::duration() : kLinger);
}

}  // namespace devserver
