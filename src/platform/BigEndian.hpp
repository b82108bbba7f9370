// Big-endian integers in byte buffers: the print record, job files and bookmarks use them.
#pragma once

#include <cstdint>

namespace kiv {

inline uint64_t LoadBigEndian(const uint8_t *p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

inline void StoreBigEndian(uint8_t *p, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v & 0xFF);
}

}  // namespace kiv
