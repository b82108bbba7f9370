// Synthetic A3 pages at 300 dpi for the benchmarks: all white, an office document, noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace kivbench {

inline constexpr int kPageWidth = 3307;
inline constexpr int kPageHeight = 4607;

enum class PageKind { White, Document, Noise };

// A page of pixelSize-byte pixels. White and ink follow the grey convention for 1-byte pixels
// (0 white) and the A, R, G, B one for the others (all 0xFF white).
class SyntheticPage {
public:
    SyntheticPage(PageKind kind, std::size_t pixelSize) : pixelSize_(pixelSize) {
        bytes_.resize(pixelSize * kPageWidth * static_cast<std::size_t>(kPageHeight));
        std::mt19937 rng(42);
        const std::vector<uint8_t> white = Colour(0, 0, 0, true), ink = Colour(20, 20, 20, false);
        for (int y = 0; y < kPageHeight; ++y) {
            uint8_t *row = Row(y);
            Fill(row, 0, kPageWidth, white);
            if (kind == PageKind::White) continue;
            if (kind == PageKind::Noise) {
                for (std::size_t i = 0; i < LineBytes(); ++i) row[i] = static_cast<uint8_t>(rng());
                continue;
            }
            const int left = 150, right = kPageWidth - 150;
            if (y < 150 || y >= kPageHeight - 150) continue;
            if (y < 350) {
                Fill(row, left, right, Colour(200, 30, 40, false));  // solid band
            } else if (y < 2350) {
                if ((y - 350) % 50 >= 30) continue;  // leading between text lines
                for (int x = left; x < right;) {     // words of short dark runs
                    for (int letters = 3 + rng() % 8; letters > 0 && x < right; --letters) {
                        const int run = 1 + rng() % 5, gap = 1 + rng() % 8;
                        Fill(row, x, std::min(x + run, right), ink);
                        x += run + gap;
                    }
                    x += 15 + rng() % 16;
                }
            } else if (y < 3350) {
                for (int x = left; x < right; ++x)  // colour gradient
                    Fill(row, x, x + 1, Colour(x * 255 / kPageWidth, (y - 2350) * 255 / 1000, 128, false));
            } else if (y < 3750) {
                Fill(row, left, right, Colour(10, 90, 160, false));  // solid band
            }
        }
    }

    std::size_t LineBytes() const { return pixelSize_ * kPageWidth; }
    const uint8_t *Line(int y) const { return bytes_.data() + y * LineBytes(); }
    std::size_t Bytes() const { return bytes_.size(); }

private:
    uint8_t *Row(int y) { return bytes_.data() + y * LineBytes(); }

    std::vector<uint8_t> Colour(int r, int g, int b, bool white) const {
        std::vector<uint8_t> p(pixelSize_, 0);
        if (pixelSize_ == 1) {
            p[0] = white ? 0 : static_cast<uint8_t>(255 - (r + g + b) / 3);
        } else {
            p[0] = 0xFF;
            p[1] = white ? 0xFF : static_cast<uint8_t>(r);
            p[2] = white ? 0xFF : static_cast<uint8_t>(g);
            p[3] = white ? 0xFF : static_cast<uint8_t>(b);
        }
        return p;
    }

    void Fill(uint8_t *row, int from, int to, const std::vector<uint8_t> &pixel) const {
        for (int x = from; x < to; ++x) std::memcpy(row + x * pixelSize_, pixel.data(), pixelSize_);
    }

    std::size_t pixelSize_;
    std::vector<uint8_t> bytes_;
};

}  // namespace kivbench
