// zlib and gzip inflate. No answer is larger than the caller's limit, and whatever is deflated
// inflates back to itself within a limit of exactly its size, and not within one byte less.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "VMCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the limit (up to 1 MiB) and the stream kind, the rest is the stream.
    const std::size_t limit = std::size_t{1} << (data[0] % 21);
    const bool gzip = (data[0] & 0x80) != 0;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    const auto inflated = gzip ? vmGZipInflate(stream, limit) : vmZlibInflate(stream, limit);
    if (inflated) FUZZ_CHECK(inflated->size() <= limit);

    const auto deflated = gzip ? vmGZipDeflate(stream) : vmZlibDeflate(stream);
    FUZZ_CHECK(deflated);
    const auto back =
        gzip ? vmGZipInflate(*deflated, stream.size()) : vmZlibInflate(*deflated, stream.size());
    FUZZ_CHECK(back && std::equal(back->begin(), back->end(), stream.begin(), stream.end()));
    if (!stream.empty()) {
        FUZZ_CHECK(!(gzip ? vmGZipInflate(*deflated, stream.size() - 1)
                          : vmZlibInflate(*deflated, stream.size() - 1)));
    }
    return 0;
}
