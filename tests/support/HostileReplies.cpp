#include "HostileReplies.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace testsupport {

namespace {

constexpr std::size_t kPiece = 64 * 1024;

// Feeds `data` to the stream, appending what comes out.
void deflateInto(z_stream& z, std::string_view data, int flush, std::string& out) {
    char buffer[kPiece];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        deflate(&z, flush);
        out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
}

}  // namespace

std::string gzipBomb(std::size_t size, char filler, std::string_view tail) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    const std::string piece(1 << 20, filler);
    std::string out;
    for (std::size_t left = size; left > 0;) {
        const std::size_t n = std::min(left, piece.size());
        deflateInto(z, std::string_view(piece).substr(0, n), Z_NO_FLUSH, out);
        left -= n;
    }
    deflateInto(z, tail, Z_FINISH, out);
    deflateEnd(&z);
    return out;
}

EndlessReply::EndlessReply(std::size_t cap, char filler, std::string tail, std::string head)
    : cap_(cap), filler_(filler), tail_(std::move(tail)), head_(std::move(head)) {}

void EndlessReply::answer(httplib::Response& response, const std::string& contentType) const {
    response.set_chunked_content_provider(
        contentType, [state = state_, cap = cap_, piece = std::string(kPiece, filler_),
                      tail = tail_, head = head_,
                      given = std::size_t{0}](std::size_t offset, httplib::DataSink& sink) mutable {
            if (offset == 0 && !head.empty()) return sink.write(head.data(), head.size());
            if (given >= cap) {
                if (!tail.empty() && !sink.write(tail.data(), tail.size())) return false;
                sink.done();
                return true;
            }
            const std::size_t n = std::min(piece.size(), cap - given);
            if (!sink.write(piece.data(), n)) return false;
            given += n;
            state->sent += n;
            for (std::size_t most = state->most; most < given;)
                if (state->most.compare_exchange_weak(most, given)) break;
            return true;
        });
}

struct DripReply::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopped = false;
    std::size_t started = 0;
};

DripReply::DripReply(char filler, double interval, std::size_t length)
    : state_(std::make_shared<State>()), filler_(filler), interval_(interval), length_(length) {}

DripReply::~DripReply() { stop(); }

void DripReply::stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopped = true;
    }
    state_->changed.notify_all();
}

std::size_t DripReply::started() const {
    std::lock_guard lock(state_->mutex);
    return state_->started;
}

void DripReply::answer(httplib::Response& response) const {
    {
        std::lock_guard lock(state_->mutex);
        ++state_->started;
    }
    const auto pause = std::chrono::duration<double>(interval_);
    // A type the server never compresses: compressed, the bytes would wait in the compressor
    // instead of trickling.
    response.set_chunked_content_provider(
        "application/octet-stream", [state = state_, filler = filler_, pause, length = length_](
                                        std::size_t offset, httplib::DataSink& sink) {
            if (offset >= length) {
                sink.done();
                return true;
            }
            // The first byte goes at once, with the head; each later one waits its turn.
            if (offset > 0) {
                std::unique_lock lock(state->mutex);
                state->changed.wait_for(lock, pause, [&] { return state->stopped; });
            }
            bool stopped = false;
            {
                std::lock_guard lock(state->mutex);
                stopped = state->stopped;
            }
            if (stopped) {
                sink.done();
                return true;
            }
            return sink.write(&filler, 1);
        });
}

HostileServer::HostileServer(char filler, std::string tail, const std::string& contentType,
                             std::size_t cap)
    : endless_(cap, filler, tail), bomb_(gzipBomb(cap, filler, tail)) {
    const auto endless = [this, contentType](const httplib::Request&, httplib::Response& res) {
        endless_.answer(res, contentType);
    };
    const auto bomb = [this, contentType](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(bomb_, contentType);
    };
    http_.server().Get("/endless.*", endless).Post("/endless.*", endless);
    http_.server().Get("/bomb.*", bomb).Post("/bomb.*", bomb);
    const auto drip = [this](const httplib::Request&, httplib::Response& res) {
        drip_.answer(res);
    };
    http_.server().Get("/drip.*", drip).Post("/drip.*", drip);
}

std::string HostileServer::endlessURL(std::string_view rest) const {
    return http_.url("/endless" + std::string(rest));
}

std::string HostileServer::dripURL(std::string_view rest) const {
    return http_.url("/drip" + std::string(rest));
}

std::string HostileServer::bombURL(std::string_view rest) const {
    return http_.url("/bomb" + std::string(rest));
}

}  // namespace testsupport
