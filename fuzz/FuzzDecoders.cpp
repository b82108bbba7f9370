// Encoded lines from untrusted job files: every decoder, into a buffer of exactly the pixel
// count it is told (the first two bytes choose the decoder and the count).
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include <kiv/VAD3Codecs.h>

namespace {
// Each decoder with the bytes it writes per pixel.
const struct {
    int (*decode)(const void *, void *, size_t, size_t);
    std::size_t outputPixelSize;
} kDecoders[] = {{Decompress8, 1}, {Decompress8ToRGB, 4}, {Decompress32, 4}, {Decompress64, 8}, {Decompress96, 12}};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const auto &decoder = kDecoders[data[0] % std::size(kDecoders)];
    const std::size_t pixels = data[1];
    std::vector<uint8_t> out(pixels * decoder.outputPixelSize);
    decoder.decode(data + 2, out.data(), size - 2, pixels);
    return 0;
}
