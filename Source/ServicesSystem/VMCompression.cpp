#include "VMCompression.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

constexpr int kZlibWindowBits = 15;
constexpr int kGZipWindowBits = 15 + 16;
constexpr int kAutoDetectWindowBits = 15 + 32;
constexpr std::size_t kDeflateStep = 16384;

// Ends the stream however the function leaves.
class InflateStream {
  public:
    explicit InflateStream(z_stream& stream) : stream_(stream) {}
    ~InflateStream() { inflateEnd(&stream_); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

  private:
    z_stream& stream_;
};

class DeflateStream {
  public:
    explicit DeflateStream(z_stream& stream) : stream_(stream) {}
    ~DeflateStream() { deflateEnd(&stream_); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

  private:
    z_stream& stream_;
};

std::optional<std::vector<std::uint8_t>> inflateWith(std::span<const std::uint8_t> data,
                                                     int windowBits) {
    if (data.empty()) {
        return std::vector<std::uint8_t>();
    }
    if (data.size() > UINT_MAX) {
        return std::nullopt;
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    if (inflateInit2(&stream, windowBits) != Z_OK) {
        return std::nullopt;
    }
    InflateStream guard(stream);

    const std::size_t halfLength = data.size() / 2;
    std::vector<std::uint8_t> out(data.size() + halfLength);
    for (;;) {
        if (stream.total_out >= out.size()) {
            // Grow by at least half the input, and geometrically so that highly compressed
            // input does not cost a quadratic number of copies.
            out.resize(out.size() + std::max(halfLength, out.size() / 2));
        }
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out =
            static_cast<uInt>(std::min<std::size_t>(out.size() - stream.total_out, UINT_MAX));
        const int status = inflate(&stream, Z_SYNC_FLUSH);
        if (status == Z_STREAM_END) {
            out.resize(stream.total_out);
            return out;
        }
        if (status != Z_OK) {
            return std::nullopt;
        }
    }
}

std::optional<std::vector<std::uint8_t>> deflateWith(std::span<const std::uint8_t> data,
                                                     int windowBits) {
    if (data.empty()) {
        return std::vector<std::uint8_t>();
    }
    if (data.size() > UINT_MAX) {
        return std::nullopt;
    }
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    DeflateStream guard(stream);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());

    std::vector<std::uint8_t> out;
    do {
        if (stream.total_out >= out.size()) {
            out.resize(out.size() + kDeflateStep);
        }
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        const int status = deflate(&stream, Z_FINISH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return std::nullopt;
        }
    } while (stream.avail_out == 0);
    out.resize(stream.total_out);
    return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> vmZlibInflate(std::span<const std::uint8_t> data) {
    return inflateWith(data, kZlibWindowBits);
}

std::optional<std::vector<std::uint8_t>> vmGZipInflate(std::span<const std::uint8_t> data) {
    return inflateWith(data, kAutoDetectWindowBits);
}

std::optional<std::vector<std::uint8_t>> vmZlibDeflate(std::span<const std::uint8_t> data) {
    return deflateWith(data, kZlibWindowBits);
}

std::optional<std::vector<std::uint8_t>> vmGZipDeflate(std::span<const std::uint8_t> data) {
    return deflateWith(data, kGZipWindowBits);
}
