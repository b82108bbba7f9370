// The line encoders on 64-byte vectors (AVX-512F and BW, BMI2); this file is compiled for them.
#include <immintrin.h>

// GCC 12 takes the undefined pass-through operand inside its own alignr intrinsics for an
// uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "VectorEncoder.hpp"

namespace kiv::simd {
namespace {

struct Avx512 {
    template <std::size_t S>
    static constexpr std::size_t kPixels = S == 12 ? 16 : 64 / S;

    // 12-byte pixels take three vectors: sixteen pixels, 48 four-byte lanes.
    template <std::size_t S>
    struct Block {
        __m512i v[S == 12 ? 3 : 1];
    };

    template <std::size_t S, bool kClearFirst>
    static Block<S> Load(const uint8_t *p) {
        Block<S> b;
        for (std::size_t k = 0; k < (S == 12 ? 3 : 1); ++k) b.v[k] = _mm512_loadu_si512(p + 64 * k);
        if constexpr (kClearFirst) b.v[0] = _mm512_and_si512(b.v[0], _mm512_set1_epi32(static_cast<int>(0xFFFFFF00)));
        return b;
    }

    template <std::size_t S>
    static uint64_t Changes(const Block<S> &cur, const Block<S> &before) {
        const __m512i c = cur.v[0], b = before.v[S == 12 ? 2 : 0];
        if constexpr (S == 1) {
            // Byte shifts stay within 128-bit lanes: first the lanes, then the bytes.
            const __m512i lanes = _mm512_alignr_epi64(c, b, 6);
            return _mm512_cmpneq_epi8_mask(c, _mm512_alignr_epi8(c, lanes, 15));
        } else if constexpr (S == 4) {
            return _mm512_cmpneq_epi32_mask(c, _mm512_alignr_epi32(c, b, 15));
        } else if constexpr (S == 8) {
            return _mm512_cmpneq_epi64_mask(c, _mm512_alignr_epi64(c, b, 7));
        } else {
            const uint64_t d =
                uint64_t{_mm512_cmpneq_epi32_mask(c, _mm512_alignr_epi32(c, b, 13))} |
                uint64_t{_mm512_cmpneq_epi32_mask(cur.v[1], _mm512_alignr_epi32(cur.v[1], c, 13))} << 16 |
                uint64_t{_mm512_cmpneq_epi32_mask(cur.v[2], _mm512_alignr_epi32(cur.v[2], cur.v[1], 13))} << 32;
            return _pext_u64(d | d >> 1 | d >> 2, 0x249249249249);  // bit 3k: pixel k differs in any lane
        }
    }

    // Byte 2 (G) of each of 64 pixels, inverted: each 32-bit pixel shifted and narrowed to a byte.
    static constexpr std::size_t kDensityPixels = 64;
    static void Densities(const uint8_t *argb, uint8_t *out) {
        for (int k = 0; k < 4; ++k) {
            const __m128i g = _mm512_cvtepi32_epi8(_mm512_srli_epi32(_mm512_loadu_si512(argb + 64 * k), 16));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * k), _mm_xor_si128(g, _mm_set1_epi8(-1)));
        }
    }

    // Sixteen bits at a time: the indices of the set ones compressed together and stored whole.
    static uint32_t *Flatten(uint64_t m, uint32_t base, uint32_t *w) {
        const __m512i iota = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        for (; m != 0; m >>= 16, base += 16) {
            const auto bits = static_cast<__mmask16>(m);
            const __m512i indices = _mm512_add_epi32(iota, _mm512_set1_epi32(static_cast<int>(base)));
            _mm512_storeu_si512(w, _mm512_maskz_compress_epi32(bits, indices));
            w += __builtin_popcount(bits);
        }
        return w;
    }
};

}  // namespace

const LineEncoderSet &Avx512LineEncoders() {
    static constexpr LineEncoderSet kSet = MakeSet<Avx512>("avx512");
    return kSet;
}

}  // namespace kiv::simd
