// Arbitrary bytes as a tile or picture from a server: either a bitmap within the size limit
// whose every corner can be read, or nothing; never a crash, a leak or gigabytes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "CoreGraphics/CGImage.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = CGImage::createWithData(std::span(data, size));
    if (!image) return 0;
    const int w = image->width(), h = image->height();
    FUZZ_CHECK(w > 0 && h > 0);
    FUZZ_CHECK(std::uint64_t(w) * std::uint64_t(h) <= CGImage::kMaxDecodedPixels);
    FUZZ_CHECK(image->bytes() != nullptr);
    FUZZ_CHECK(image->bytesPerRow() >= w * 4);
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
        FUZZ_CHECK(image->pixelAt(x, y).a >= 0);
    return 0;
}
