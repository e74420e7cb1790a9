// Feeds a map data answer to the streaming parse in fuzzer-chosen chunks: the bodies it hands on
// are exactly the splitter's, in order, whatever the cuts. The first byte seeds the chunk sizes;
// the rest is the answer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "MapDataAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::uint32_t seed = data[0] * 2654435761u + 1;
    const std::vector<uint8_t> answer(data + 1, data + size);
    using Bodies = std::vector<std::vector<uint8_t>>;
    Bodies whole;
    const bool accepted = splitMapDataAnswer(
        answer, [&](MapDataBody body) { whole.emplace_back(body.begin(), body.end()); });
    Bodies streamed;
    MapDataAnswerStream stream(
        [&](MapDataBody body) { streamed.emplace_back(body.begin(), body.end()); });
    for (size_t at = 0; at < answer.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t chunk = std::min<size_t>(answer.size() - at, 1 + (seed >> 16) % 64);
        stream.append(std::span(answer).subspan(at, chunk));
        at += chunk;
    }
    FUZZ_CHECK(streamed == whole);
    FUZZ_CHECK(!accepted || answer.size() < 8 || !stream.refused());
    return 0;
}
