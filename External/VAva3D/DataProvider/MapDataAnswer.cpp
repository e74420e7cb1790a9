#include "MapDataAnswer.h"

#include "Foundation/NSStringEncoding.h"

namespace {

std::int32_t readInt32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | p[i];
    return static_cast<std::int32_t>(v);
}

enum class Step { Record, Wait, End };

// Looks at the record at the front of bytes. On Record, length is the whole record's size.
Step nextRecord(std::span<const std::uint8_t> bytes, std::size_t& length) {
    if (bytes.size() < kMapDataRecordHeaderSize) return Step::Wait;
    const std::int64_t bodyLength = readInt32(bytes.data());
    if (bodyLength < 0) return Step::End;
    length = kMapDataRecordHeaderSize + static_cast<std::size_t>(bodyLength);
    return length <= bytes.size() ? Step::Record : Step::Wait;
}

void handOn(MapDataBody body, const MapDataBodySink& sink) {
    if (mapDataBodyName(body)) sink(body);
}

}  // namespace

std::optional<std::string_view> mapDataBodyName(MapDataBody body) {
    if (body.size() < 5) return std::nullopt;
    const std::size_t n = body[4];
    if (n == 0 || 5 + n > body.size()) return std::nullopt;
    const std::string_view name(reinterpret_cast<const char*>(body.data()) + 5, n);
    if (!NSStringIsValidUTF8(name)) return std::nullopt;
    return name;
}

bool splitMapDataAnswer(std::span<const std::uint8_t> answer, const MapDataBodySink& sink) {
    if (answer.size() < kMapDataAnswerHeaderSize || readInt32(answer.data()) != 0) return false;
    std::span<const std::uint8_t> rest = answer.subspan(kMapDataAnswerHeaderSize);
    std::size_t length = 0;
    while (nextRecord(rest, length) == Step::Record) {
        handOn(rest.subspan(kMapDataRecordHeaderSize, length - kMapDataRecordHeaderSize), sink);
        rest = rest.subspan(length);
    }
    return true;
}

bool MapDataAnswerStream::append(std::span<const std::uint8_t> bytes) {
    if (refused_ || ended_) return false;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    if (!statusKnown_) {
        if (pending_.size() < kMapDataAnswerHeaderSize) return true;
        statusKnown_ = true;
        if (readInt32(pending_.data()) != 0) {
            refused_ = true;
            pending_.clear();
            return false;
        }
        consumed_ = kMapDataAnswerHeaderSize;
    }
    std::size_t length = 0;
    for (;;) {
        const auto rest = std::span<const std::uint8_t>(pending_).subspan(consumed_);
        const Step step = nextRecord(rest, length);
        if (step == Step::Wait) break;
        if (step == Step::End) {
            ended_ = true;
            pending_.clear();
            return false;
        }
        handOn(rest.subspan(kMapDataRecordHeaderSize, length - kMapDataRecordHeaderSize), sink_);
        consumed_ += length;
    }
    // Drop what has been handed on once it is the larger part, so the buffer stays near one record.
    if (consumed_ > pending_.size() / 2) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
    return true;
}
