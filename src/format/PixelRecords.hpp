// How each pixel size is stored in a run record: how a pixel is loaded for comparison, how a
// record is written and read. Records of 4-, 8- and 12-byte pixels are count (16-bit
// big-endian) then the pixel bytes; grey records are value then count. Shared by the scalar
// encoders and the decoders.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kiv::records {

struct Grey {
    static constexpr std::size_t kSize = 1, kRecord = 2, kMaxCount = 255;
    using Value = uint8_t;
    static constexpr uint64_t kWordMask = ~uint64_t{0};
    static uint64_t Splat(Value v) { return v * 0x0101010101010101ull; }
    static Value Load(const uint8_t *p) { return *p; }
    static void Emit(uint8_t *o, std::size_t count, const uint8_t *pixel) {
        o[0] = *pixel;
        o[1] = static_cast<uint8_t>(count);
    }
    static std::size_t Count(const uint8_t *r) { return r[1]; }
    static const uint8_t *Pixel(const uint8_t *r) { return r; }
};

template <std::size_t N>
struct Wide {
    static constexpr std::size_t kSize = N, kRecord = 2 + N, kMaxCount = 65535;
    static void Emit(uint8_t *o, std::size_t count, const uint8_t *pixel) {
        o[0] = static_cast<uint8_t>(count >> 8);
        o[1] = static_cast<uint8_t>(count);
        std::memcpy(o + 2, pixel, N);
    }
    static std::size_t Count(const uint8_t *r) { return (std::size_t{r[0]} << 8) | r[1]; }
    static const uint8_t *Pixel(const uint8_t *r) { return r + 2; }
};

struct Pixel32 : Wide<4> {
    using Value = uint32_t;
    static constexpr uint64_t kWordMask = ~uint64_t{0};
    static uint64_t Splat(Value v) { return (uint64_t{v} << 32) | v; }
    static Value Load(const uint8_t *p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
};

// The first byte (lowest address) is treated as zero: compared and written cleared.
struct PixelRGB32 : Pixel32 {
    // Clears the byte at the lowest address, whichever end of the word that is.
    static constexpr uint32_t kMask = std::endian::native == std::endian::little ? 0xFFFFFF00u : 0x00FFFFFFu;
    static constexpr uint64_t kWordMask = (uint64_t{kMask} << 32) | kMask;
    static Value Load(const uint8_t *p) { return Pixel32::Load(p) & kMask; }
    static void Emit(uint8_t *o, std::size_t count, const uint8_t *pixel) {
        Pixel32::Emit(o, count, pixel);
        o[2] = 0;
    }
};

struct Pixel64 : Wide<8> {
    using Value = uint64_t;
    static Value Load(const uint8_t *p) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
};

struct Pixel96 : Wide<12> {
    struct Value {
        uint32_t head;
        uint64_t tail;
        bool operator==(const Value &) const = default;
    };
    static Value Load(const uint8_t *p) {
        Value v;
        std::memcpy(&v.head, p, 4);
        std::memcpy(&v.tail, p + 4, 8);
        return v;
    }
};

}  // namespace kiv::records
