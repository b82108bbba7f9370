// Encoded lines from untrusted job files: every decoder, into a buffer of exactly the pixel
// count it is told (the first two bytes choose the decoder and the count).
#include <cstddef>
#include <cstdint>
#include <vector>

#include <kiv/VAD3Codecs.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const std::size_t pixels = data[1];
    const uint8_t *in = data + 2;
    const std::size_t inBytes = size - 2;
    switch (data[0] % 5) {
    case 0: {
        std::vector<uint8_t> out(pixels);
        Decompress8(in, out.data(), inBytes, pixels);
        break;
    }
    case 1: {
        std::vector<uint8_t> out(pixels * 4);
        Decompress8ToRGB(in, out.data(), inBytes, pixels);
        break;
    }
    case 2: {
        std::vector<uint8_t> out(pixels * 4);
        Decompress32(in, out.data(), inBytes, pixels);
        break;
    }
    case 3: {
        std::vector<uint8_t> out(pixels * 8);
        Decompress64(in, out.data(), inBytes, pixels);
        break;
    }
    default: {
        std::vector<uint8_t> out(pixels * 12);
        Decompress96(in, out.data(), inBytes, pixels);
        break;
    }
    }
    return 0;
}
