// Lines of every pixel format, encoded within every kind of budget and decoded again: what the
// encoder writes must decode to the line it was given (A of an encoded ARGB line reads 0), and
// it must never write past its budget, and every encoder set must write the same bytes. The
// first byte chooses the format and the budget.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "format/PixelFormats.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const auto formats = kiv::PixelFormats();
    const kiv::PixelFormatInfo &format = formats[data[0] % formats.size()];
    const std::size_t pixelSize = format.pixelSize;
    const std::size_t width = (size - 1) / pixelSize;
    if (width == 0) return 0;
    const std::vector<uint8_t> line(data + 1, data + 1 + width * pixelSize);
    // The budget: the line's own size (as the writer gives, less 8), or none to seven records.
    const std::size_t record = kiv::RecordSizeForPixelSize(pixelSize);
    const std::size_t choice = data[0] / formats.size();
    const std::size_t budget = choice % 4 == 0 ? line.size() : (choice % 8) * record;
    std::vector<uint8_t> encoded(budget + 64, 0xA5);  // a guard after the budget
    const std::size_t n = (kiv::LineEncoders().*(format.encoder))(line.data(), width, encoded.data(), budget);
    if (n > budget) __builtin_trap();
    for (std::size_t i = budget; i < encoded.size(); ++i)
        if (encoded[i] != 0xA5) __builtin_trap();
    // Every encoder set this processor runs writes exactly the same bytes, within the budget.
    for (const kiv::LineEncoderSet *set : kiv::AvailableLineEncoders()) {
        std::vector<uint8_t> other(budget + 64, 0xA5);
        if ((set->*(format.encoder))(line.data(), width, other.data(), budget) != n) __builtin_trap();
        if (std::memcmp(other.data(), encoded.data(), n) != 0) __builtin_trap();
        for (std::size_t i = budget; i < other.size(); ++i)
            if (other[i] != 0xA5) __builtin_trap();
    }
    if (n == 0) return 0;  // did not fit: the line would be stored raw
    std::vector<uint8_t> decoded(line.size());
    if (format.decode(encoded.data(), decoded.data(), n, width) != 0) __builtin_trap();
    std::vector<uint8_t> expected = line;
    if (format.code == 32)
        for (std::size_t i = 0; i < expected.size(); i += 4) expected[i] = 0;
    if (decoded != expected) __builtin_trap();
    return 0;
}
