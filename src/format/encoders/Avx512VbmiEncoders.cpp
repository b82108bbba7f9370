// The AVX-512 set where the processor also has VBMI and VBMI2: grey records are made a block at a
// time straight from the change bits (byte compress), without the run-end array. This file is
// compiled for those extensions.
#include "Avx512Set.hpp"

namespace kiv::simd {
namespace {

struct Avx512Vbmi : Avx512 {
    // The records of the runs between the set bits of m (pixels of the 64-byte block at p):
    // value then count (below 64), two bytes each; returns the end of what was written.
    static uint8_t *BlockRecords(const uint8_t *p, uint64_t m, uint8_t *out) {
        static constexpr auto kTables = [] {
            struct {
                uint8_t iota[64], next[64], lo[64], hi[64];
            } t{};
            for (int i = 0; i < 64; ++i) {
                t.iota[i] = static_cast<uint8_t>(i);
                t.next[i] = static_cast<uint8_t>(i < 63 ? i + 1 : 63);
                t.lo[i] = static_cast<uint8_t>(i / 2 + (i % 2 ? 64 : 0));
                t.hi[i] = static_cast<uint8_t>(32 + i / 2 + (i % 2 ? 64 : 0));
            }
            return t;
        }();
        const __m512i at = _mm512_maskz_compress_epi8(m, _mm512_loadu_si512(kTables.iota));
        const __m512i value = _mm512_maskz_compress_epi8(m, _mm512_loadu_si512(p));
        const __m512i count = _mm512_sub_epi8(_mm512_permutexvar_epi8(_mm512_loadu_si512(kTables.next), at), at);
        const unsigned n = static_cast<unsigned>(__builtin_popcountll(m)) - 1;
        const auto bytes = [](unsigned records) {
            return records >= 32 ? ~uint64_t{0} : (uint64_t{1} << (2 * records)) - 1;
        };
        _mm512_mask_storeu_epi8(out, bytes(n), _mm512_permutex2var_epi8(value, _mm512_loadu_si512(kTables.lo), count));
        if (n > 32)
            _mm512_mask_storeu_epi8(out + 64, bytes(n - 32),
                                    _mm512_permutex2var_epi8(value, _mm512_loadu_si512(kTables.hi), count));
        return out + 2 * n;
    }
};

}  // namespace

const LineEncoderSet &Avx512VbmiLineEncoders() {
    static constexpr LineEncoderSet kSet = MakeSet<Avx512Vbmi>("avx512vbmi");
    return kSet;
}

}  // namespace kiv::simd
