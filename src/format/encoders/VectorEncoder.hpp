// The line encoders built on vector compares: the scalar encoder's exact output, found with
// one bit per pixel that differs from the pixel before it.
//
// The change bits are counted (popcount) before anything is written, so that a line with more
// runs than the budget has records (noise) costs one fast read of part of the line instead of a
// record per pixel; then they become run ends (eight at a time, or a compress where the set has
// one) and the run ends become records. Whole vectors of a run cost one compare.
//
// Each instruction set's file includes this header and is compiled for that set alone.
// Everything here has internal linkage, so that no copy built for one set is ever linked in
// place of another's; for the same reason nothing from the standard library is instantiated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/Codecs.hpp"

namespace kiv::simd {
namespace {

// Records: grey is value then count (1…255); wider pixels are count (big-endian, 1…65535)
// then the pixel, whose first byte StuffRGB32 writes as 0.
template <std::size_t S, bool kClearFirst>
struct Record {
    static constexpr std::size_t kBytes = S == 1 ? 2 : 2 + S, kMaxCount = S == 1 ? 255 : 65535;
    static void Emit(uint8_t *o, std::size_t count, const uint8_t *pixel) {
        if constexpr (S == 1) {
            o[0] = *pixel;
            o[1] = static_cast<uint8_t>(count);
        } else {
            o[0] = static_cast<uint8_t>(count >> 8);
            o[1] = static_cast<uint8_t>(count);
            __builtin_memcpy(o + 2, pixel, S);
            if constexpr (kClearFirst) o[2] = 0;
        }
    }
};

// Pixels a and b compare equal (the first byte ignored for StuffRGB32).
template <std::size_t S, bool kClearFirst>
bool Same(const uint8_t *a, const uint8_t *b) {
    if constexpr (kClearFirst) return __builtin_memcmp(a + 1, b + 1, S - 1) == 0;
    return __builtin_memcmp(a, b, S) == 0;
}

// Run ends found in change masks, one bit per pixel from `base`, are written to `w` as pixel
// indices; returns the end of what was written. It may write up to 64 indices beyond that end.
// This portable version writes eight at a time so that most masks cost no branch per bit.
inline uint32_t *FlattenBits(uint64_t m, uint32_t base, uint32_t *w) {
    if (m == 0) return w;
    uint32_t *const end = w + __builtin_popcountll(m);
    do {
        for (int k = 0; k < 8; ++k) {
            w[k] = base + static_cast<uint32_t>(__builtin_ctzll(m | uint64_t{1} << 63));  // defined for m == 0
            m &= m - 1;
        }
        w += 8;
    } while (w < end);
    return end;
}

// The blocks of a set whose vectors are of type Vector::Type: 64 bytes (12-byte pixels: three
// vectors, kPixels12 pixels), loaded whole, the first byte of each pixel cleared for
// StuffRGB32. (The vector type travels inside a struct: its attributes would be dropped from a
// template argument.)
template <class Vector, std::size_t kPixels12>
struct BlockShape {
    using V = typename Vector::Type;
    template <std::size_t S>
    static constexpr std::size_t kVectors = S == 12 ? 3 : 64 / sizeof(V);
    template <std::size_t S>
    static constexpr std::size_t kPixels = S == 12 ? kPixels12 : 64 / S;

    template <std::size_t S>
    struct Block {
        V v[kVectors<S>];
    };

