// Reading the big-endian print record as a host does.
#pragma once

#include <cstdint>
#include <cstring>

namespace kivhost {

inline uint64_t BE(const char *p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

inline double BEDouble(const char *p) {
    const uint64_t bits = BE(p, 8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace kivhost
