// The AVX-512 (F and BW) set's blocks, shared by its two files: the plain set and the one that
// also uses VBMI and VBMI2 for grey records. Included only by files compiled for AVX-512.
#pragma once

#include <immintrin.h>

// GCC 12 takes the undefined pass-through operand inside its own alignr intrinsics for an
// uninitialised variable.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "VectorEncoder.hpp"

namespace kiv::simd {
namespace {

struct Avx512Vector {
    using Type = __m512i;
};

struct Avx512 : BlockShape<Avx512Vector, 16> {
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

    // The grey records of the sixteen runs that end at ends[0…15], the first beginning at
    // `start`: value then count, two bytes each; null when a run is longer than a record
    // holds. (Wider records were tried the same way, with a gather of the pixels: slower than
    // writing them one by one.) The gather loads the 4 bytes that end at the run's first pixel,
    // or start there for the line's first three pixels (a line with blocks has at least 64),
    // so it stays within the line.
    template <std::size_t S, bool kClearFirst>
    requires(S == 1) static uint8_t *Records(const uint8_t *line, uint32_t start, const uint32_t *ends, uint8_t *out) {
        const __m512i end = _mm512_loadu_si512(ends);
        const __m512i first = _mm512_alignr_epi32(end, _mm512_set1_epi32(static_cast<int>(start)), 15);
        const __m512i count = _mm512_sub_epi32(end, first);
        if (_mm512_cmpgt_epu32_mask(count, _mm512_set1_epi32(255)) != 0) return nullptr;
        const __mmask16 early = _mm512_cmplt_epu32_mask(first, _mm512_set1_epi32(3));
        const __m512i at = _mm512_mask_sub_epi32(first, static_cast<__mmask16>(~early), first, _mm512_set1_epi32(3));
        const __m512i words = _mm512_i32gather_epi32(at, line, 1);
        const __m512i shift = _mm512_mask_blend_epi32(early, _mm512_set1_epi32(24), _mm512_setzero_si512());
        const __m512i value = _mm512_and_si512(_mm512_srlv_epi32(words, shift), _mm512_set1_epi32(0xFF));
        const __m512i records = _mm512_or_si512(value, _mm512_slli_epi32(count, 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtepi32_epi16(records));
        return out + 32;
    }

    // Sixteen bits at a time: the indices of the set ones compressed together and stored whole;
    // a fixed number of rounds for a block of K pixels, so that no branch depends on the bits.
    template <std::size_t K>
    static uint32_t *Flatten(uint64_t m, uint32_t base, uint32_t *w) {
        if (m == 0) return w;
        const __m512i iota = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        for (std::size_t round = 0; round < (K + 15) / 16; ++round, m >>= 16, base += 16) {
            const auto bits = static_cast<__mmask16>(m);
            const __m512i indices = _mm512_add_epi32(iota, _mm512_set1_epi32(static_cast<int>(base)));
            _mm512_storeu_si512(w, _mm512_maskz_compress_epi32(bits, indices));
            w += __builtin_popcount(bits);
        }
        return w;
    }
};

}  // namespace
}  // namespace kiv::simd
