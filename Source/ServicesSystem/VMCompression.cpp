#include "VMCompression.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <limits>

namespace {

constexpr int kZlibWindowBits = 15;
constexpr int kGZipWindowBits = 15 + 16;
constexpr int kAutoDetectWindowBits = 15 + 32;
constexpr std::size_t kDeflateStep = 16384;

using Bytes = std::vector<std::uint8_t>;

// Owns one zlib stream in either direction over the whole input, and ends it however the
// function leaves. Not ready when zlib refuses it or the input is longer than zlib counts.
class ZStream {
  public:
    enum class Direction { kInflate, kDeflate };

    ZStream(Direction direction, int windowBits, std::span<const std::uint8_t> input)
        : direction_(direction) {
        if (input.size() > UINT_MAX) return;
        stream_.next_in = const_cast<Bytef*>(input.data());
        stream_.avail_in = static_cast<uInt>(input.size());
        const int status = direction == Direction::kInflate
                               ? inflateInit2(&stream_, windowBits)
                               : deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED,
                                              windowBits, 8, Z_DEFAULT_STRATEGY);
        ready_ = status == Z_OK;
    }
    ~ZStream() {
        if (!ready_) return;
        if (direction_ == Direction::kInflate) {
            inflateEnd(&stream_);
        } else {
            deflateEnd(&stream_);
        }
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;

    bool ready() const { return ready_; }
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

  private:
    Direction direction_;
    z_stream stream_{};
    bool ready_ = false;
};

// Empty input comes back empty; anything else is handed to `code` on a ready stream.
template <class Code>
std::optional<Bytes> withStream(std::span<const std::uint8_t> data, ZStream::Direction direction,
                                int windowBits, Code code) {
    if (data.empty()) {
        return Bytes();
    }
    ZStream stream(direction, windowBits, data);
    if (!stream.ready()) {
        return std::nullopt;
    }
    return code(stream);
}

std::optional<Bytes> inflateAll(ZStream& stream, std::size_t inputSize, std::size_t limit) {
    // Room for one byte past the limit tells a stream that passes it from one that ends there.
    const std::size_t room = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;
    const std::size_t halfLength = inputSize / 2;
    Bytes out(std::min(room, inputSize + halfLength));
    for (;;) {
        if (stream->total_out >= out.size()) {
            if (out.size() >= room) {
                return std::nullopt;
            }
            // Grow by at least half the input, and geometrically so that highly compressed
            // input does not cost a quadratic number of copies.
            out.resize(std::min(room, out.size() + std::max(halfLength, out.size() / 2)));
        }
        stream->next_out = out.data() + stream->total_out;
        stream->avail_out =
            static_cast<uInt>(std::min<std::size_t>(out.size() - stream->total_out, UINT_MAX));
        const int status = inflate(stream.get(), Z_SYNC_FLUSH);
        if (status == Z_STREAM_END) {
            if (stream->total_out > limit) {
                return std::nullopt;
            }
            out.resize(stream->total_out);
            return out;
        }
        if (status != Z_OK) {
            return std::nullopt;
        }
    }
}

std::optional<Bytes> deflateAll(ZStream& stream) {
    Bytes out;
    do {
        if (stream->total_out >= out.size()) {
            out.resize(out.size() + kDeflateStep);
        }
        stream->next_out = out.data() + stream->total_out;
        stream->avail_out = static_cast<uInt>(out.size() - stream->total_out);
        const int status = deflate(stream.get(), Z_FINISH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return std::nullopt;
        }
    } while (stream->avail_out == 0);
    out.resize(stream->total_out);
    return out;
}

std::optional<Bytes> inflateWith(std::span<const std::uint8_t> data, int windowBits,
                                 std::size_t limit) {
    return withStream(data, ZStream::Direction::kInflate, windowBits,
                      [&](ZStream& stream) { return inflateAll(stream, data.size(), limit); });
}

std::optional<Bytes> deflateWith(std::span<const std::uint8_t> data, int windowBits) {
    return withStream(data, ZStream::Direction::kDeflate, windowBits, deflateAll);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> vmZlibInflate(std::span<const std::uint8_t> data,
                                                       std::size_t limit) {
    return inflateWith(data, kZlibWindowBits, limit);
}

std::optional<std::vector<std::uint8_t>> vmGZipInflate(std::span<const std::uint8_t> data,
                                                       std::size_t limit) {
    return inflateWith(data, kAutoDetectWindowBits, limit);
}

std::optional<std::vector<std::uint8_t>> vmZlibDeflate(std::span<const std::uint8_t> data) {
    return deflateWith(data, kZlibWindowBits);
}

std::optional<std::vector<std::uint8_t>> vmGZipDeflate(std::span<const std::uint8_t> data) {
    return deflateWith(data, kGZipWindowBits);
}
