// The pictures kivhost prints: PNG files and the built-in test page, delivered in bands of
// any pixel format the driver takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/ColourProfiles.hpp"

namespace kivhost {

enum class BandFormat { Argb, Grey, Cmyk };

// A picture that produces its rows top to bottom, as A, R, G, B: only a band is ever in
// memory (an interlaced PNG is the exception: it must be decoded whole).
class Picture {
public:
    virtual ~Picture() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual double dpiX() const = 0;
    virtual double dpiY() const = 0;
    virtual bool isGrey() const = 0;
    // False when the file gives no resolution (dpiX and dpiY are then only a guess).
    virtual bool hasResolution() const { return true; }
    // The colour profile the file embeds or implies (a PNG's gamma and chromaticities); empty
    // when it says nothing or marks sRGB, which is then the standard profile of its colours.
    virtual kivtools::Bytes sourceProfile() const { return {}; }
    // The next rows × width ARGB pixels. False with error set when the file turns out damaged.
    virtual bool ReadRows(int rows, uint8_t *argb, std::string &error) = 0;
};

// Pictures larger than this are refused before anything is decoded.
inline constexpr uint64_t kMaxPicturePixels = 500'000'000;
// pHYs resolutions outside this range (dots per inch) are taken as absent.
inline constexpr double kMinPlausibleDpi = 10, kMaxPlausibleDpi = 20000;

// Opens a PNG (composited on white); null with error set when it cannot be read. The
// resolution comes from its pHYs chunk, 300 dpi when it has none or an absurd one.
std::unique_ptr<Picture> LoadPng(const std::string &path, std::string &error);

// An A3 page at 300 dpi drawn in code: colour bars, grey steps, gradients, fine lines and
// text-like blocks.
std::unique_ptr<Picture> TestPage();

// The driver's pixel format code for a band format, and its bytes per pixel.
int16_t PixelFormatCode(BandFormat format);
int BytesPerPixel(BandFormat format);

// Converts ARGB pixels into the band format (in place is not allowed).
void ConvertPixels(const uint8_t *argb, std::size_t pixels, BandFormat format, uint8_t *out);

}  // namespace kivhost