    template <std::size_t S, bool kClearFirst>
    static Block<S> Load(const uint8_t *p) {
        Block<S> b;
        for (std::size_t k = 0; k < kVectors<S>; ++k) {
            __builtin_memcpy(&b.v[k], p + sizeof(V) * k, sizeof(V));  // an unaligned vector load
            if constexpr (kClearFirst) b.v[k] &= static_cast<long long>(0xFFFFFF00FFFFFF00);
        }
        return b;
    }
};

// The first pixel at or after `address` that lies on a 64-byte boundary, 0 when none does.
template <std::size_t S>
constexpr std::size_t AlignedFrom(uintptr_t address) {
    const std::size_t gap = (0 - address) & 63;  // bytes to the next boundary
    if constexpr (S == 12) {
        // 12·h ≡ gap (mod 64) needs gap = 4m; then 3·h ≡ m (mod 16), and 11 is 3's inverse.
        return gap % 4 == 0 ? (gap / 4 * 11) % 16 : 0;
    } else {
        return gap % S == 0 ? gap / S : 0;
    }
}

// Isa::Load<S, kClearFirst>(p): the vectors of the block of Isa::kPixels<S> pixels at p (the
// first byte of each pixel cleared for StuffRGB32); Isa::Changes<S>(block, before): bit k set
// when pixel k of the block differs from the pixel before it, the last of `before` for k = 0.
// Isa::Flatten<K>(mask, base, w): as FlattenBits, for masks of K bits.
template <class Isa, std::size_t S, bool kClearFirst>
std::size_t Encode(const void *linePtr, std::size_t width, void *outPtr, std::size_t budget) {
    using R = Record<S, kClearFirst>;
    constexpr std::size_t K = Isa::template kPixels<S>;
    // Lines are taken in segments: the change masks of a segment, then its run ends, then
    // its records. The segment's arrays live on the stack.
    constexpr std::size_t kSegmentBlocks = 4096 / K;
    const auto *line = static_cast<const uint8_t *>(linePtr);
    auto *out = static_cast<uint8_t *>(outPtr);
    const std::size_t n = budget / R::kBytes;
    if (width == 0 || n < 3) return 0;
    const std::size_t maxRecords = n - 2;
    // Blocks start at the first pixel on a 64-byte boundary, so that each load takes whole cache
    // lines (when no pixel is, at pixel 0); the pixels before and after them are compared one by
    // one. Each block is loaded once and compared with the one before, so no load reaches
    // outside the line.
    std::size_t head = AlignedFrom<S>(reinterpret_cast<uintptr_t>(line));
    if (head >= width) head = 0;
    const std::size_t blocks = (width - head) / K, vectorEnd = blocks ? head + blocks * K : head;
    const auto differs = [&](std::size_t i) { return !Same<S, kClearFirst>(line + i * S, line + (i - 1) * S); };
    // `records` counts every run closed so far and the splits of long ones; the records of a
    // segment's runs are counted before they are written, so only splits need a check.
    uint8_t *o = out;
    std::size_t start = 0, records = 0;
    // `toCome` is 1 while the line's last run is still to come, 0 when closing it.
    const auto close = [&](std::size_t end, std::size_t toCome = 1) {
        const uint8_t *pixel = line + start * S;
        std::size_t count = end - start;
        start = end;
        for (; count > R::kMaxCount; count -= R::kMaxCount) {
            if (++records + toCome > maxRecords) return false;
            R::Emit(o, R::kMaxCount, pixel);
            o += R::kBytes;
        }
        R::Emit(o, count, pixel);
        o += R::kBytes;
        return true;
    };

    // The pixels before the first block one by one, unless they are all one pixel (the usual
    // case), which one library compare tells.
    if (head > 1 && __builtin_memcmp(line + S, line, (head - 1) * S) != 0)
        for (std::size_t i = 1; i < head; ++i)
            if (differs(i) && (++records + 1 > maxRecords || !close(i))) return 0;

    uint64_t masks[kSegmentBlocks];
    uint32_t ends[kSegmentBlocks * K + 64];
    typename Isa::template Block<S> before{};
    for (std::size_t first = 0; first < blocks; first += kSegmentBlocks) {
        const std::size_t count = blocks - first < kSegmentBlocks ? blocks - first : kSegmentBlocks;
        // Each change ends a run and the line's last run ends after them: a line with more
        // runs than the budget has records gives up here, after one fast pass.
        for (std::size_t b = 0; b < count; ++b) {
            const auto block = Isa::template Load<S, kClearFirst>(line + (head + (first + b) * K) * S);
            masks[b] = Isa::template Changes<S>(block, before);
            // The first block has none before it: its first pixel is compared on its own (pixel 0
            // begins the first run).
            if (first + b == 0) masks[b] = (masks[b] & ~uint64_t{1}) | (head != 0 && differs(head));
            before = block;
            records += static_cast<std::size_t>(__builtin_popcountll(masks[b]));
            if (records + 1 > maxRecords) {
                // Reading on keeps the processor's prefetching on the lines that follow.
                for (std::size_t at = (head + (first + b + 1) * K) * S; at < width * S; at += 64)
                    __builtin_prefetch(line + at);
                return 0;
            }
        }
        if constexpr (S == 1 && requires { Isa::BlockRecords; }) {
            // Grey records a block at a time: the run that the block's first change ends may be
            // long (it goes through close, which splits it); every later one lies inside the block.
            for (std::size_t b = 0; b < count; ++b) {
                uint64_t m = masks[b];
                if (m == 0) continue;
                const std::size_t base = head + (first + b) * K;
                if (!close(base + static_cast<std::size_t>(__builtin_ctzll(m)))) return 0;
                if (m & (m - 1)) o = Isa::BlockRecords(line + base, m, o);
                start = base + 63 - static_cast<std::size_t>(__builtin_clzll(m));
            }
            continue;
        }
        uint32_t *w = ends;
        for (std::size_t b = 0; b < count; ++b)
            w = Isa::template Flatten<K>(masks[b], static_cast<uint32_t>(head + (first + b) * K), w);
        const uint32_t *e = ends;
        if constexpr (requires { Isa::template Records<S, kClearFirst>; }) {
            // Sixteen records at a time where the set builds them in vectors; a group with a run
            // to split goes record by record.
            for (; w - e >= 16; e += 16) {
                if (uint8_t *next = Isa::template Records<S, kClearFirst>(line, static_cast<uint32_t>(start), e, o)) {
                    o = next;
                    start = e[15];
                } else {
                    for (int k = 0; k < 16; ++k)
                        if (!close(e[k])) return 0;
                }
            }
        }
        for (; e < w; ++e)
            if (!close(*e)) return 0;
    }
    const std::size_t tail = vectorEnd ? vectorEnd : 1;  // and the pixels after the last block
    if (tail < width && __builtin_memcmp(line + tail * S, line + (tail - 1) * S, (width - tail) * S) != 0)
        for (std::size_t i = tail; i < width; ++i)
            if (differs(i) && (++records + 1 > maxRecords || !close(i))) return 0;
    if (++records > maxRecords || !close(width, 0)) return 0;
    __builtin_memset(o, 0, R::kBytes);
    return static_cast<std::size_t>(o - out) + R::kBytes;
}

// 255 − G of each pixel: Isa::Densities(p, out) converts Isa::kDensityPixels pixels at a time.
template <class Isa>
void DensityFromArgb(const uint8_t *argb, std::size_t pixels, uint8_t *density) {
    std::size_t i = 0;
    for (; i + Isa::kDensityPixels <= pixels; i += Isa::kDensityPixels) Isa::Densities(argb + 4 * i, density + i);
    for (; i < pixels; ++i) density[i] = static_cast<uint8_t>(255 - argb[4 * i + 2]);
}

// The set's table: the five encoders of the job file's pixel sizes and the density conversion.
template <class Isa>
constexpr LineEncoderSet MakeSet(const char *name) {
    return {name,
            Encode<Isa, 1, false>,
            Encode<Isa, 4, false>,
            Encode<Isa, 4, true>,
            Encode<Isa, 8, false>,
            Encode<Isa, 12, false>,
            DensityFromArgb<Isa>};
}

}  // namespace
}  // namespace kiv::simd
