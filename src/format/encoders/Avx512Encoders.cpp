// The line encoders on 64-byte vectors (AVX-512F and BW, BMI2); this file is compiled for them.
#include "Avx512Set.hpp"

namespace kiv::simd {

const LineEncoderSet &Avx512LineEncoders() {
    static constexpr LineEncoderSet kSet = MakeSet<Avx512>("avx512");
    return kSet;
}

}  // namespace kiv::simd
