// The line encoders on 16-byte vectors (SSE4.1 and POPCNT); this file is compiled for them.
#include <immintrin.h>

#include "VectorEncoder.hpp"

namespace kiv::simd {
namespace {

struct SseVector {
    using Type = __m128i;
};

struct Sse : BlockShape<SseVector, 4> {
    static unsigned Differ32(__m128i a, __m128i b) {
        return ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, b)))) & 0xF;
    }

    // Bit k of vector c's pixels (of S bytes) set when it differs from the pixel before it,
    // the last of vector b for the first.
    template <std::size_t S>
    static uint64_t VectorChanges(__m128i c, __m128i b) {
        if constexpr (S == 1) {
            return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_alignr_epi8(c, b, 15)))) & 0xFFFF;
        } else if constexpr (S == 4) {
            return Differ32(c, _mm_alignr_epi8(c, b, 12));
        } else {
            const __m128i eq = _mm_cmpeq_epi64(c, _mm_alignr_epi8(c, b, 8));
            return ~static_cast<unsigned>(_mm_movemask_pd(_mm_castsi128_pd(eq))) & 0x3;
        }
    }

    template <std::size_t S>
    static uint64_t Changes(const Block<S> &cur, const Block<S> &before) {
        if constexpr (S == 12) {
            const __m128i c = cur.v[0], b = before.v[2];
            const unsigned d = Differ32(c, _mm_alignr_epi8(c, b, 4)) |
                               Differ32(cur.v[1], _mm_alignr_epi8(cur.v[1], c, 4)) << 4 |
                               Differ32(cur.v[2], _mm_alignr_epi8(cur.v[2], cur.v[1], 4)) << 8;
            const unsigned t = d | d >> 1 | d >> 2;  // bit 3k: pixel k differs in any of its lanes
            return (t & 1) | (t >> 2 & 2) | (t >> 4 & 4) | (t >> 6 & 8);
        } else {
            uint64_t mask = VectorChanges<S>(cur.v[0], before.v[3]);
            for (std::size_t k = 1; k < 4; ++k) mask |= VectorChanges<S>(cur.v[k], cur.v[k - 1]) << (k * 16 / S);
            return mask;
        }
    }

    template <std::size_t K>
    static uint32_t *Flatten(uint64_t m, uint32_t base, uint32_t *w) {
        return FlattenBits(m, base, w);
    }

    // Byte 2 (G) of each of sixteen pixels, inverted.
    static constexpr std::size_t kDensityPixels = 16;
    static void Densities(const uint8_t *argb, uint8_t *out) {
        const __m128i pick = _mm_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        __m128i g[4];
        for (int k = 0; k < 4; ++k)
            g[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(argb + 16 * k)), pick);
        const __m128i all = _mm_unpacklo_epi64(_mm_unpacklo_epi32(g[0], g[1]), _mm_unpacklo_epi32(g[2], g[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_xor_si128(all, _mm_set1_epi8(-1)));
    }
};

}  // namespace

const LineEncoderSet &SseLineEncoders() {
    static constexpr LineEncoderSet kSet = MakeSet<Sse>("sse");
    return kSet;
}

}  // namespace kiv::simd
