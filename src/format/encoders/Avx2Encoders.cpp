// The line encoders on 32-byte vectors (AVX2 and BMI2); this file is compiled for them.
#include <immintrin.h>

#include "VectorEncoder.hpp"

namespace kiv::simd {
namespace {

// For each byte of mask bits, the positions of its set bits, one per byte.
constexpr auto kBitPositions = [] {
    struct {
        uint64_t of[256];
    } table{};
    for (unsigned m = 0; m < 256; ++m)
        for (unsigned bit = 0, k = 0; bit < 8; ++bit)
            if (m >> bit & 1) table.of[m] |= uint64_t{bit} << (8 * k++);
    return table;
}();

struct Avx2Vector {
    using Type = __m256i;
};

struct Avx2 : BlockShape<Avx2Vector, 8> {
    // The vector c moved up by N bytes, its first N bytes the last of b.
    template <int N>
    static __m256i After(__m256i c, __m256i b) {
        return _mm256_alignr_epi8(c, _mm256_permute2x128_si256(b, c, 0x21), 16 - N);
    }
    static uint64_t Differ32(__m256i a, __m256i b) {
        return ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)))) & 0xFF;
    }

    // Bit k of vector c's pixels (of S bytes) set when it differs from the pixel before it,
    // the last of vector b for the first.
    template <std::size_t S>
    static uint64_t VectorChanges(__m256i c, __m256i b) {
        if constexpr (S == 1) {
            return ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(c, After<1>(c, b))));
        } else if constexpr (S == 4) {
            return Differ32(c, After<4>(c, b));
        } else {
            const __m256i eq = _mm256_cmpeq_epi64(c, After<8>(c, b));
            return ~static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(eq))) & 0xF;
        }
    }

    template <std::size_t S>
    static uint64_t Changes(const Block<S> &cur, const Block<S> &before) {
        if constexpr (S == 12) {
            const __m256i c = cur.v[0], b = before.v[2];
            const uint64_t d = Differ32(c, After<12>(c, b)) | Differ32(cur.v[1], After<12>(cur.v[1], c)) << 8 |
                               Differ32(cur.v[2], After<12>(cur.v[2], cur.v[1])) << 16;
            return _pext_u64(d | d >> 1 | d >> 2, 0x249249);  // bit 3k: pixel k differs in any lane
        } else {
            return VectorChanges<S>(cur.v[0], before.v[1]) | VectorChanges<S>(cur.v[1], cur.v[0]) << (32 / S);
        }
    }

    // Byte 2 (G) of each of 32 pixels, inverted: packed within 128-bit lanes, then put in order.
    static constexpr std::size_t kDensityPixels = 32;
    static void Densities(const uint8_t *argb, uint8_t *out) {
        __m256i g[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(argb + 32 * k));
            g[k] = _mm256_and_si256(_mm256_srli_epi32(v, 16), _mm256_set1_epi32(0xFF));
        }
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(g[0], g[1]), _mm256_packus_epi32(g[2], g[3]));
        const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm256_xor_si256(ordered, _mm256_set1_epi8(-1)));
    }

    // Eight bits at a time: their positions widened to indices and stored whole; a fixed number
    // of rounds for a block of K pixels, so that no branch depends on the bits.
    template <std::size_t K>
    static uint32_t *Flatten(uint64_t m, uint32_t base, uint32_t *w) {
        if (m == 0) return w;
        for (std::size_t round = 0; round < (K + 7) / 8; ++round, m >>= 8, base += 8) {
            const unsigned byte = m & 0xFF;
            const __m128i packed = _mm_cvtsi64_si128(static_cast<long long>(kBitPositions.of[byte]));
            const __m256i indices =
                _mm256_add_epi32(_mm256_cvtepu8_epi32(packed), _mm256_set1_epi32(static_cast<int>(base)));
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(w), indices);
            w += __builtin_popcount(byte);
        }
        return w;
    }
};

}  // namespace

const LineEncoderSet &Avx2LineEncoders() {
    static constexpr LineEncoderSet kSet = MakeSet<Avx2>("avx2");
    return kSet;
}

}  // namespace kiv::simd
