// The colour formulas of the scanline converters, shared with the tools that render pages.
#pragma once

#include <cstdint>

namespace kiv {

// Colour coverage with black laid under it: c × (255 − k) ÷ 255 + k, truncating.
inline unsigned UnderBlack(unsigned c, unsigned k) { return c * (255 - k) / 255 + k; }

// C, M, Y, K to a grey density (0 white): (5 C′ + 9 M′ + 2 Y′) ÷ 16.
inline uint8_t CmykToDensity(const uint8_t *cmyk) {
    const unsigned k = cmyk[3];
    return static_cast<uint8_t>(
        (5 * UnderBlack(cmyk[0], k) + 9 * UnderBlack(cmyk[1], k) + 2 * UnderBlack(cmyk[2], k)) >> 4);
}

// C, M, Y, K to A, R, G, B with A = 255.
inline void CmykToArgb(const uint8_t *cmyk, uint8_t *argb) {
    const unsigned k = cmyk[3];
    argb[0] = 255;
    argb[1] = static_cast<uint8_t>(255 - UnderBlack(cmyk[0], k));
    argb[2] = static_cast<uint8_t>(255 - UnderBlack(cmyk[1], k));
    argb[3] = static_cast<uint8_t>(255 - UnderBlack(cmyk[2], k));
}

// A, R, G, B to a grey density: 255 − G.
inline uint8_t ArgbToDensity(const uint8_t *argb) { return static_cast<uint8_t>(255 - argb[2]); }

}  // namespace kiv
